#pragma once

#include "index/ScanRecords.h"

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class AppModel;
class LatestLoad;
class QLabel;
class QListView;
class ScanErrorListModel;
class QPushButton;

// The "Scan Cache" and "Diagnostics" sections of the Settings screen: the cache's
// size and place with its clearing, and the newest problems scans logged.
class ScanCacheSettings : public QWidget {
    Q_OBJECT

public:
    explicit ScanCacheSettings(AppModel& model, QWidget* parent = nullptr);

    static constexpr int loadedErrors = 500;
    static constexpr int listedErrors = 200;

    // One line per entry: the UTC time, the full path and the message, separated by tabs.
    static QString logText(const std::vector<ScanErrorEntry>& entries);
    // A field of the log with its tabs, line breaks and backslashes written as escapes.
    static QString escapedField(const std::string& text);
    static QString locationText(const AppModel& model);
    // The size line while the cache is being cleared.
    static QString clearingText();

    // Loads the cache size and the error log again.
    void reload();
    // Asks whether to clear; the dialog stays open until answered.
    void confirmClear();
    QMessageBox* clearConfirmation() const { return confirmation_; }
    std::int64_t databaseSize() const { return databaseSize_; }
    const std::vector<ScanErrorEntry>& errors() const { return errors_; }
    ScanErrorListModel* listedErrorsModel() const { return entries_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void clearCache();
    void clearLog();
    void copyLog();
    void updateClearButton();
    void showLoaded(std::int64_t size, std::vector<ScanErrorEntry> errors);

    AppModel& model_;
    LatestLoad* load_;
    std::int64_t databaseSize_ = 0;
    std::vector<ScanErrorEntry> errors_;
    QLabel* size_ = nullptr;
    QPushButton* clear_ = nullptr;
    QLabel* noErrors_ = nullptr;
    QWidget* errorLog_ = nullptr;
    QListView* list_ = nullptr;
    ScanErrorListModel* entries_ = nullptr;
    QPointer<QMessageBox> confirmation_;
};

#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <vector>

class AppModel;
class FileSystem;
class LatestLoad;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QVBoxLayout;
class ScanCacheSettings;

// The Settings screen: what a scan covers, how often the monitors sample, the scan
// cache and its error log, the privacy statement and the version. Shown in the main
// window and in the Settings window at once; every instance shows the stored settings
// as they are now, and each change writes only what the user changed.
class SettingsView : public QWidget {
    Q_OBJECT

public:
    explicit SettingsView(AppModel& model, QWidget* parent = nullptr);

    // Asks for folders to exclude and hands them to `chosen`, which is not called when
    // the user cancels. Replaced by tests.
    using FolderChooser = std::function<void(QWidget* parent, std::function<void(const QStringList&)> chosen)>;
    void setFolderChooser(FolderChooser chooser) { chooseFolders_ = std::move(chooser); }

    // The stored list with the chosen folders appended, each once, in the order chosen.
    static QStringList addingExcluded(QStringList stored, const QStringList& chosen);
    // The stored list without any entry equal to `path`.
    static QStringList removingExcluded(QStringList stored, const QString& path);
    // The system folders a scan adds to the user folders on this machine.
    static std::vector<std::string> systemFoldersAdded(const FileSystem& fileSystem);
    static QString systemFoldersLabel(const std::vector<std::string>& added);
    // The picker row of a stored interval; -1 (no row) for a value the picker does not offer.
    static int intervalRow(double seconds);
    // The program's version, or "—" without one.
    static QString versionText(const QString& version);

    QStringList shownExcluded() const { return shownExcluded_; }

private:
    QWidget* scanningSection();
    QWidget* monitoringSection();
    QWidget* privacySection();
    QWidget* aboutSection();
    // Shows the stored settings without writing any of them back.
    void showStoredSettings();
    void showExcluded(const QStringList& paths);
    QWidget* excludedRow(const QString& path);
    void addExcluded();
    void exclude(const QStringList& chosen);
    void removeExcluded(const QString& path);

    AppModel& model_;
    FolderChooser chooseFolders_;
    QCheckBox* includeSystem_ = nullptr;
    QCheckBox* includeExternal_ = nullptr;
    QCheckBox* includeNetwork_ = nullptr;
    QSpinBox* concurrency_ = nullptr;
    QComboBox* interval_ = nullptr;
    QWidget* excludedRows_ = nullptr;
    QVBoxLayout* excludedLayout_ = nullptr;
    QStringList shownExcluded_;
    std::map<QString, QWidget*> excludedRowByPath_;
    ScanCacheSettings* scanCache_ = nullptr;
    LatestLoad* systemFolders_ = nullptr;
};

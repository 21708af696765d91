#pragma once

#include "index/ApplicationRecords.h"
#include "index/FileRecords.h"
#include "index/ProcessRecords.h"

#include <QMessageBox>
#include <QPointer>
#include <QScrollArea>
#include <QString>

#include <map>
#include <optional>
#include <string>
#include <utility>

class AppModel;
class ApplicationStorageView;
class LatestLoad;
class QLabel;
class QPushButton;
class QToolButton;
class WrappingText;

// The inspector of one installed application: identity, bundle size, what its
// processes use right now, its data, and Open, Reveal, Quit, Force Quit and
// removal (to the Trash, or the package manager's command for a packaged one).
// Built once; each sample, size or check updates the values in place.
class AppDetailView : public QScrollArea {
    Q_OBJECT

public:
    AppDetailView(AppModel& model, ApplicationInfo app, QWidget* parent = nullptr,
                  ApplicationStorageView* storage = nullptr);

    void setApplication(ApplicationInfo app);
    const ApplicationInfo& application() const { return app_; }
    ApplicationStorageView* storage() const { return storage_; }

    // The RAM note: "Physical memory footprint of 3 processes (1 not readable)."
    static QString memoryNote(const ApplicationUsage& usage);
    static QString bundleSizeText(const std::optional<FolderSizeResult>& size);
    // The process a quit names: the first of the application's sampled processes.
    static std::optional<ProcessSnapshot> quitTarget(const ApplicationInfo& app,
                                                     const std::vector<ProcessSnapshot>& processes);

    // Opens the application; a failure is reported in the model's alert.
    void open() { openApplication(model_, app_); }
    static void openApplication(AppModel& model, const ApplicationInfo& app);
    // Holds the process to quit and asks for confirmation.
    void requestQuit(bool force);
    const std::optional<std::pair<bool, ProcessSnapshot>>& pendingQuit() const { return confirmQuit_; }
    QMessageBox* quitDialog() const { return quitDialog_; }
    // The confirmation's button: quits the named process, reporting a refusal.
    void confirmQuit(const std::string& procRoot = "/proc");
    void cancelQuit() { confirmQuit_.reset(); }
    // Whether the Trash verdict of the shown application is still being found.
    bool isJudgingTrash() const;

private:
    void refresh();
    void judgeTrash();
    void showQuitDialog();

    AppModel& model_;
    ApplicationInfo app_;
    ApplicationStorageView* storage_;
    std::optional<std::pair<bool, ProcessSnapshot>> confirmQuit_;
    QPointer<QMessageBox> quitDialog_;
    // Whether the shown application's folder is protected, once found off the main thread.
    std::optional<bool> trashProtected_;
    LatestLoad* trashJudging_;

    QLabel* icon_;
    QLabel* name_;
    QLabel* version_;
    std::map<QString, std::pair<QLabel*, WrappingText*>> details_; // label, value
    QPushButton* verify_;
    QLabel* bundleSize_;
    QWidget* idle_;
    QWidget* running_;
    QLabel* ram_;
    QLabel* ramNote_;
    QLabel* cpu_;
    QLabel* processes_;
    QToolButton* quit_;
    QToolButton* forceQuit_;
    QLabel* removalCommand_;
    QToolButton* copyRemoval_;
    QToolButton* trash_;
    QLabel* protectedNote_;
};

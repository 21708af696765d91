#pragma once

#include "app/AccessProbe.h"
#include "app/system/AppAlert.h"
#include "app/system/FailureList.h"
#include "app/system/SidebarItem.h"
#include "app/system/TrashRequest.h"
#include "scanning/TrashOutcome.h"
#include "index/StorageCategory.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

class ApplicationsStore;
class DesktopServices;
class LatestLoad;
class FileTrasher;
class ProcessWindows;
class ScanCoordinator;
class StorageDatabase;
class SystemMonitorStore;

// The root model every screen reads: navigation and its hand-off values, the
// pending removal, the one alert, and the scan cache with the coordinator and
// stores built over it. Main thread only.
class AppModel : public QObject {
    Q_OBJECT

public:
    // Without a database the scan cache is opened at its default place; when that
    // fails the model runs without one and keeps the reason in databaseError(). A cache
    // that opened only after its unreadable file was set aside says so in databaseNotice().
    // Without an applications store a standard one is made.
    explicit AppModel(std::shared_ptr<StorageDatabase> database = nullptr, ApplicationsStore* apps = nullptr,
                      QObject* parent = nullptr);
    ~AppModel() override;

    std::optional<SidebarItem> selection() const { return selection_; }
    std::optional<StorageCategory> largestFilesCategory() const { return largestFilesCategory_; }
    const std::optional<std::string>& largestFoldersFocus() const { return largestFoldersFocus_; }
    const std::string& searchText() const { return searchText_; }
    const std::optional<TrashRequest>& trashRequest() const { return trashRequest_; }
    const std::optional<AppAlert>& alert() const { return alert_; }
    const std::optional<std::string>& selectedApplicationPath() const { return selectedApplicationPath_; }

    void setSelection(std::optional<SidebarItem> selection);
    void setLargestFilesCategory(std::optional<StorageCategory> category);
    void setLargestFoldersFocus(std::optional<std::string> path);
    void setSearchText(std::string text);
    // Requests and alerts have no equality: every assignment notifies.
    void setTrashRequest(std::optional<TrashRequest> request);
    void setAlert(std::optional<AppAlert> alert);
    void setSelectedApplicationPath(std::optional<std::string> path);

    const std::shared_ptr<StorageDatabase>& database() const { return database_; }
    const std::optional<std::string>& databaseError() const { return databaseError_; }
    const std::optional<std::string>& databaseNotice() const { return databaseNotice_; }
    ScanCoordinator& scan() const { return *scan_; }
    SystemMonitorStore& monitor() const { return *monitor_; }
    ApplicationsStore& apps() const { return *apps_; }

    // Start-up work of a shown main window: the scan state once, the installed
    // applications once, then their count in the summary. `done` runs on the main
    // thread at the end.
    void start(std::function<void()> done = {});

    // Keeps the items that may be removed as a pending request, or explains in an
    // alert why none may. The items are judged off the main thread; `done` runs on
    // the main thread once the request or the alert is set (not for a request
    // overtaken by a newer one).
    void requestTrash(const std::vector<TrashCandidate>& candidates, std::function<void()> done = {});
    // Closes the request, moves its items to the Trash off the main thread, reports
    // failures in one alert and announces changed data when anything moved.
    void confirmTrash(const TrashRequest& request, std::function<void()> done = {});

    // The last completed storage-access check of this run, kept while its screen is closed.
    const std::optional<AccessProbe::Result>& lastAccessCheck() const { return lastAccessCheck_; }
    void setLastAccessCheck(AccessProbe::Result result) { lastAccessCheck_ = std::move(result); }

    // The one desktop (file manager, opening, clipboard, sound) of the whole program.
    DesktopServices& desktop() const { return *desktop_; }
    void setDesktopServices(std::shared_ptr<DesktopServices> desktop);
    // The windows of running programs, for bringing one to the front.
    ProcessWindows& processWindows() const { return *processWindows_; }
    void setProcessWindows(std::shared_ptr<ProcessWindows> windows);

    // Where confirmed items go; the desktop's Trash unless replaced.
    void setFileTrasher(std::shared_ptr<FileTrasher> trasher) { trasher_ = std::move(trasher); }
    const FileTrasher& fileTrasher() const { return *trasher_; }

    // One line per failure: the path with the home folder as "~", ": ", the reason; a
    // long list keeps its first lines in the message and every line in the details.
    static FailureList trashFailures(const std::vector<TrashOutcome::Failure>& failures, const std::string& home);

signals:
    void selectionChanged();
    void largestFilesCategoryChanged();
    void largestFoldersFocusChanged();
    void searchTextChanged();
    void trashRequestChanged();
    void alertChanged();
    void selectedApplicationPathChanged();

private:
    std::optional<SidebarItem> selection_ = SidebarItem::dashboard;
    std::optional<StorageCategory> largestFilesCategory_;
    std::optional<std::string> largestFoldersFocus_;
    std::string searchText_;
    std::optional<TrashRequest> trashRequest_;
    std::optional<AppAlert> alert_;
    std::optional<std::string> selectedApplicationPath_;
    std::optional<AccessProbe::Result> lastAccessCheck_;

    std::shared_ptr<StorageDatabase> database_;
    std::optional<std::string> databaseError_;
    std::optional<std::string> databaseNotice_;
    std::shared_ptr<FileTrasher> trasher_;
    std::stop_source trashStop_;
    std::shared_ptr<DesktopServices> desktop_;
    std::shared_ptr<ProcessWindows> processWindows_;
    SystemMonitorStore* monitor_ = nullptr;
    ApplicationsStore* apps_ = nullptr;
    ScanCoordinator* scan_ = nullptr;
    LatestLoad* trashJudging_ = nullptr;
};

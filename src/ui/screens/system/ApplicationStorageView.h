#pragma once

#include "index/ApplicationRecords.h"
#include "index/FileRecords.h"

#include <QWidget>

#include <QList>

#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

class AppModel;
class ElidedLabel;
class LatestLoad;
class QLabel;
class QMenu;
class QProgressBar;
class QVBoxLayout;
class StorageDatabase;

// The space one application's data takes beside its bundle: each data location
// from the scan cache where it was scanned, else walked, one after another off
// the main thread. Only the newest run for the shown application stores its answer.
// Built once: a new answer fills the rows it has, a new bundle size the totals.
class ApplicationStorageView : public QWidget {
    Q_OBJECT

public:
    // Sizes one location; the default takes the index's totals or walks the folder.
    using Sizer = std::function<FolderSizeResult(const std::string& path, StorageDatabase* database,
                                                 std::stop_token stop)>;

    ApplicationStorageView(AppModel& model, ApplicationInfo app, QWidget* parent = nullptr, Sizer sizer = {},
                           std::string home = {});

    // Shows another application: the card goes back to its progress indicator at once.
    void setApplication(ApplicationInfo app);
    const ApplicationInfo& application() const { return app_; }
    const std::optional<ApplicationStorageBreakdown>& breakdown() const { return breakdown_; }
    bool isLoading() const;

    // Largest first; entries of equal size keep their order.
    static void sortEntries(std::vector<ApplicationStorageBreakdown::Entry>& entries);
    // The bundle (0 while unmeasured) plus every entry.
    static std::int64_t total(const std::optional<FolderSizeResult>& bundle, const ApplicationStorageBreakdown& breakdown);
    static QString sizeText(const ApplicationStorageBreakdown::Entry& entry);

    // The menu for a right click on the row of the entry at `index`, or none.
    QMenu* entryMenu(int index);

private:
    struct EntryRow {
        QWidget* row;
        QLabel* kind;
        ElidedLabel* where;
        QLabel* size;
    };

    void load();
    void showBreakdown();
    void showTotals();
    std::optional<FolderSizeResult> bundleSize() const;

    AppModel& model_;
    ApplicationInfo app_;
    Sizer sizer_;
    std::string home_;
    std::optional<ApplicationStorageBreakdown> breakdown_;
    LatestLoad* load_;
    QProgressBar* progress_;
    QWidget* content_;
    QLabel* bundle_;
    QVBoxLayout* entries_;
    std::vector<EntryRow> rows_;
    QLabel* total_;
};

#pragma once

#include "analysis/KnownLocation.h"
#include "analysis/VolumeInfo.h"
#include "index/FileRecords.h"
#include "ui/components/KeyedWidgetList.h"
#include "ui/components/PermissionHelpSheet.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class AppModel;
class CategoryOverview;
class CategoryTable;
class ElidedLabel;
class LatestLoad;
class LocationRow;
class QLabel;
class QPushButton;
class QVBoxLayout;
class ScanRequiredView;
class UsageBar;

// Where the space is: the mounted volumes, the categories of the index, the
// well-known folders with their sizes and the folders the scans could not read.
// Its lists reload whenever the index data changes; volumes and index are read
// in the background, separately, so a hanging mount holds up neither the window
// nor the index figures. Its cards and rows are made once and take new values;
// a row goes only when its volume or folder leaves the list.
class StorageView : public QWidget {
    Q_OBJECT

public:
    struct Location {
        KnownLocation location;
        std::optional<FolderItem> folder;

        friend bool operator==(const Location&, const Location&) = default;
    };

    // The first restricted folders of the index and how many it holds in all;
    // `failed` when the index could not list them.
    struct Restricted {
        std::vector<FolderItem> folders;
        std::int64_t total = 0;
        bool failed = false;
    };

    explicit StorageView(AppModel& model, QWidget* parent = nullptr);
    ~StorageView() override;

    const std::vector<VolumeInfo>& volumes() const { return volumes_; }
    const std::vector<Location>& locations() const { return locations_; }
    const Restricted& restricted() const { return restricted_; }
    // True while the volumes or the index lists are being read.
    bool isLoading() const;
    // The help sheet while it is open.
    PermissionHelpSheet* permissionHelp() const { return permissionHelp_; }

    // Reads the volumes and the index lists again.
    void reload();
    void showPermissionHelp();

    // Per volume: what is used of the capacity (never negative) and that as a share
    // (0 without a capacity).
    static std::int64_t used(const VolumeInfo& volume);
    static double fraction(const VolumeInfo& volume);
    // What the bar's fraction is a share of: the space this account can reach (used plus
    // available), not the capacity, which also holds the administrator's reserve.
    static std::int64_t reachable(const VolumeInfo& volume);
    // "<used> of <reachable> used", the line over the bar.
    static QString usageText(const VolumeInfo& volume);
    static const char* symbolName(const VolumeInfo& volume);
    static bool isNearlyFull(double fraction);

    // Restricted folders listed by name, and how many more the index holds.
    static int shownRestrictedCount(std::size_t listed);
    static std::int64_t moreRestrictedCount(std::size_t listed, std::int64_t total);

    static constexpr int restrictedLimit = 200;
    static constexpr int restrictedShown = 25;

private:
    // What one reload reads from the index.
    struct IndexLists {
        std::vector<Location> locations;
        Restricted restricted;
    };

    // One volume's row: its symbol, name, path, figures and bar.
    struct VolumeRow {
        QWidget* view = nullptr;
        QLabel* symbol = nullptr;
        QLabel* name = nullptr;
        QLabel* path = nullptr;
        QLabel* usage = nullptr;
        UsageBar* bar = nullptr;
    };
    struct RestrictedRow {
        QWidget* view = nullptr;
        ElidedLabel* path = nullptr;
    };

    QWidget* makeRestricted();
    VolumeRow makeVolumeRow();
    void showVolumes();
    void showSummary();
    void showLocations();
    void showRestricted();
    void openLocation(const std::string& path);

    AppModel& model_;
    std::vector<VolumeInfo> volumes_;
    std::vector<Location> locations_;
    Restricted restricted_;
    LatestLoad* volumeLoad_;
    LatestLoad* indexLoad_;
    QVBoxLayout* volumeRows_ = nullptr;
    std::vector<VolumeRow> volumeViews_;
    ScanRequiredView* scanRequired_ = nullptr;
    QWidget* categoriesCard_ = nullptr;
    CategoryOverview* categoryOverview_ = nullptr;
    CategoryTable* categoryTable_ = nullptr;
    QWidget* locationsCard_ = nullptr;
    // Keyed by the location's path.
    std::unique_ptr<KeyedWidgetList<LocationRow*, std::string>> locationRows_;
    QWidget* restrictedCard_ = nullptr;
    QLabel* restrictedFailure_ = nullptr;
    QWidget* allReadable_ = nullptr;
    QLabel* restrictedExplanation_ = nullptr;
    std::vector<RestrictedRow> restrictedRows_;
    QLabel* moreRestricted_ = nullptr;
    QPushButton* grantAccess_ = nullptr;
    QPointer<PermissionHelpSheet> permissionHelp_;
};

#pragma once

#include "analysis/KnownLocation.h"
#include "analysis/VolumeInfo.h"
#include "index/FileRecords.h"
#include "ui/screens/overview/PermissionHelpSheet.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

class AppModel;
class LatestLoad;

class QVBoxLayout;

// Where the space is: the mounted volumes, the categories of the index, the
// well-known folders with their sizes and the folders the scans could not read.
// Its lists reload whenever the index data changes; volumes and index are read
// in the background, separately, so a hanging mount holds up neither the window
// nor the index figures.
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

    // Per volume: the larger of the two available figures, what is used of the
    // capacity (never negative) and that as a share (0 without a capacity).
    static std::int64_t available(const VolumeInfo& volume);
    static std::int64_t used(const VolumeInfo& volume);
    static double fraction(const VolumeInfo& volume);
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

    void rebuildVolumes();
    void rebuildScanCards();
    QWidget* makeLocations();
    QWidget* makeRestricted();
    void openLocation(const Location& entry);

    AppModel& model_;
    std::vector<VolumeInfo> volumes_;
    std::vector<Location> locations_;
    Restricted restricted_;
    LatestLoad* volumeLoad_;
    LatestLoad* indexLoad_;
    QVBoxLayout* volumeRows_ = nullptr;
    QVBoxLayout* scanCards_ = nullptr;
    QPointer<PermissionHelpSheet> permissionHelp_;
};

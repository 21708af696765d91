#pragma once

#include "analysis/StorageSummary.h"
#include "scanning/ScanProgress.h"

#include <QScrollArea>

#include <optional>
#include <vector>

class AppModel;
class CategoryOverview;
class DiskOverviewCard;
class MetricCard;
class OverviewRow;
class QLabel;
class RecentFilesList;
class ScanProgressView;
class StorageTrendChart;

// The first screen: how full the disk is and what the last scan found, the live
// scan panel while a scan runs or stands stopped, and the way to a first scan.
// Every part is made once; a new summary or phase gives the parts new values and
// shows or hides whole sections.
class DashboardView : public QScrollArea {
    Q_OBJECT

public:
    explicit DashboardView(AppModel& model, QWidget* parent = nullptr);

    // Active, or stopped with its resume action.
    static bool showsProgress(const ScanPhase& phase);
    // The coordinator's text of a failed scan, shown until the next scan starts.
    static std::optional<QString> failureText(const ScanPhase& phase, const std::optional<std::string>& errorMessage);

    // What fills the lower part of the page. Until the cache has been read (`loaded`) it is
    // not known whether there is a scan: nothing shows, never the first-run page.
    enum class Lower { overview, scanRequired, nothing };
    static Lower lower(const StorageSummary& summary, const ScanPhase& phase, bool loaded = true);

    struct Tile {
        QString title;
        QString value;
        std::optional<QString> detail;
        friend bool operator==(const Tile&, const Tile&) = default;
    };
    // The five metric tiles; `applications` is absent while the list is loading.
    static std::vector<Tile> tiles(const StorageSummary& summary, std::optional<std::size_t> applications);

    // The two cards stand side by side from this width on.
    static constexpr int sideBySideWidth = 440 + 12 + 300;

private:
    void refreshProgress();
    void refreshSummary();
    void refreshTiles();
    void openLargestFolder();
    std::optional<std::size_t> applicationCount() const;

    AppModel& model_;
    QLabel* failure_;
    ScanProgressView* progress_;
    DiskOverviewCard* disk_;
    std::vector<MetricCard*> tiles_;
    OverviewRow* overview_;
    CategoryOverview* categories_;
    RecentFilesList* recent_;
    QWidget* trend_;
    StorageTrendChart* trendChart_;
    QLabel* trendHint_;
    QWidget* gettingStarted_;
};

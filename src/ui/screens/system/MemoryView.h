#pragma once

#include "app/system/MonitorRecords.h"
#include "index/ProcessRecords.h"
#include "ui/components/ChartPlot.h"
#include "ui/components/ChartRecords.h"
#include "ui/screens/system/MonitorScreen.h"

#include <QColor>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

class AdaptiveGrid;
class AppModel;
class ApplicationsStore;
class LiveAreaChart;
class MetricCard;
class PressureMeter;
class QLabel;
class TopProcessesList;

// Live memory: the figures, the kernel's pressure verdict, the history of app, wired
// and compressed memory, and the processes using the most.
class MemoryView : public MonitorScreen {
    Q_OBJECT

public:
    explicit MemoryView(AppModel& model, QWidget* parent = nullptr);
    // Over a store of its own, which tests feed.
    explicit MemoryView(SystemMonitorStore& monitor, QWidget* parent = nullptr, const ApplicationsStore* apps = nullptr);

    // Three points per sample: "Wired", "App", "Compressed".
    static std::vector<ChartPoint> points(const std::vector<MemorySnapshot>& history);
    static std::uint64_t used(const MemorySnapshot& memory);
    static std::uint64_t available(const MemorySnapshot& memory);
    // Counts above the largest signed value show as that value.
    static QString bytes(std::uint64_t count);
    static QString pressureLabel(MemoryPressure pressure);
    static QColor pressureTint(MemoryPressure pressure);
    static QString pressureText(const MemorySnapshot& memory);
    static std::optional<QString> swapDetail(const MemorySnapshot& memory);
    // 0 to the latest total; a total of 0 (an unreadable one) falls back to the
    // largest stacked sample, and to 1 byte when there is none.
    static ChartPlot::Domain chartDomain(std::uint64_t total, const std::vector<ChartPoint>& points);
    static QString processValue(const ProcessSnapshot& process);

    LiveAreaChart* liveChart() const { return chart_; }

protected:
    void refresh() override;

private:
    // The cards in the order shown.
    enum Card { totalCard, usedCard, availableCard, appCard, wiredCard, compressedCard, cachedCard, swapUsedCard,
                swapAvailableCard, cardCount };

    AdaptiveGrid* grid_;
    std::array<MetricCard*, cardCount> cards_{};
    PressureMeter* meter_;
    QLabel* explanation_;
    LiveAreaChart* chart_;
    TopProcessesList* top_;
};

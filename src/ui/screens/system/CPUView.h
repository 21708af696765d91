#pragma once

#include "app/system/MonitorRecords.h"
#include "index/ProcessRecords.h"
#include "ui/components/ChartRecords.h"
#include "ui/screens/system/MonitorScreen.h"

#include <QColor>
#include <QString>

#include <array>
#include <optional>
#include <vector>

class AppModel;
class ApplicationsStore;
class CoreBarChart;
class LiveAreaChart;
class MetricCard;
class QLabel;
class TopProcessesList;
class UsageBar;

// Live processor use: the overall busy share, the figures, the history of the user
// and system shares, each core, and the busiest processes.
class CPUView : public MonitorScreen {
    Q_OBJECT

public:
    explicit CPUView(AppModel& model, QWidget* parent = nullptr);
    // Over a store of its own, which tests feed.
    explicit CPUView(SystemMonitorStore& monitor, QWidget* parent = nullptr, const ApplicationsStore* apps = nullptr);

    static constexpr double busyThreshold = 0.85;

    // Two points per sample, "System" then "User" (user and nice).
    static std::vector<ChartPoint> points(const std::vector<CPUSnapshot>& history);
    // "8 performance · 4 efficiency", else "10 physical", else empty.
    static QString coreDetail(const CPUSnapshot& cpu);
    // user + system + nice, clamped to 0...1 (0 when not a number).
    static double busyShare(const CPUSnapshot& cpu);
    static QColor busyTint(double share);
    static QString loadValue(const CPUSnapshot& cpu);
    static std::optional<QString> loadDetail(const CPUSnapshot& cpu);
    static QString processValue(const ProcessSnapshot& process);

    // The whole percents of the "User" (user and nice), "System" and "Idle" cards:
    // they add up to 100, rounded by largest remainder. Nothing when a share is not
    // a number or none is above zero.
    static std::optional<std::array<int, 3>> shownPercents(const CPUSnapshot& cpu);
    // The overall figure beside the bar: the user and system cards' sum, "—" when unknown.
    static QString overallText(const CPUSnapshot& cpu);


protected:
    void refresh() override;

private:
    enum Card { userCard, systemCard, idleCard, coresCard, loadCard, cardCount };

    UsageBar* bar_;
    QLabel* busyText_;
    QLabel* brand_;
    std::array<MetricCard*, cardCount> cards_{};
    LiveAreaChart* chart_;
    CoreBarChart* cores_;
    TopProcessesList* top_;
};

#pragma once

#include "index/ProcessRecords.h"

#include <QIcon>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QLabel;
class QListView;
class TopProcessesModel;

// A short ranked list of processes, one line each with icon, name, pid and one figure.
// The owner picks, orders and words the figures, and hands over new ones each sample;
// a process keeps its line while it stays in the list.
class TopProcessesList : public QWidget {
    Q_OBJECT

public:
    using ValueText = std::function<QString(const ProcessSnapshot&)>;
    using SortKey = std::function<double(const ProcessSnapshot&)>;
    using IconOf = std::function<QIcon(const ProcessSnapshot&)>;

    TopProcessesList(std::vector<ProcessSnapshot> processes, ValueText value, IconOf icon, QWidget* parent = nullptr);

    static constexpr std::size_t limit = 10;
    static constexpr int iconSize = 16;
    static constexpr int rowSpacing = 6;
    static constexpr int partSpacing = 6;

    // The first `limit` processes by descending key; equal keys keep their order.
    static std::vector<ProcessSnapshot> top(const std::vector<ProcessSnapshot>& processes, const SortKey& key);

    void setProcesses(const std::vector<ProcessSnapshot>& processes);
    std::vector<ProcessSnapshot> processes() const;
    TopProcessesModel* model() const { return model_; }
    QListView* view() const { return view_; }

    // Where the parts of one line go in `line`: the value at the trailing edge always
    // whole, the pid after the name, the name shortened first and the pid after it.
    struct LineGeometry {
        QRect icon, name, pid, value;
        friend bool operator==(const LineGeometry&, const LineGeometry&) = default;
    };
    static LineGeometry lineGeometry(const QRect& line, int nameWidth, int pidWidth, int valueWidth);

private:
    void fitHeight();

    ValueText value_;
    IconOf icon_;
    TopProcessesModel* model_;
    QListView* view_;
    QLabel* empty_;
};

#pragma once

#include "index/ProcessRecords.h"

#include <QIcon>
#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

// A short ranked list of processes, one line each with icon, name, pid and one figure.
// The owner picks, orders and words the figures.
class TopProcessesList : public QWidget {
    Q_OBJECT

public:
    using ValueText = std::function<QString(const ProcessSnapshot&)>;
    using SortKey = std::function<double(const ProcessSnapshot&)>;
    using IconOf = std::function<QIcon(const ProcessSnapshot&)>;

    TopProcessesList(std::vector<ProcessSnapshot> processes, ValueText value, const IconOf& icon,
                     QWidget* parent = nullptr);

    static constexpr std::size_t limit = 10;

    // The first `limit` processes by descending key; equal keys keep their order.
    static std::vector<ProcessSnapshot> top(const std::vector<ProcessSnapshot>& processes, const SortKey& key);

    const std::vector<ProcessSnapshot>& processes() const { return processes_; }

private:
    std::vector<ProcessSnapshot> processes_;
};

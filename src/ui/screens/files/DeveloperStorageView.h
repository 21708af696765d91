#pragma once

#include "analysis/DeveloperStorageRecords.h"
#include "ui/components/ChartRecords.h"
#include "ui/components/KeyedWidgetList.h"

#include <QColor>
#include <QScrollArea>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

class AppModel;
class ElidedLabel;
class LatestLoad;
class QLabel;
class QMenu;
class QPushButton;
class QVBoxLayout;
class SectionCard;
class SizeBarChart;
class StorageDatabase;

// How much space developer tools keep, by tool: a chart of the groups, their total, and a
// card per group with its measured locations. Measures again whenever the index data
// changes or the user asks; deletes nothing. A tool's card and a location's row are
// kept from one measurement to the next and given the new figures.
class DeveloperStorageView : public QScrollArea {
    Q_OBJECT

public:
    explicit DeveloperStorageView(AppModel& model, QWidget* parent = nullptr);

    const std::vector<DeveloperStorageGroup>& groups() const { return groups_; }
    bool isLoading() const;
    QPushButton* refreshButton() const { return refresh_; }
    SizeBarChart* chart() const { return chart_; }
    QLabel* totalLabel() const { return total_; }

    // Measures again; the answer of any earlier load still running is dropped.
    void load();

    // The menu of an item row; none for an item without a path. The caller owns it.
    QMenu* makeContextMenu(const DeveloperStorageItem& item, QWidget* parent);

    static QColor color(const std::string& groupName);
    static std::int64_t total(const DeveloperStorageGroup& group);
    static std::int64_t overallTotal(const std::vector<DeveloperStorageGroup>& groups);
    // One bar per group that holds any bytes, in group order.
    static std::vector<SizeBarItem> chartItems(const std::vector<DeveloperStorageGroup>& groups);
    // The group total; empty for a detected group of 0 bytes; "Not found" otherwise.
    static QString accessoryText(const DeveloperStorageGroup& group);
    // Empty for 0 bytes, else the size followed by "+" when it is a lower bound.
    static QString itemSizeText(const DeveloperStorageItem& item);

    // One analysis; nothing when it was stopped before the end, since a stopped analyzer
    // leaves out locations and would report tools as not found.
    static std::optional<std::vector<DeveloperStorageGroup>> analyze(const std::string& home,
                                                                     StorageDatabase* database, std::stop_token stop);

signals:
    void groupsChanged();

private:
    struct ItemRow {
        QWidget* view = nullptr;
        QLabel* name = nullptr;
        ElidedLabel* second = nullptr;
        QLabel* size = nullptr;
        DeveloperStorageItem item;
    };
    struct GroupCard {
        SectionCard* card = nullptr;
        QLabel* accessory = nullptr;
        QLabel* note = nullptr;
        // The group's locations, keyed by name and path, after the note.
        std::unique_ptr<KeyedWidgetList<ItemRow, std::string>> items;
    };

    void showGroups();
    GroupCard makeCard(const DeveloperStorageGroup& group);
    ItemRow makeItemRow(QWidget* parent);
    void showItem(ItemRow& row, const DeveloperStorageItem& item);
    void refreshLoading();

    AppModel& model_;
    std::vector<DeveloperStorageGroup> groups_;
    // Keyed by the group's name.
    std::unique_ptr<KeyedWidgetList<GroupCard, std::string>> cards_;
    LatestLoad* load_;
    QPushButton* refresh_ = nullptr;
    QWidget* measuring_ = nullptr;
    QWidget* overview_ = nullptr;
    SizeBarChart* chart_ = nullptr;
    QLabel* total_ = nullptr;
};

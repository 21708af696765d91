#include "ui/screens/files/DeveloperStorageView.h"

#include "analysis/ByteFormatter.h"
#include "analysis/DeveloperStorageAnalyzer.h"
#include "analysis/HomeAbbreviation.h"
#include "app/AppModel.h"
#include "app/LatestLoad.h"
#include "app/QtText.h"
#include "app/ScanCoordinator.h"
#include "index/StorageDatabase.h"
#include "platform/DesktopServices.h"
#include "platform/SystemPaths.h"
#include "scanning/FinderActions.h"
#include "ui/components/CommonText.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/SectionCard.h"
#include "ui/components/SizeBarChart.h"
#include "ui/components/TextStyle.h"
#include "ui/components/ScreenParts.h"
#include "ui/screens/files/RefreshHeading.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <set>

DeveloperStorageView::DeveloperStorageView(AppModel& model, QWidget* parent)
    : QScrollArea(parent), model_(model), load_(new LatestLoad(this))
{
    setObjectName(QStringLiteral("developerStorageView"));
    QVBoxLayout* column = makeScrollPage(this);

    auto* heading = new RefreshHeading(QStringLiteral("Developer Storage"));
    refresh_ = heading->refreshButton();
    connect(refresh_, &QPushButton::clicked, this, &DeveloperStorageView::load);
    column->addWidget(heading);

    auto* overviewContent = new QWidget;
    auto* overviewColumn = new QVBoxLayout(overviewContent);
    overviewColumn->setContentsMargins(0, 0, 0, 0);
    measuring_ = new QWidget;
    measuring_->setObjectName(QStringLiteral("measuring"));
    auto* measuringRow = new QHBoxLayout(measuring_);
    measuringRow->setContentsMargins(0, 0, 0, 0);
    measuringRow->addWidget(smallSpinner());
    measuringRow->addWidget(new QLabel(QStringLiteral("Measuring developer folders…")), 1);
    overviewColumn->addWidget(measuring_);

    overview_ = new QWidget;
    auto* chartColumn = new QVBoxLayout(overview_);
    chartColumn->setContentsMargins(0, 0, 0, 0);
    chart_ = new SizeBarChart({}, {});
    chart_->setObjectName(QStringLiteral("groupChart"));
    chartColumn->addWidget(chart_);
    auto* totalRow = new QHBoxLayout;
    totalRow->addWidget(styledLabel(QStringLiteral("Total"), TextStyle::headline, TextEmphasis::primary, QFont::DemiBold));
    totalRow->addStretch(1);
    total_ = styledLabel(qstr(ByteFormatter::string(0)), TextStyle::headline, TextEmphasis::primary, QFont::DemiBold);
    total_->setObjectName(QStringLiteral("overallTotal"));
    totalRow->addWidget(total_);
    chartColumn->addLayout(totalRow);
    overviewColumn->addWidget(overview_);
    auto* overviewCard = new SectionCard(QStringLiteral("Developer Storage"),
                                         QStringLiteral("chevron.left.forwardslash.chevron.right"), overviewContent);
    overviewCard->setObjectName(QStringLiteral("overviewCard"));
    column->addWidget(overviewCard);

    auto* cardColumn = new QVBoxLayout;
    cardColumn->setSpacing(16);
    column->addLayout(cardColumn);
    cards_ = std::make_unique<KeyedWidgetList<GroupCard, std::string>>(
        cardColumn, 0, [](const GroupCard& card) { return std::vector<QWidget*>{card.card}; });

    auto* footer = new QLabel(QStringLiteral(
        "To clean developer storage safely, see Cleanup — it recommends the tool's own commands (for example "
        "`docker system prune`) where manual deletion would be risky."));
    footer->setObjectName(QStringLiteral("footer"));
    footer->setTextFormat(Qt::MarkdownText);
    footer->setWordWrap(true);
    applyTextStyle(footer, TextStyle::caption);
    applyTextColor(footer, textColor(TextEmphasis::secondary));
    column->addWidget(footer);
    column->addStretch(1);

    connect(load_, &LatestLoad::busyChanged, this, &DeveloperStorageView::refreshLoading);
    connect(&model_.scan(), &ScanCoordinator::dataVersionChanged, this, &DeveloperStorageView::load);
    showGroups();
    load();
}

bool DeveloperStorageView::isLoading() const
{
    return load_->isBusy();
}

void DeveloperStorageView::load()
{
    std::shared_ptr<StorageDatabase> database = model_.database();
    load_->start(
        [database, home = SystemPaths::homeDirectory()](std::stop_token stop) {
            return analyze(home, database.get(), stop);
        },
        [this](std::optional<std::vector<DeveloperStorageGroup>> result) {
            if (!result)
                return;
            groups_ = std::move(*result);
            showGroups();
            emit groupsChanged();
        });
}

std::optional<std::vector<DeveloperStorageGroup>>
DeveloperStorageView::analyze(const std::string& home, StorageDatabase* database, std::stop_token stop)
{
    std::vector<DeveloperStorageGroup> groups = DeveloperStorageAnalyzer(home, database).analyze(stop);
    if (stop.stop_requested())
        return std::nullopt;
    return groups;
}

void DeveloperStorageView::refreshLoading()
{
    const bool loading = isLoading();
    refresh_->setEnabled(!loading);
    const bool measuring = loading && groups_.empty();
    measuring_->setVisible(measuring);
    overview_->setVisible(!measuring);
}

namespace {

// A location's place in its card: its name and path; the same name and path in a
// later measurement is the same location, and the same location twice in one group
// is a row each.
std::vector<std::string> itemKeys(const std::vector<DeveloperStorageItem>& items)
{
    std::vector<std::string> keys;
    std::set<std::string> taken;
    for (const DeveloperStorageItem& item : items) {
        std::string key = item.name + '\n' + item.path;
        while (!taken.insert(key).second)
            key += '\n';
        keys.push_back(std::move(key));
    }
    return keys;
}

} // namespace

void DeveloperStorageView::showGroups()
{
    std::vector<SizeBarItem> bars = chartItems(groups_);
    chart_->setItems(std::move(bars));
    total_->setText(qstr(ByteFormatter::string(overallTotal(groups_))));

    std::vector<std::string> names;
    for (const DeveloperStorageGroup& group : groups_)
        names.push_back(group.name);
    cards_->replace(names, [this](const std::string& name) {
        return makeCard(*std::find_if(groups_.begin(), groups_.end(),
                                      [&](const DeveloperStorageGroup& group) { return group.name == name; }));
    });
    for (std::size_t index = 0; index < groups_.size(); ++index) {
        const DeveloperStorageGroup& group = groups_[index];
        GroupCard& card = cards_->rows()[index];
        card.accessory->setText(accessoryText(group));
        card.note->setText(group.note ? qstr(*group.note) : QString());
        card.note->setVisible(group.note.has_value());
        QWidget* parent = card.card->content();
        card.items->replace(itemKeys(group.items), [this, parent](const std::string&) { return makeItemRow(parent); });
        for (std::size_t item = 0; item < group.items.size(); ++item)
            showItem(card.items->rows()[item], group.items[item]);
    }
    refreshLoading();
}

DeveloperStorageView::GroupCard DeveloperStorageView::makeCard(const DeveloperStorageGroup& group)
{
    GroupCard card;
    auto* content = new QWidget;
    auto* rows = new QVBoxLayout(content);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(8);
    card.note = styledLabel(QString(), TextStyle::caption, TextEmphasis::secondary);
    card.note->setObjectName(QStringLiteral("note"));
    card.note->setWordWrap(true);
    rows->addWidget(card.note);
    card.accessory = styledLabel(QString(), TextStyle::body, TextEmphasis::secondary);
    card.accessory->setObjectName(QStringLiteral("groupTotal"));
    card.card = new SectionCard(qstr(group.name), qstr(group.symbolName), content, card.accessory);
    card.card->setObjectName(QStringLiteral("groupCard"));
    // After the note, in the group's order.
    card.items = std::make_unique<KeyedWidgetList<ItemRow, std::string>>(
        rows, 1, [](const ItemRow& row) { return std::vector<QWidget*>{row.view}; });
    return card;
}

DeveloperStorageView::ItemRow DeveloperStorageView::makeItemRow(QWidget* parent)
{
    ItemRow row;
    row.view = new QWidget(parent);
    row.view->setObjectName(QStringLiteral("itemRow"));
    auto* line = new QHBoxLayout(row.view);
    line->setContentsMargins(0, 0, 0, 0);
    auto* text = new QVBoxLayout;
    text->setSpacing(1);
    row.name = new QLabel;
    row.name->setObjectName(QStringLiteral("name"));
    text->addWidget(row.name);
    row.second = new ElidedLabel(QString(), Qt::ElideMiddle);
    row.second->setObjectName(QStringLiteral("secondLine"));
    applyTextStyle(row.second, TextStyle::caption);
    applyTextColor(row.second, textColor(TextEmphasis::secondary));
    text->addWidget(row.second);
    line->addLayout(text, 1);
    row.size = new QLabel;
    row.size->setObjectName(QStringLiteral("size"));
    line->addWidget(row.size);
    QWidget* view = row.view;
    connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& at) {
        // The row's location as now measured.
        for (const GroupCard& card : cards_->rows())
            for (const ItemRow& shown : card.items->rows())
                if (shown.view == view) {
                    if (QMenu* menu = makeContextMenu(shown.item, view)) {
                        menu->setAttribute(Qt::WA_DeleteOnClose);
                        menu->popup(view->mapToGlobal(at));
                    }
                    return;
                }
    });
    return row;
}

void DeveloperStorageView::showItem(ItemRow& row, const DeveloperStorageItem& item)
{
    row.item = item;
    row.name->setText(qstr(item.name));
    row.second->setText(qstr(item.detail ? *item.detail : abbreviatingHome(item.path)));
    row.size->setVisible(item.bytes > 0);
    row.size->setText(itemSizeText(item));
    row.size->setToolTip(item.isPartial ? QStringLiteral("Some sub-folders couldn't be read; the real size may be larger.")
                                        : QString());
    row.view->setContextMenuPolicy(item.path.empty() ? Qt::NoContextMenu : Qt::CustomContextMenu);
}

QMenu* DeveloperStorageView::makeContextMenu(const DeveloperStorageItem& item, QWidget* parent)
{
    if (item.path.empty())
        return nullptr;
    auto* menu = new QMenu(parent);
    const std::string path = item.path;
    AppModel* model = &model_;
    menu->addAction(CommonText::revealAction(), menu,
                    [model, path] { FinderActions::reveal({path}, model->desktop()); });
    menu->addAction(QStringLiteral("Show in Largest Folders"), menu, [model, path] {
        model->setLargestFoldersFocus(path);
        model->setSelection(SidebarItem::largestFolders);
    });
    menu->addAction(QStringLiteral("Copy Path"), menu, [model, path] { model->desktop().copyText(path); });
    return menu;
}

QColor DeveloperStorageView::color(const std::string& groupName)
{
    if (groupName == "Xcode")
        return QColor::fromRgbF(0.2f, 0.55f, 0.95f);
    if (groupName == "Node.js")
        return NamedColor::green;
    if (groupName == "Android")
        return QColor::fromRgbF(0.24f, 0.7f, 0.4f);
    if (groupName == "Docker")
        return QColor::fromRgbF(0.1f, 0.6f, 0.85f);
    if (groupName == "Git Repositories")
        return QColor::fromRgbF(0.94f, 0.32f, 0.2f);
    return NamedColor::orange;
}

std::int64_t DeveloperStorageView::total(const DeveloperStorageGroup& group)
{
    std::int64_t sum = 0;
    for (const DeveloperStorageItem& item : group.items)
        sum += item.bytes;
    return sum;
}

std::int64_t DeveloperStorageView::overallTotal(const std::vector<DeveloperStorageGroup>& groups)
{
    std::int64_t sum = 0;
    for (const DeveloperStorageGroup& group : groups)
        sum += total(group);
    return sum;
}

std::vector<SizeBarItem> DeveloperStorageView::chartItems(const std::vector<DeveloperStorageGroup>& groups)
{
    std::vector<SizeBarItem> items;
    for (const DeveloperStorageGroup& group : groups) {
        const std::int64_t bytes = total(group);
        if (bytes > 0)
            items.push_back({group.name, group.name, bytes, color(group.name)});
    }
    return items;
}

QString DeveloperStorageView::accessoryText(const DeveloperStorageGroup& group)
{
    const std::int64_t bytes = total(group);
    if (bytes > 0)
        return qstr(ByteFormatter::string(bytes));
    return group.detected ? QString() : QStringLiteral("Not found");
}

QString DeveloperStorageView::itemSizeText(const DeveloperStorageItem& item)
{
    if (item.bytes <= 0)
        return {};
    return qstr(ByteFormatter::string(item.bytes)) + (item.isPartial ? QStringLiteral("+") : QString());
}

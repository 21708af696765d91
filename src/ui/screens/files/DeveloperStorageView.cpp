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

    cardColumn_ = new QVBoxLayout;
    cardColumn_->setSpacing(16);
    column->addLayout(cardColumn_);

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
// later measurement is the same location.
std::string itemKey(const DeveloperStorageItem& item)
{
    return item.name + '\n' + item.path;
}

} // namespace

void DeveloperStorageView::showGroups()
{
    std::vector<SizeBarItem> bars = chartItems(groups_);
    chart_->setItems(std::move(bars));
    total_->setText(qstr(ByteFormatter::string(overallTotal(groups_))));

    std::vector<std::string> listed;
    for (const DeveloperStorageGroup& group : groups_) {
        GroupCard& card = cardFor(group);
        card.accessory->setText(accessoryText(group));
        card.note->setText(group.note ? qstr(*group.note) : QString());
        card.note->setVisible(group.note.has_value());
        showItems(card, group.items);
        const int place = static_cast<int>(listed.size());
        if (cardColumn_->indexOf(card.card) != place)
            cardColumn_->insertWidget(place, card.card);
        card.card->show();
        listed.push_back(group.name);
    }
    for (auto card = cards_.begin(); card != cards_.end();) {
        if (std::find(listed.begin(), listed.end(), card->first) != listed.end()) {
            ++card;
            continue;
        }
        discardWidget(card->second.card);
        card = cards_.erase(card);
    }
    refreshLoading();
}

DeveloperStorageView::GroupCard& DeveloperStorageView::cardFor(const DeveloperStorageGroup& group)
{
    GroupCard& card = cards_[group.name];
    if (card.card)
        return card;
    auto* content = new QWidget;
    card.rows = new QVBoxLayout(content);
    card.rows->setContentsMargins(0, 0, 0, 0);
    card.rows->setSpacing(8);
    card.note = styledLabel(QString(), TextStyle::caption, TextEmphasis::secondary);
    card.note->setObjectName(QStringLiteral("note"));
    card.note->setWordWrap(true);
    card.rows->addWidget(card.note);
    card.accessory = styledLabel(QString(), TextStyle::body, TextEmphasis::secondary);
    card.accessory->setObjectName(QStringLiteral("groupTotal"));
    card.card = new SectionCard(qstr(group.name), qstr(group.symbolName), content, card.accessory);
    card.card->setObjectName(QStringLiteral("groupCard"));
    return card;
}

void DeveloperStorageView::showItems(GroupCard& card, const std::vector<DeveloperStorageItem>& items)
{
    std::map<std::string, ItemRow> kept;
    QWidget* parent = card.card->content();
    for (std::size_t index = 0; index < items.size(); ++index) {
        const DeveloperStorageItem& item = items[index];
        std::string key = itemKey(item);
        // The same location twice in one group: each its own row.
        while (kept.contains(key))
            key += '\n';
        auto found = card.items.find(key);
        ItemRow row = found != card.items.end() ? found->second : makeItemRow(parent);
        if (found != card.items.end())
            card.items.erase(found);
        showItem(row, item);
        // After the note, in the group's order.
        const int place = static_cast<int>(index) + 1;
        if (card.rows->indexOf(row.view) != place)
            card.rows->insertWidget(place, row.view);
        row.view->show();
        kept.emplace(std::move(key), std::move(row));
    }
    for (auto& [key, gone] : card.items)
        discardWidget(gone.view);
    card.items = std::move(kept);
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
        for (const auto& [name, card] : cards_)
            for (const auto& [key, shown] : card.items)
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

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

    cards_ = new QVBoxLayout;
    cards_->setSpacing(16);
    column->addLayout(cards_);

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
    rebuild();
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
            rebuild();
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

void DeveloperStorageView::rebuild()
{
    std::vector<SizeBarItem> bars = chartItems(groups_);
    chart_->setItems(std::move(bars));
    total_->setText(qstr(ByteFormatter::string(overallTotal(groups_))));

    clearLayout(cards_);
    for (const DeveloperStorageGroup& group : groups_) {
        auto* content = new QWidget;
        auto* list = new QVBoxLayout(content);
        list->setContentsMargins(0, 0, 0, 0);
        list->setSpacing(8);
        if (group.note) {
            QLabel* note = styledLabel(qstr(*group.note), TextStyle::caption, TextEmphasis::secondary);
            note->setObjectName(QStringLiteral("note"));
            note->setWordWrap(true);
            list->addWidget(note);
        }
        for (const DeveloperStorageItem& item : group.items)
            list->addWidget(makeItemRow(item));
        QLabel* accessory = styledLabel(accessoryText(group), TextStyle::body, TextEmphasis::secondary);
        accessory->setObjectName(QStringLiteral("groupTotal"));
        auto* card = new SectionCard(qstr(group.name), qstr(group.symbolName), content, accessory);
        card->setObjectName(QStringLiteral("groupCard"));
        cards_->addWidget(card);
    }
    refreshLoading();
}

QWidget* DeveloperStorageView::makeItemRow(const DeveloperStorageItem& item)
{
    auto* row = new QWidget;
    row->setObjectName(QStringLiteral("itemRow"));
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    auto* text = new QVBoxLayout;
    text->setSpacing(1);
    auto* name = new QLabel(qstr(item.name));
    name->setObjectName(QStringLiteral("name"));
    text->addWidget(name);
    auto* second = new ElidedLabel(qstr(item.detail ? *item.detail : abbreviatingHome(item.path)), Qt::ElideMiddle);
    second->setObjectName(QStringLiteral("secondLine"));
    applyTextStyle(second, TextStyle::caption);
    applyTextColor(second, textColor(TextEmphasis::secondary));
    text->addWidget(second);
    line->addLayout(text, 1);
    if (item.bytes > 0) {
        auto* size = new QLabel(itemSizeText(item));
        size->setObjectName(QStringLiteral("size"));
        if (item.isPartial)
            size->setToolTip(QStringLiteral("Some sub-folders couldn't be read; the real size may be larger."));
        line->addWidget(size);
    }
    if (!item.path.empty()) {
        row->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(row, &QWidget::customContextMenuRequested, this, [this, row, item](const QPoint& at) {
            QMenu* menu = makeContextMenu(item, row);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(row->mapToGlobal(at));
        });
    }
    return row;
}

QMenu* DeveloperStorageView::makeContextMenu(const DeveloperStorageItem& item, QWidget* parent)
{
    if (item.path.empty())
        return nullptr;
    auto* menu = new QMenu(parent);
    const std::string path = item.path;
    AppModel* model = &model_;
    menu->addAction(QStringLiteral("Reveal in Finder"), menu,
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

#include "ui/screens/files/LargestFoldersView.h"

#include "analysis/SearchParser.h"
#include "app/AppModel.h"
#include "app/LatestLoad.h"
#include "app/QtText.h"
#include "app/ScanCoordinator.h"
#include "platform/DesktopServices.h"
#include "platform/Paths.h"
#include "platform/SystemPaths.h"
#include "scanning/FinderActions.h"
#include "scanning/SecurityUtils.h"
#include "ui/components/CommonText.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/FolderTreeModel.h"
#include "ui/components/FolderTreeView.h"
#include "ui/components/LocaleText.h"
#include "ui/components/ScanRequiredView.h"
#include "ui/components/SizeBarChart.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/files/BreadcrumbBar.h"
#include "ui/screens/files/ChartPane.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr std::size_t maximumBars = 12;

} // namespace

LargestFoldersView::LargestFoldersView(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), tree_(new FolderTreeModel(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(20, 12, 12, 6);
    header->setSpacing(8);
    header->addWidget(makeScreenTitle(QStringLiteral("Largest Folders"), this));
    header->addStretch(1);
    chartToggle_ = toolbarToggle(QStringLiteral("Chart"), "chart.bar.xaxis", this);
    chartToggle_->setObjectName(QStringLiteral("chartToggle"));
    header->addWidget(chartToggle_);
    revealButton_ = toolbarButton(CommonText::revealAction(), "folder", this);
    revealButton_->setObjectName(QStringLiteral("revealButton"));
    header->addWidget(revealButton_);
    layout->addLayout(header);
    breadcrumbs_ = new BreadcrumbBar([this](std::optional<std::string> path) { model_.setLargestFoldersFocus(path); },
                                     this, this);
    breadcrumbs_->setObjectName(QStringLiteral("breadcrumbs"));
    layout->addWidget(breadcrumbs_);
    layout->addWidget(divider(this));

    pages_ = new QStackedWidget(this);
    pages_->addWidget(new ScanRequiredView(
        model_, QStringLiteral("No scan data yet"),
        CommonText::scanRequiredMessage(),
        pages_));
    split_ = new QSplitter(Qt::Vertical, pages_);
    split_->setChildrenCollapsible(false);
    chartPane_ = new ChartPane([this](const SizeBarItem& item) { model_.setLargestFoldersFocus(item.id); }, split_);
    chart_ = chartPane_->chart();
    treeView_ = new FolderTreeView(tree_, split_);
    treeView_->setObjectName(QStringLiteral("folderTree"));
    treeView_->setMinimumHeight(220);
    split_->addWidget(chartPane_);
    split_->addWidget(treeView_);
    split_->setSizes({280, 400});
    split_->installEventFilter(this);
    pages_->addWidget(split_);
    layout->addWidget(pages_, 1);

    busy_ = new QProgressBar(this);
    busy_->setObjectName(QStringLiteral("loadingIndicator"));
    static_cast<QProgressBar*>(busy_)->setRange(0, 0);
    static_cast<QProgressBar*>(busy_)->setTextVisible(false);
    busy_->setFixedSize(120, 8);

    connect(chartToggle_, &QToolButton::toggled, this, [this] { refresh(); });
    connect(revealButton_, &QToolButton::clicked, this, [this] {
        if (const auto folder = selectedFolder())
            FinderActions::reveal({folder->path}, model_.desktop());
    });
    connect(treeView_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (const auto* row = tree_->row(index))
            openRow(row->folder.id);
    });
    connect(treeView_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { refresh(); });
    // Closing a folder hides a selected folder inside it.
    connect(treeView_, &QTreeView::collapsed, this, [this] { refresh(); });
    connect(treeView_, &QTreeView::expanded, this, [this] { refresh(); });
    // A selected folder that a reload takes away leaves nothing selected.
    connect(tree_, &QAbstractItemModel::rowsRemoved, this, [this] { refresh(); });
    // The chart shows the first root's children once they are read.
    connect(tree_, &QAbstractItemModel::rowsInserted, this, [this] { refresh(); });
    connect(tree_, &QAbstractItemModel::dataChanged, this, [this] { refresh(); });
    connect(treeView_, &QWidget::customContextMenuRequested, this, [this](const QPoint& point) {
        if (const auto* row = tree_->row(treeView_->indexAt(point)))
            folderMenu(row->folder, this)->popup(treeView_->viewport()->mapToGlobal(point));
    });
    for (auto signal : {&FolderTreeModel::rootsChanged, &FolderTreeModel::focusPathChanged,
                        &FolderTreeModel::isLoadingChanged})
        connect(tree_, signal, this, [this] { refresh(); });
    connect(&model_, &AppModel::largestFoldersFocusChanged, this, [this] { load(); });
    connect(&model_.scan(), &ScanCoordinator::dataVersionChanged, this, [this] { load(); });

    refresh();
    load();
}

std::vector<FolderItem> LargestFoldersView::chartSource(const std::vector<FolderItem>& roots, bool hasFocus,
                                                        const std::vector<FolderItem>* firstRootChildren)
{
    if (roots.empty())
        return {};
    if (!hasFocus && roots.size() >= 2)
        return roots;
    return firstRootChildren ? *firstRootChildren : std::vector<FolderItem>{};
}

std::vector<SizeBarItem> LargestFoldersView::chartItems(const std::vector<FolderItem>& source, const QColor& accent)
{
    std::vector<SizeBarItem> items;
    for (std::size_t i = 0; i < source.size() && i < maximumBars; ++i) {
        const FolderItem& folder = source[i];
        items.push_back({folder.path, folder.parentID ? folder.name : folder.path, folder.totalAllocated,
                         folder.isRestricted ? NamedColor::orange : accent});
    }
    return items;
}

TrashCandidate LargestFoldersView::trashCandidate(const FolderItem& folder)
{
    TrashCandidate candidate;
    candidate.path = folder.path;
    candidate.name = Paths::lastComponent(folder.path);
    candidate.size = folder.totalAllocated;
    candidate.isDirectory = true;
    candidate.note = stdstr(LocaleText::count(folder.fileCount, QStringLiteral("file"), QStringLiteral("files")) +
                            QStringLiteral(" in ") +
                            LocaleText::count(folder.folderCount, QStringLiteral("folder"), QStringLiteral("folders")));
    return candidate;
}

std::optional<std::int64_t> LargestFoldersView::selection() const
{
    if (const auto folder = selectedFolder())
        return folder->id;
    return std::nullopt;
}

void LargestFoldersView::setSelection(std::optional<std::int64_t> id)
{
    QItemSelectionModel* selection = treeView_->selectionModel();
    const QModelIndex index = id ? tree_->indexOf(*id) : QModelIndex();
    if (!index.isValid()) {
        selection->clearSelection();
        return;
    }
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
}

std::optional<FolderItem> LargestFoldersView::selectedFolder() const
{
    const QModelIndexList chosen = treeView_->selectionModel()->selectedIndexes();
    if (chosen.isEmpty())
        return std::nullopt;
    // A folder inside a closed one is out of sight, and so not chosen.
    for (QModelIndex above = chosen.first().parent(); above.isValid(); above = above.parent())
        if (!treeView_->isExpanded(above))
            return std::nullopt;
    if (const auto* row = tree_->row(chosen.first()))
        return row->folder;
    return std::nullopt;
}

void LargestFoldersView::openRow(std::int64_t folderID)
{
    const auto* row = tree_->row(tree_->indexOf(folderID));
    if (!row)
        return;
    if (row->folder.isRestricted) {
        if (permissionHelp_)
            permissionHelp_(this);
    } else {
        showContents(row->folder);
    }
}

bool LargestFoldersView::eventFilter(QObject* watched, QEvent* event)
{
    // The splitter has its real height only once shown: a chart turned on before then gets its room then.
    if (watched == split_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show) && chartNeedsRoom_)
        giveChartRoom();
    return QWidget::eventFilter(watched, event);
}

QMenu* LargestFoldersView::folderMenu(const FolderItem& folder, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("Show Contents"), this, [this, folder] { showContents(folder); });
    menu->addAction(CommonText::revealAction(), this,
                    [this, folder] { FinderActions::reveal({folder.path}, model_.desktop()); });
    menu->addAction(QStringLiteral("Copy Path"), this, [this, folder] { model_.desktop().copyText(folder.path); });
    menu->addAction(QStringLiteral("Largest Files in This Folder"), this, [this, folder] { largestFilesIn(folder); });
    menu->addSeparator();
    QAction* trash = menu->addAction(QStringLiteral("Move to Trash\u2026"), this, [this, folder] {
        model_.requestTrash({trashCandidate(folder)});
    });
    // The verdict reads the file system: judged off the main thread, the item stays
    // off until it arrives; a menu closed before then receives nothing.
    trash->setEnabled(false);
    auto* verdict = new LatestLoad(menu);
    verdict->start(
        [path = folder.path] {
            return SecurityUtils::evaluate(path, SystemPaths::homeDirectory(), SecurityUtils::appOwnedPaths(), true);
        },
        [menu, trash](PathSafety safety) {
            trash->setEnabled(!safety.isProtected());
            if (safety.isProtected())
                menu->addAction(qstr(safety.reason()))->setEnabled(false);
        });
    return menu;
}

void LargestFoldersView::showContents(const FolderItem& folder)
{
    model_.setLargestFoldersFocus(folder.path);
}

void LargestFoldersView::largestFilesIn(const FolderItem& folder)
{
    model_.setLargestFilesCategory(std::nullopt);
    // The subtree filter takes the path whole and byte for byte, whatever it holds.
    const std::string filter = SearchParser::subtreeFilter(folder.path);
    AppModel& model = model_;
    model.setSelection(SidebarItem::search);
    model.setSearchText(filter);
}

void LargestFoldersView::load()
{
    const std::string key = model_.largestFoldersFocus().value_or("") + "|" + std::to_string(model_.scan().dataVersion());
    if (key == loadKey_)
        return;
    loadKey_ = key;
    if (const auto& database = model_.database())
        tree_->load(database, model_.largestFoldersFocus());
}

void LargestFoldersView::refresh()
{
    breadcrumbs_->setPath(tree_->focusPath());
    const bool placeholder = tree_->rowCount() == 0 && !tree_->isLoading();
    pages_->setCurrentIndex(placeholder ? 0 : 1);
    busy_->setVisible(tree_->isLoading());
    centreBusyIndicator();
    revealButton_->setVisible(selectedFolder().has_value());
    refreshChart();
}

void LargestFoldersView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    centreBusyIndicator();
}

void LargestFoldersView::centreBusyIndicator()
{
    busy_->move((width() - busy_->width()) / 2, (height() - busy_->height()) / 2);
    busy_->raise();
}

void LargestFoldersView::refreshChart()
{
    const bool shown = chartToggle_->isChecked() && !tree_->roots().empty();
    const bool appearing = shown && chartPane_->isHidden();
    chartPane_->setVisible(shown);
    if (!shown)
        return;
    const auto& roots = tree_->roots();
    const auto children = tree_->cachedChildren(roots[0].id);
    chart_->setItems(chartItems(chartSource(roots, tree_->focusPath().has_value(), children ? &*children : nullptr),
                                accentColor()));
    if (appearing) {
        chartNeedsRoom_ = true;
        giveChartRoom();
    }
}

void LargestFoldersView::giveChartRoom()
{
    if (!split_->isVisible() || split_->height() <= 0)
        return;
    chartNeedsRoom_ = false;
    // Room for all of its bars where the screen allows, the list keeping the rest.
    const int total = split_->height();
    const int wanted = chartPane_->wholeHeight() + 4;
    const int chart = std::clamp(wanted, chartPane_->minimumHeight(),
                                 std::max(chartPane_->minimumHeight(), total - treeView_->minimumHeight()));
    split_->setSizes({chart, std::max(total - chart, treeView_->minimumHeight())});
}

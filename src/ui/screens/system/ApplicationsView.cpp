#include "ui/screens/system/ApplicationsView.h"

#include "analysis/ByteFormatter.h"
#include "app/AppModel.h"
#include "app/ApplicationsStore.h"
#include "app/QtText.h"
#include "app/SettingsKey.h"
#include "app/SystemMonitorStore.h"
#include "app/UserDefaults.h"
#include "platform/DesktopServices.h"
#include "scanning/FinderActions.h"
#include "ui/components/CommonText.h"
#include "ui/components/RowSelection.h"
#include "ui/components/EmptyStateView.h"
#include "ui/components/LocaleText.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/SizeBarChart.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/system/AppDetailView.h"
#include "ui/screens/system/ApplicationsTableModel.h"
#include "ui/screens/system/ColumnWidths.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The name takes the spare width; the others follow what they hold, Debian
// versions with an epoch and a revision ("1:2.38.1-5+deb12u1") included.
const std::vector<ColumnWidths::Column> columns = {
    {130, 200, 320}, {50, 80, 220}, {60, 120, 200}, {62, 80, 100}, {70, 85, 100}, {50, 65, 80}, {64, 84, 100}, {60, 90, 140},
};

} // namespace

ApplicationsView::ApplicationsView(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), rows_(new ApplicationsTableModel(this))
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    // Toolbar
    auto* toolbar = new QHBoxLayout;
    toolbar->setContentsMargins(12, 6, 12, 6);
    toolbar->addWidget(makeScreenTitle(QStringLiteral("Applications"), this));
    toolbar->addStretch(1);
    chartToggle_ = toolbarToggle(QStringLiteral("Size Chart"), "chart.bar.xaxis", this, QStringLiteral("Size Chart"));
    refresh_ = toolbarButton(QStringLiteral("Refresh"), "arrow.clockwise", this, QStringLiteral("Refresh"));
    inspectorToggle_ = toolbarToggle(QStringLiteral("Details"), "sidebar.trailing", this, QStringLiteral("Details"));
    toolbar->addWidget(chartToggle_);
    toolbar->addWidget(refresh_);
    toolbar->addWidget(inspectorToggle_);
    outer->addLayout(toolbar);

    split_ = new QSplitter(Qt::Horizontal, this);
    outer->addWidget(split_, 1);
    auto* main = new QWidget(split_);
    auto* column = new QVBoxLayout(main);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Banner
    if (!UserDefaults::standard().boolValue(SettingsKey::hideAppSizeExplanation)) {
        banner_ = new QFrame(main);
        banner_->setObjectName(QStringLiteral("explanationBanner"));
        banner_->setAutoFillBackground(true);
        QPalette tinted = banner_->palette();
        QColor tint = NamedColor::blue;
        tint.setAlphaF(0.08);
        tinted.setColor(QPalette::Window, tint);
        banner_->setPalette(tinted);
        banner_->setStyleSheet(QStringLiteral("#explanationBanner { background: rgba(0, 122, 255, 20); }"));
        auto* box = new QHBoxLayout(banner_);
        box->setContentsMargins(12, 6, 12, 6);
        box->setSpacing(10);
        auto* icon = new QLabel(banner_);
        icon->setPixmap(SymbolIcons::pixmap("info.circle.fill", 16, NamedColor::blue));
        box->addWidget(icon, 0, Qt::AlignTop);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(2);
        auto* heading = new QLabel(QStringLiteral("App Size and RAM are different things."), banner_);
        applyTextStyle(heading, TextStyle::subheadline, QFont::DemiBold);
        // Both lines wrap: in a narrow window they take the lines they need, never more width.
        heading->setWordWrap(true);
        heading->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        texts->addWidget(heading);
        auto* body = new QLabel(QStringLiteral("<b>App Size</b> = disk space of the app's installed files. <b>RAM</b> = memory "
                                               "its running processes use right now."),
                                banner_);
        body->setTextFormat(Qt::RichText);
        body->setWordWrap(true);
        body->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        applyTextStyle(body, TextStyle::caption);
        applyTextColor(body, textColor(TextEmphasis::secondary));
        texts->addWidget(body);
        box->addLayout(texts, 1);
        auto* hide = new QToolButton(banner_);
        hide->setObjectName(QStringLiteral("hideBanner"));
        hide->setIcon(SymbolIcons::icon("xmark"));
        hide->setAutoRaise(true);
        hide->setToolTip(QStringLiteral("Hide"));
        connect(hide, &QToolButton::clicked, this, &ApplicationsView::hideBanner);
        box->addWidget(hide, 0, Qt::AlignTop);
        column->addWidget(banner_);
    }

    // Filter bar
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(12, 6, 12, 6);
    filterField_ = new QLineEdit(main);
    filterField_->setPlaceholderText(QStringLiteral("Filter"));
    filterField_->setMinimumWidth(100);
    filterField_->setMaximumWidth(200);
    bar->addWidget(filterField_);
    systemApps_ = new QCheckBox(QStringLiteral("System apps"), main);
    systemApps_->setChecked(true);
    systemApps_->setToolTip(QStringLiteral("Include apps that come with the system"));
    bar->addWidget(systemApps_);
    bar->addStretch(1);
    sizing_ = new QProgressBar(main);
    sizing_->setFixedWidth(70);
    sizing_->setTextVisible(false);
    sizing_->setToolTip(QStringLiteral("Measuring app sizes\u2026"));
    bar->addWidget(sizing_);
    count_ = new QLabel(main);
    applyTextColor(count_, textColor(TextEmphasis::secondary));
    bar->addWidget(count_);
    column->addLayout(bar);
    auto* divider = new QFrame(main);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    column->addWidget(divider);

    auto* vertical = new QSplitter(Qt::Vertical, main);
    chart_ = new SizeBarChart({}, [this](const SizeBarItem& item) { setSelection(item.id); }, vertical);
    chart_->setContentsMargins(16, 16, 16, 16);
    chart_->setMinimumHeight(160);
    chart_->hide();
    table_ = new QTableView(vertical);
    table_->setModel(rows_);
    table_->setMinimumHeight(240);
    setUpRowTable(*table_, QAbstractItemView::SingleSelection);
    keepCurrentInFirstColumn(*table_);
    table_->setSortingEnabled(true);
    table_->sortByColumn(static_cast<int>(AppRow::Column::size), Qt::DescendingOrder);
    table_->setIconSize(QSize(18, 18));
    column->addWidget(vertical, 1);

    inspector_ = new QStackedWidget(split_);
    inspector_->setMinimumWidth(280);
    inspector_->setMaximumWidth(420);
    noSelection_ = new EmptyStateView(QStringLiteral("square.grid.2x2"), QStringLiteral("No Selection"),
                                      QStringLiteral("Select an app to see its details and storage breakdown."),
                                      inspector_);
    inspector_->addWidget(noSelection_);
    inspector_->hide();
    // Dragged to nothing, the panel would be open with no width: the toggle would then seem to do nothing.
    split_->setCollapsible(0, false);
    split_->setCollapsible(1, false);
    split_->setStretchFactor(0, 1);
    split_->setStretchFactor(1, 0);

    auto* overlay = new QLabel(QStringLiteral("Finding applications\u2026"), this);
    overlay->setAlignment(Qt::AlignCenter);
    overlay_ = overlay;
    overlay_->hide();

    connect(filterField_, &QLineEdit::textChanged, this, &ApplicationsView::setFilter);
    connect(systemApps_, &QCheckBox::toggled, this, &ApplicationsView::setShowSystemApps);
    connect(chartToggle_, &QToolButton::toggled, this, &ApplicationsView::setShowChart);
    connect(inspectorToggle_, &QToolButton::toggled, this, &ApplicationsView::setShowInspector);
    connect(refresh_, &QToolButton::clicked, this, [this] { model_.apps().reload(model_.database()); });
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &ApplicationsView::selectionChanged);
    connect(table_, &QTableView::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu* menu = contextMenu(table_->indexAt(at).row(), this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(table_->viewport()->mapToGlobal(at));
    });
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) { revealRow(index.row()); });

    auto& apps = model_.apps();
    for (auto signal : {&ApplicationsStore::appsChanged, &ApplicationsStore::bundleSizesChanged,
                        &ApplicationsStore::isLoadingChanged, &ApplicationsStore::sizingProgressChanged})
        connect(&apps, signal, this, &ApplicationsView::refresh);
    connect(&model_.monitor(), &SystemMonitorStore::processesChanged, this, &ApplicationsView::refresh);

    model_.monitor().subscribe(true);
    if (const auto arriving = model_.selectedApplicationPath()) {
        model_.setSelectedApplicationPath(std::nullopt);
        arriving_ = arriving;
        setShowInspector(true);
    }
    if (!apps.loaded() && !apps.isLoading())
        apps.reload(model_.database());
    widths_ = std::make_unique<ColumnWidths>(*table_, columns, static_cast<int>(AppRow::Column::application));
    connect(table_->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this, &ApplicationsView::fitColumns);
    refresh();
}

ApplicationsView::~ApplicationsView() { model_.monitor().unsubscribe(true); }

const std::vector<AppRow>& ApplicationsView::displayedRows() const { return rows_->rows(); }

std::optional<std::string> ApplicationsView::selection() const
{
    const QModelIndexList selected = table_->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return std::nullopt;
    return rows_->rowAt(selected.front().row()).id();
}

void ApplicationsView::setSelection(const std::optional<std::string>& id)
{
    const auto row = id ? rows_->rowOf(*id) : std::nullopt;
    if (!row) {
        table_->clearSelection();
        return;
    }
    const QModelIndex index = rows_->index(*row, 0);
    table_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    table_->scrollTo(index);
}

void ApplicationsView::selectionChanged()
{
    // Only a change to an application opens the panel; a cleared selection leaves it as it is.
    if (selection()) {
        arriving_.reset();
        setShowInspector(true);
    }
    updateInspector();
}

void ApplicationsView::adoptArrival()
{
    if (!arriving_)
        return;
    const auto& rows = rows_->rows();
    const auto found = std::find_if(rows.begin(), rows.end(), [&](const AppRow& row) { return row.info.path == *arriving_; });
    if (found != rows.end()) {
        setSelection(found->id());
        arriving_.reset();
    } else if (model_.apps().loaded() && !model_.apps().isLoading()) {
        arriving_.reset();
    }
}

void ApplicationsView::setFilter(const QString& filter)
{
    if (filter == filter_)
        return;
    filter_ = filter;
    if (filterField_->text() != filter)
        filterField_->setText(filter);
    refresh();
}

void ApplicationsView::setShowSystemApps(bool show)
{
    showSystemApps_ = show;
    systemApps_->setChecked(show);
    refresh();
}

void ApplicationsView::setShowChart(bool show)
{
    chartToggle_->setChecked(show);
    chart_->setVisible(show);
}

void ApplicationsView::setShowInspector(bool show)
{
    showInspector_ = show;
    inspectorToggle_->setChecked(show);
    if (inspector_->isVisibleTo(this) == show && (!show || split_->sizes().value(1) >= inspector_->minimumWidth()))
        return;
    inspector_->setVisible(show);
    if (show) {
        // Shown again, the panel takes its ideal width whatever the splitter held while it was hidden.
        const int total = std::max(split_->width(), inspector_->minimumWidth() + 1);
        const int panel = std::min(320, total / 2 > inspector_->minimumWidth() ? 320 : inspector_->minimumWidth());
        split_->setSizes({total - panel, panel});
    }
}

QString ApplicationsView::countText(const std::vector<AppRow>& rows)
{
    std::int64_t total = 0;
    for (const auto& row : rows)
        total += row.size.value_or(0);
    return LocaleText::count(static_cast<std::int64_t>(rows.size()), QStringLiteral("app"), QStringLiteral("apps"))
           + QStringLiteral(" \u00b7 ") + qstr(ByteFormatter::string(total));
}

std::vector<SizeBarItem> ApplicationsView::chartItems(const std::vector<AppRow>& rows)
{
    std::vector<AppRow> largest = rows;
    AppRow::sort(largest, AppRow::Column::size, false);
    if (largest.size() > 15)
        largest.resize(15);
    std::vector<SizeBarItem> items;
    for (const auto& row : largest)
        items.push_back({row.id(), row.info.name, row.size.value_or(0), NamedColor::purple});
    return items;
}

const ApplicationInfo* ApplicationsView::menuTarget(const std::vector<AppRow>& rows, int row)
{
    if (row < 0 || row >= static_cast<int>(rows.size()))
        return nullptr;
    return &rows[static_cast<std::size_t>(row)].info;
}

QMenu* ApplicationsView::contextMenu(int row, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    const ApplicationInfo* target = menuTarget(rows_->rows(), row);
    if (!target)
        return menu;
    selectForContextMenu(*table_, table_->model()->index(row, 0));
    // Copies: a new sample may replace the rows while the menu is open.
    const ApplicationInfo app = *target;
    menu->addAction(QStringLiteral("Open"), this, [this, app] { AppDetailView::openApplication(model_, app); });
    menu->addAction(CommonText::revealAction(), this,
                    [this, path = app.path] { FinderActions::reveal({path}, model_.desktop()); });
    menu->addAction(QStringLiteral("Copy Path"), this, [this, path = app.path] { model_.desktop().copyText(path); });
    return menu;
}

void ApplicationsView::revealRow(int row)
{
    if (const ApplicationInfo* app = menuTarget(rows_->rows(), row))
        FinderActions::reveal({app->path}, model_.desktop());
}

void ApplicationsView::refresh()
{
    const auto& apps = model_.apps();
    std::vector<AppRow> next = AppRow::rows(apps.apps(), apps.bundleSizes(), model_.monitor().processes(), filter_,
                                            showSystemApps_);
    // A selected row that leaves the table takes the selection with it; the view
    // would otherwise select its neighbour, another application.
    if (const auto selected = selection();
        selected && std::none_of(next.begin(), next.end(), [&](const AppRow& row) { return row.id() == *selected; }))
        table_->selectionModel()->clear();
    rows_->setRows(std::move(next));
    // Desktop applications are never the system's own: the toggle shows only when it can hide something.
    systemApps_->setVisible(std::any_of(apps.apps().begin(), apps.apps().end(),
                                        [](const ApplicationInfo& app) { return app.isSystemApp; }));
    const auto& rows = rows_->rows();
    count_->setText(countText(rows));
    const auto progress = apps.sizingProgress();
    sizing_->setVisible(progress.done < progress.total);
    sizing_->setRange(0, std::max(progress.total, 1));
    sizing_->setValue(progress.done);
    refresh_->setEnabled(!apps.isLoading());
    chart_->setItems(chartItems(rows));
    overlay_->setVisible(apps.isLoading() && apps.apps().empty());
    overlay_->setGeometry(rect());
    overlay_->raise();
    fitColumns();
    adoptArrival();
    updateInspector();
}

void ApplicationsView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    overlay_->setGeometry(rect());
    fitColumns();
}

void ApplicationsView::fitColumns()
{
    if (widths_)
        widths_->fit();
}

void ApplicationsView::updateInspector()
{
    const auto selected = selection();
    const auto row = selected ? rows_->rowOf(*selected) : std::nullopt;
    if (!row) {
        inspector_->setCurrentWidget(noSelection_);
        return;
    }
    const ApplicationInfo& app = rows_->rowAt(*row).info;
    if (!detail_) {
        detail_ = new AppDetailView(model_, app, inspector_);
        inspector_->addWidget(detail_);
    } else if (!(detail_->application() == app)) {
        detail_->setApplication(app);
    }
    inspector_->setCurrentWidget(detail_);
}

void ApplicationsView::hideBanner()
{
    UserDefaults::standard().setValue(SettingsKey::hideAppSizeExplanation, true);
    if (banner_)
        banner_->hide();
}

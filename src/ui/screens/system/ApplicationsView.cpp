#include "ui/screens/system/ApplicationsView.h"

#include "analysis/ByteFormatter.h"
#include "app/AppModel.h"
#include "app/ApplicationsStore.h"
#include "app/QtText.h"
#include "app/SystemMonitorStore.h"
#include "app/UserDefaults.h"
#include "platform/DesktopServices.h"
#include "scanning/FinderActions.h"
#include "ui/components/EmptyStateView.h"
#include "ui/components/SizeBarChart.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/system/AppDetailView.h"
#include "ui/screens/system/ApplicationsTableModel.h"

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

const QString hideKey = QStringLiteral("hideAppSizeExplanation");

QToolButton* toolbarButton(const QString& title, const char* symbol, bool checkable, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(title);
    button->setToolTip(title);
    button->setIcon(SymbolIcons::icon(symbol));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setCheckable(checkable);
    button->setAutoRaise(true);
    return button;
}

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
    auto* title = new QLabel(QStringLiteral("Applications"), this);
    applyTextStyle(title, TextStyle::title2, QFont::DemiBold);
    toolbar->addWidget(title);
    toolbar->addStretch(1);
    chartToggle_ = toolbarButton(QStringLiteral("Size Chart"), "chart.bar.xaxis", true, this);
    refresh_ = toolbarButton(QStringLiteral("Refresh"), "arrow.clockwise", false, this);
    inspectorToggle_ = toolbarButton(QStringLiteral("Details"), "sidebar.trailing", true, this);
    toolbar->addWidget(chartToggle_);
    toolbar->addWidget(refresh_);
    toolbar->addWidget(inspectorToggle_);
    outer->addLayout(toolbar);

    auto* split = new QSplitter(Qt::Horizontal, this);
    outer->addWidget(split, 1);
    auto* main = new QWidget(split);
    auto* column = new QVBoxLayout(main);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Banner
    if (!UserDefaults::standard().boolValue(hideKey)) {
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
        texts->addWidget(heading);
        auto* body = new QLabel(QStringLiteral("<b>App Size</b> = disk space of the .app bundle. <b>RAM</b> = memory "
                                               "its running processes use right now."),
                                banner_);
        body->setTextFormat(Qt::RichText);
        body->setWordWrap(true);
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
    systemApps_ = new QCheckBox(QStringLiteral("Apple apps"), main);
    systemApps_->setChecked(true);
    systemApps_->setToolTip(QStringLiteral("Include apps that ship with macOS"));
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
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setSortingEnabled(true);
    table_->sortByColumn(static_cast<int>(AppRow::Column::size), Qt::DescendingOrder);
    table_->verticalHeader()->hide();
    table_->setShowGrid(false);
    table_->setAlternatingRowColors(true);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    table_->setIconSize(QSize(18, 18));
    const int widths[] = {200, 80, 120, 80, 85, 65, 84, 90};
    for (int i = 0; i < AppRow::columnCount; ++i)
        table_->setColumnWidth(i, widths[i]);
    table_->horizontalHeader()->setStretchLastSection(true);
    column->addWidget(vertical, 1);

    inspector_ = new QStackedWidget(split);
    inspector_->setMinimumWidth(280);
    inspector_->setMaximumWidth(420);
    noSelection_ = new EmptyStateView(QStringLiteral("square.grid.2x2"), QStringLiteral("No Selection"),
                                      QStringLiteral("Select an app to see its details and storage breakdown."),
                                      inspector_);
    inspector_->addWidget(noSelection_);
    inspector_->hide();
    split->setStretchFactor(0, 1);
    split->setSizes({600, 320});

    auto* overlay = new QLabel(QStringLiteral("Finding applications\u2026"), this);
    overlay->setAlignment(Qt::AlignCenter);
    overlay_ = overlay;
    overlay_->hide();

    connect(filterField_, &QLineEdit::textChanged, this, &ApplicationsView::setFilter);
    connect(systemApps_, &QCheckBox::toggled, this, &ApplicationsView::setShowSystemApps);
    connect(chartToggle_, &QToolButton::toggled, this, &ApplicationsView::setShowChart);
    connect(inspectorToggle_, &QToolButton::toggled, this, &ApplicationsView::setShowInspector);
    connect(refresh_, &QToolButton::clicked, this, [this] { model_.apps().reload(model_.database()); });
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (updatingSelection_ || !current.isValid())
                    return;
                setSelection(rows_->rows()[static_cast<std::size_t>(current.row())].id());
            });
    connect(table_, &QTableView::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu* menu = contextMenu(table_->indexAt(at).row(), this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(table_->viewport()->mapToGlobal(at));
    });
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) { revealRow(index.row()); });

    // Sorting moves rows under the selection.
    connect(rows_, &QAbstractItemModel::layoutChanged, this, &ApplicationsView::syncTableSelection);

    auto& apps = model_.apps();
    for (auto signal : {&ApplicationsStore::appsChanged, &ApplicationsStore::bundleSizesChanged,
                        &ApplicationsStore::isLoadingChanged, &ApplicationsStore::sizingProgressChanged})
        connect(&apps, signal, this, &ApplicationsView::refresh);
    connect(&model_.monitor(), &SystemMonitorStore::processesChanged, this, &ApplicationsView::refresh);

    model_.monitor().subscribe(true);
    if (const auto arriving = model_.selectedApplicationPath()) {
        model_.setSelectedApplicationPath(std::nullopt);
        refresh();
        setSelection(*arriving);
    }
    if (!apps.loaded() && !apps.isLoading())
        apps.reload(model_.database());
    refresh();
}

ApplicationsView::~ApplicationsView() { model_.monitor().unsubscribe(true); }

const std::vector<AppRow>& ApplicationsView::displayedRows() const { return rows_->rows(); }

void ApplicationsView::setSelection(std::optional<std::string> path)
{
    if (path == selection_)
        return;
    selection_ = std::move(path);
    if (selection_)
        setShowInspector(true);
    syncTableSelection();
    updateInspector();
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
    inspector_->setVisible(show);
}

QString ApplicationsView::countText(const std::vector<AppRow>& rows)
{
    std::int64_t total = 0;
    for (const auto& row : rows)
        total += row.size.value_or(0);
    return QString::asprintf("%lld", static_cast<long long>(rows.size())) + QStringLiteral(" apps \u00b7 ")
           + qstr(ByteFormatter::string(total));
}

std::vector<SizeBarItem> ApplicationsView::chartItems(const std::vector<AppRow>& rows)
{
    std::vector<AppRow> largest = rows;
    AppRow::sort(largest, AppRow::Column::size, false);
    if (largest.size() > 15)
        largest.resize(15);
    std::vector<SizeBarItem> items;
    for (const auto& row : largest)
        items.push_back({row.info.path, row.info.name, row.size.value_or(0), NamedColor::purple});
    return items;
}

std::optional<std::string> ApplicationsView::menuTarget(const std::vector<AppRow>& rows, int row)
{
    if (row < 0 || row >= static_cast<int>(rows.size()))
        return std::nullopt;
    return rows[static_cast<std::size_t>(row)].id();
}

QMenu* ApplicationsView::contextMenu(int row, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    const auto path = menuTarget(rows_->rows(), row);
    if (!path)
        return menu;
    const ApplicationInfo app = rows_->rows()[static_cast<std::size_t>(row)].info;
    menu->addAction(QStringLiteral("Open"), this, [this, app] { AppDetailView::openApplication(model_, app); });
    menu->addAction(QStringLiteral("Reveal in Finder"), this,
                    [this, path = *path] { FinderActions::reveal({path}, model_.desktop()); });
    menu->addAction(QStringLiteral("Copy Path"), this, [this, path = *path] { model_.desktop().copyText(path); });
    return menu;
}

void ApplicationsView::revealRow(int row)
{
    if (const auto path = menuTarget(rows_->rows(), row))
        FinderActions::reveal({*path}, model_.desktop());
}

void ApplicationsView::refresh()
{
    const auto& apps = model_.apps();
    rows_->setRows(AppRow::rows(apps.apps(), apps.bundleSizes(), model_.monitor().processes(), filter_, showSystemApps_));
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
    syncTableSelection();
    updateInspector();
}

void ApplicationsView::syncTableSelection()
{
    updatingSelection_ = true;
    if (const auto row = selection_ ? rows_->rowOf(*selection_) : std::nullopt)
        table_->selectRow(*row);
    else
        table_->clearSelection();
    updatingSelection_ = false;
}

void ApplicationsView::updateInspector()
{
    const auto row = selection_ ? rows_->rowOf(*selection_) : std::nullopt;
    if (!row) {
        inspector_->setCurrentWidget(noSelection_);
        return;
    }
    const ApplicationInfo& app = rows_->rows()[static_cast<std::size_t>(*row)].info;
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
    UserDefaults::standard().setValue(hideKey, true);
    if (banner_)
        banner_->hide();
}

#include "ui/screens/overview/DashboardView.h"

#include "analysis/ByteFormatter.h"
#include "analysis/HomeAbbreviation.h"
#include "app/AppModel.h"
#include "app/ApplicationsStore.h"
#include "app/QtText.h"
#include "app/ScanCoordinator.h"
#include "ui/components/CommonText.h"
#include "ui/components/LocaleText.h"
#include "ui/components/MetricCard.h"
#include "ui/components/PrivacyNotice.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/SectionCard.h"
#include "ui/components/StorageTrendChart.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/components/AdaptiveGrid.h"
#include "ui/screens/overview/CategoryOverview.h"
#include "ui/screens/overview/DiskOverviewCard.h"
#include "ui/screens/overview/OverviewRow.h"
#include "ui/screens/overview/RecentFilesList.h"
#include "ui/screens/overview/ScanProgressView.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <functional>

namespace {

using Kind = ScanPhase::Kind;

const QString dash = QStringLiteral("—");

QLabel* warningLabel(const QString& objectName)
{
    auto* label = new QLabel;
    label->setObjectName(objectName);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    applyTextColor(label, NamedColor::orange);
    return label;
}

// The warning symbol sits in a row of its own before the text.
QWidget* withWarningSymbol(QLabel* text)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* icon = new QLabel;
    icon->setPixmap(SymbolIcons::pixmap("exclamationmark.triangle.fill", 16, NamedColor::orange));
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addWidget(text, 1);
    return row;
}

QWidget* gettingStarted(AppModel& model)
{
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    auto* about = new QLabel(
        QStringLiteral("Kestrelmoor scans the folders on your computer to show exactly what uses space. The first scan may "
                       "take a few minutes; later scans only update what changed."));
    about->setWordWrap(true);
    column->addWidget(about);
    auto* permission = new QLabel(
        QStringLiteral("Folders your account can't read are measured as restricted. Storage Access shows which "
                       "places those are on this computer."));
    permission->setWordWrap(true);
    applyTextColor(permission, textColor(TextEmphasis::secondary));
    column->addWidget(permission);

    auto* buttons = new QHBoxLayout;
    auto* scan = new QPushButton(CommonText::scanAction());
    scan->setObjectName(QStringLiteral("scanButton"));
    scan->setDefault(true);
    QObject::connect(scan, &QPushButton::clicked, content, [&model] { model.scan().startScan(false); });
    buttons->addWidget(scan);
    auto* access = new QPushButton(QStringLiteral("Storage Access…"));
    access->setObjectName(QStringLiteral("storageAccessButton"));
    access->setAutoDefault(false);
    QObject::connect(access, &QPushButton::clicked, content, [&model] { model.setSelection(SidebarItem::permissions); });
    buttons->addWidget(access);
    buttons->addStretch(1);
    column->addLayout(buttons);

    auto* card = new SectionCard(QStringLiteral("Get Started"), QStringLiteral("sparkle.magnifyingglass"), content);
    card->setObjectName(QStringLiteral("getStarted"));
    return card;
}

double nowSeconds()
{
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

} // namespace

DashboardView::DashboardView(AppModel& model, QWidget* parent) : QScrollArea(parent), model_(model)
{
    setObjectName(QStringLiteral("dashboard"));
    QVBoxLayout* column = makeScrollPage(this);
    column->addWidget(makeScreenTitle(QStringLiteral("Dashboard")));

    if (const auto& said = model_.databaseError() ? model_.databaseError() : model_.databaseNotice()) {
        QLabel* warning = warningLabel(QStringLiteral("databaseWarning"));
        warning->setText(qstr(*said));
        column->addWidget(withWarningSymbol(warning));
    }
    failure_ = warningLabel(QStringLiteral("scanFailure"));
    QWidget* failureRow = withWarningSymbol(failure_);
    failureRow->setObjectName(QStringLiteral("scanFailureRow"));
    column->addWidget(failureRow);

    progress_ = new ScanProgressView(model_);
    column->addWidget(progress_);
    const StorageSummary& summary = model_.scan().summary();
    disk_ = new DiskOverviewCard(summary);
    column->addWidget(disk_);

    auto* grid = new AdaptiveGrid(150, 10, 12, Qt::Alignment());
    grid->setObjectName(QStringLiteral("metricGrid"));
    const QString symbols[] = {"doc.on.doc", "folder", "square.grid.2x2", "doc.badge.ellipsis",
                               "folder.badge.gearshape"};
    const QColor tints[] = {accentColor(), NamedColor::blue, NamedColor::purple, NamedColor::orange,
                            NamedColor::teal};
    AppModel& appModel = model_;
    const std::function<void()> actions[] = {
        {},
        {},
        [&appModel] { appModel.setSelection(SidebarItem::applications); },
        [&appModel] {
            appModel.setLargestFilesCategory(std::nullopt);
            appModel.setSelection(SidebarItem::largestFiles);
        },
        [this] { openLargestFolder(); },
    };
    const std::vector<Tile> shown = tiles(summary, applicationCount());
    for (std::size_t index = 0; index < shown.size(); ++index) {
        auto* tile = new MetricCard(shown[index].title, shown[index].value, shown[index].detail, symbols[index],
                                    tints[index], actions[index]);
        tile->setObjectName(QStringLiteral("tile"));
        grid->addCell(tile);
        tiles_.push_back(tile);
    }
    column->addWidget(grid);

    categories_ = new CategoryOverview(model_, summary, 10);
    auto* categoryCard = new SectionCard(QStringLiteral("Storage by Category"), QStringLiteral("chart.pie"), categories_);
    categoryCard->setObjectName(QStringLiteral("categoryCard"));
    recent_ = new RecentFilesList(model_, summary.recentLargeFiles, nowSeconds());
    auto* recentCard = new SectionCard(QStringLiteral("Recently Modified Large Files"),
                                       QStringLiteral("clock.arrow.circlepath"), recent_);
    recentCard->setObjectName(QStringLiteral("recentCard"));
    overview_ = new OverviewRow(categoryCard, 440, recentCard, 300, 12);
    column->addWidget(overview_);

    auto* trendContent = new QWidget;
    auto* trendColumn = new QVBoxLayout(trendContent);
    trendColumn->setContentsMargins(0, 0, 0, 0);
    trendChart_ = new StorageTrendChart(summary.history);
    trendChart_->setObjectName(QStringLiteral("trendChart"));
    trendChart_->setFixedHeight(160);
    trendChart_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    trendHint_ = new QLabel(QStringLiteral("A trend appears after two or more completed scans. Each scan records how "
                                           "much of your disk was used."));
    trendHint_->setObjectName(QStringLiteral("trendHint"));
    trendHint_->setWordWrap(true);
    applyTextColor(trendHint_, textColor(TextEmphasis::secondary));
    trendColumn->addWidget(trendChart_);
    trendColumn->addWidget(trendHint_);
    trend_ = new SectionCard(QStringLiteral("Storage Trend"), QStringLiteral("chart.xyaxis.line"), trendContent);
    trend_->setObjectName(QStringLiteral("trendCard"));
    column->addWidget(trend_);

    gettingStarted_ = gettingStarted(model_);
    column->addWidget(gettingStarted_);
    column->addSpacing(4);
    column->addWidget(new PrivacyNotice(false));
    // Height beyond the cards' own goes below them, never into them.
    column->addStretch(1);

    ScanCoordinator& scan = model_.scan();
    connect(&scan, &ScanCoordinator::progressChanged, this, &DashboardView::refreshProgress);
    connect(&scan, &ScanCoordinator::errorMessageChanged, this, &DashboardView::refreshProgress);
    connect(&scan, &ScanCoordinator::isLoadedChanged, this, &DashboardView::refreshSummary);
    connect(&scan, &ScanCoordinator::summaryChanged, this, &DashboardView::refreshSummary);
    ApplicationsStore& apps = model_.apps();
    for (auto signal : {&ApplicationsStore::appsChanged, &ApplicationsStore::isLoadingChanged,
                        &ApplicationsStore::loadedChanged})
        connect(&apps, signal, this, &DashboardView::refreshTiles);
    refreshSummary();
    // Each showing of the screen starts from a fresh summary; it arrives through summaryChanged.
    scan.refreshSummary();
}

bool DashboardView::showsProgress(const ScanPhase& phase)
{
    return ScanCoordinator::isActive(phase) || phase.kind() == Kind::cancelled;
}

std::optional<QString> DashboardView::failureText(const ScanPhase& phase,
                                                  const std::optional<std::string>& errorMessage)
{
    if (phase.kind() != Kind::failed)
        return std::nullopt;
    if (errorMessage)
        return qstr(*errorMessage);
    return QStringLiteral("The scan failed: ") + qstr(phase.message());
}

DashboardView::Lower DashboardView::lower(const StorageSummary& summary, const ScanPhase& phase, bool loaded)
{
    if (summary.totals.fileCount > 0)
        return Lower::overview;
    return ScanCoordinator::isActive(phase) || !loaded ? Lower::nothing : Lower::scanRequired;
}

std::vector<DashboardView::Tile> DashboardView::tiles(const StorageSummary& summary,
                                                      std::optional<std::size_t> applications)
{
    const bool scanned = summary.totals.fileCount > 0;
    std::vector<Tile> result;
    result.push_back({QStringLiteral("Files"), scanned ? LocaleText::integer(summary.totals.fileCount) : dash,
                      scanned ? std::nullopt : std::optional<QString>(QStringLiteral("Run a scan"))});
    std::optional<QString> restricted;
    if (summary.totals.restrictedFolders > 0)
        restricted = LocaleText::integer(summary.totals.restrictedFolders) + QStringLiteral(" access restricted");
    result.push_back(
        {QStringLiteral("Folders"), scanned ? LocaleText::integer(summary.totals.folderCount) : dash, restricted});
    result.push_back({QStringLiteral("Applications"),
                      applications ? LocaleText::integer(static_cast<std::int64_t>(*applications))
                                   : QStringLiteral("…"),
                      QStringLiteral("Installed applications")});
    if (summary.largestFile)
        result.push_back({QStringLiteral("Largest File"), qstr(ByteFormatter::string(summary.largestFile->allocatedSize)),
                          qstr(summary.largestFile->name)});
    else
        result.push_back({QStringLiteral("Largest File"), dash, std::nullopt});
    if (summary.largestFolder)
        result.push_back({QStringLiteral("Largest Folder"),
                          qstr(ByteFormatter::string(summary.largestFolder->totalAllocated)),
                          qstr(abbreviatingHome(summary.largestFolder->path))});
    else
        result.push_back({QStringLiteral("Largest Folder"), dash, std::nullopt});
    return result;
}

std::optional<std::size_t> DashboardView::applicationCount() const
{
    const ApplicationsStore& apps = model_.apps();
    // Before the first list arrives there is no count to show either.
    if (apps.isLoading() || !apps.loaded())
        return std::nullopt;
    return apps.apps().size();
}

void DashboardView::refreshProgress()
{
    const ScanCoordinator& scan = model_.scan();
    const ScanPhase& phase = scan.progress().phase;
    const std::optional<QString> failure = failureText(phase, scan.errorMessage());
    failure_->setText(failure.value_or(QString()));
    failure_->parentWidget()->setVisible(failure.has_value());
    progress_->setVisible(showsProgress(phase));

    const Lower part = lower(scan.summary(), phase, scan.isLoaded());
    overview_->setVisible(part == Lower::overview);
    trend_->setVisible(part == Lower::overview);
    gettingStarted_->setVisible(part == Lower::scanRequired);
}

void DashboardView::refreshTiles()
{
    const std::vector<Tile> shown = tiles(model_.scan().summary(), applicationCount());
    for (std::size_t index = 0; index < shown.size() && index < tiles_.size(); ++index) {
        tiles_[index]->setValue(shown[index].value);
        tiles_[index]->setDetail(shown[index].detail);
    }
}

void DashboardView::refreshSummary()
{
    const StorageSummary& summary = model_.scan().summary();
    disk_->setSummary(summary, model_.scan().isLoaded());
    refreshTiles();
    categories_->setSummary(summary);
    recent_->setFiles(summary.recentLargeFiles, nowSeconds());
    trendChart_->setHistory(summary.history);
    const bool hasTrend = summary.history.size() >= 2;
    trendChart_->setVisible(hasTrend);
    trendHint_->setVisible(!hasTrend);
    refreshProgress();
}

void DashboardView::openLargestFolder()
{
    const std::optional<FolderItem>& folder = model_.scan().summary().largestFolder;
    if (!folder)
        return;
    // Selecting the screen ends this one: the path is taken first.
    const std::string path = folder->path;
    AppModel& model = model_;
    model.setLargestFoldersFocus(path);
    model.setSelection(SidebarItem::largestFolders);
}

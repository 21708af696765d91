#include "ui/screens/overview/DashboardView.h"

#include "analysis/ByteFormatter.h"
#include "analysis/HomeAbbreviation.h"
#include "app/AppModel.h"
#include "app/ApplicationsStore.h"
#include "app/QtText.h"
#include "app/ScanCoordinator.h"
#include "ui/components/LocaleText.h"
#include "ui/components/MetricCard.h"
#include "ui/components/PrivacyNotice.h"
#include "ui/components/SectionCard.h"
#include "ui/components/StorageTrendChart.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/screens/overview/AdaptiveGrid.h"
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

QWidget* trendCard(const StorageSummary& summary)
{
    QWidget* content = nullptr;
    if (summary.history.size() >= 2) {
        auto* chart = new StorageTrendChart(summary.history);
        chart->setObjectName(QStringLiteral("trendChart"));
        chart->setFixedHeight(160);
        content = chart;
    } else {
        auto* hint = new QLabel(QStringLiteral("A trend appears after two or more completed scans. Each scan "
                                               "records how much of your disk was used."));
        hint->setObjectName(QStringLiteral("trendHint"));
        hint->setWordWrap(true);
        applyTextColor(hint, textColor(TextEmphasis::secondary));
        content = hint;
    }
    content->setSizePolicy(QSizePolicy::Expanding, content->sizePolicy().verticalPolicy());
    return new SectionCard(QStringLiteral("Storage Trend"), QStringLiteral("chart.xyaxis.line"), content);
}

QWidget* gettingStarted(AppModel& model)
{
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    auto* about = new QLabel(
        QStringLiteral("Kestrelmoor scans the folders on your Mac to show exactly what uses space. The first scan may "
                       "take a few minutes; later scans only update what changed."));
    about->setWordWrap(true);
    column->addWidget(about);
    auto* permission = new QLabel(
        QStringLiteral("macOS may ask for permission to read Documents, Desktop and Downloads. For a complete picture "
                       "(Mail, Messages, Safari, backups), grant Full Disk Access."));
    permission->setWordWrap(true);
    applyTextColor(permission, textColor(TextEmphasis::secondary));
    column->addWidget(permission);

    auto* buttons = new QHBoxLayout;
    auto* scan = new QPushButton(QStringLiteral("Scan Mac"));
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

} // namespace

DashboardView::DashboardView(AppModel& model, QWidget* parent) : QScrollArea(parent), model_(model)
{
    setObjectName(QStringLiteral("dashboard"));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    auto* page = new QWidget;
    column_ = new QVBoxLayout(page);
    column_->setContentsMargins(16, 16, 16, 16);
    column_->setSpacing(16);
    auto* heading = new QLabel(QStringLiteral("Dashboard"));
    heading->setObjectName(QStringLiteral("screenTitle"));
    applyTextStyle(heading, TextStyle::title2, QFont::DemiBold);
    column_->addWidget(heading);

    if (model_.databaseError()) {
        QLabel* warning = warningLabel(QStringLiteral("databaseWarning"));
        warning->setText(qstr(*model_.databaseError()));
        column_->addWidget(withWarningSymbol(warning));
    }
    failure_ = warningLabel(QStringLiteral("scanFailure"));
    QWidget* failureRow = withWarningSymbol(failure_);
    failureRow->setObjectName(QStringLiteral("scanFailureRow"));
    column_->addWidget(failureRow);
    column_->addSpacing(4);
    column_->addWidget(new PrivacyNotice(false));
    column_->addStretch(1);
    setWidget(page);

    ScanCoordinator& scan = model_.scan();
    connect(&scan, &ScanCoordinator::progressChanged, this, &DashboardView::refreshProgress);
    connect(&scan, &ScanCoordinator::errorMessageChanged, this, &DashboardView::refreshProgress);
    connect(&scan, &ScanCoordinator::summaryChanged, this, &DashboardView::rebuildSummary);
    ApplicationsStore& apps = model_.apps();
    // One listing changes all three; only the tile's count matters here.
    const auto countMayHaveChanged = [this] {
        if (applicationCount() != shownApplicationCount_) rebuildSummary();
    };
    connect(&apps, &ApplicationsStore::appsChanged, this, countMayHaveChanged);
    connect(&apps, &ApplicationsStore::isLoadingChanged, this, countMayHaveChanged);
    connect(&apps, &ApplicationsStore::loadedChanged, this, countMayHaveChanged);
    rebuildSummary();
    refreshProgress();
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

DashboardView::Lower DashboardView::lower(const StorageSummary& summary, const ScanPhase& phase)
{
    if (summary.totals.fileCount > 0)
        return Lower::overview;
    return ScanCoordinator::isActive(phase) ? Lower::nothing : Lower::scanRequired;
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
                      QStringLiteral("Installed .app bundles")});
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

    const bool shows = showsProgress(phase);
    if (shows && !progress_) {
        progress_ = new ScanProgressView(model_);
        // Right after the warnings, where the failure text also stands.
        column_->insertWidget(column_->indexOf(failure_->parentWidget()) + 1, progress_);
        progress_->show();
    } else if (!shows && progress_) {
        delete progress_;
        progress_ = nullptr;
    }
    if (shownLower_ != lower(scan.summary(), phase))
        rebuildSummary();
}

void DashboardView::rebuildSummary()
{
    const StorageSummary summary = model_.scan().summary();
    const ScanPhase& phase = model_.scan().progress().phase;
    QWidget* fresh = new QWidget;
    fresh->setObjectName(QStringLiteral("summaryPart"));
    auto* column = new QVBoxLayout(fresh);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(16);
    column->addWidget(new DiskOverviewCard(summary));

    auto* grid = new AdaptiveGrid(150, 10, 12, Qt::Alignment());
    grid->setObjectName(QStringLiteral("metricGrid"));
    shownApplicationCount_ = applicationCount();
    const std::vector<Tile> shown = tiles(summary, shownApplicationCount_);
    const QString symbols[] = {"doc.on.doc", "folder", "square.grid.2x2", "doc.badge.ellipsis",
                               "folder.badge.gearshape"};
    const QColor tints[] = {accentColor(), NamedColor::blue, NamedColor::purple, NamedColor::orange,
                            NamedColor::teal};
    AppModel& model = model_;
    const std::optional<FolderItem> largestFolder = summary.largestFolder;
    const std::function<void()> actions[] = {
        {},
        {},
        [&model] { model.setSelection(SidebarItem::applications); },
        [&model] {
            model.setLargestFilesCategory(std::nullopt);
            model.setSelection(SidebarItem::largestFiles);
        },
        [&model, largestFolder] {
            if (!largestFolder)
                return;
            model.setLargestFoldersFocus(largestFolder->path);
            model.setSelection(SidebarItem::largestFolders);
        },
    };
    for (std::size_t index = 0; index < shown.size(); ++index) {
        auto* tile = new MetricCard(shown[index].title, shown[index].value, shown[index].detail, symbols[index],
                                    tints[index], actions[index]);
        tile->setObjectName(QStringLiteral("tile"));
        grid->addCell(tile);
    }
    column->addWidget(grid);

    const Lower part = lower(summary, phase);
    if (part == Lower::overview) {
        auto* categories = new SectionCard(QStringLiteral("Storage by Category"), QStringLiteral("chart.pie"),
                                           new CategoryOverview(model_, summary, 10));
        auto* recent = new SectionCard(
            QStringLiteral("Recently Modified Large Files"), QStringLiteral("clock.arrow.circlepath"),
            new RecentFilesList(model_, summary.recentLargeFiles,
                                static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0));
        categories->setObjectName(QStringLiteral("categoryCard"));
        recent->setObjectName(QStringLiteral("recentCard"));
        column->addWidget(new OverviewRow(categories, 440, recent, 300, 12));
        column->addWidget(trendCard(summary));
    } else if (part == Lower::scanRequired) {
        column->addWidget(gettingStarted(model_));
    }
    shownLower_ = part;
    // Height beyond the cards' own goes below them, never into them.
    column->addStretch(1);

    if (summaryPart_) {
        column_->replaceWidget(summaryPart_, fresh);
        delete summaryPart_;
    } else {
        column_->insertWidget(column_->indexOf(failure_->parentWidget()) + 1 + (progress_ ? 1 : 0), fresh);
    }
    summaryPart_ = fresh;
    fresh->show();
}

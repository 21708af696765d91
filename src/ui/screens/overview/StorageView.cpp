#include "ui/screens/overview/StorageView.h"

#include "analysis/ByteFormatter.h"
#include "analysis/HomeAbbreviation.h"
#include "analysis/StorageSummary.h"
#include "analysis/VolumeService.h"
#include "app/AppModel.h"
#include "app/LatestLoad.h"
#include "app/QtText.h"
#include "app/ScanCoordinator.h"
#include "index/StorageDatabase.h"
#include "platform/SystemPaths.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/ScanRequiredView.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/SectionCard.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/components/TintedLabelStyle.h"
#include "ui/components/UsageBar.h"
#include "ui/screens/overview/CategoryTable.h"
#include "ui/screens/overview/LocationRow.h"
#include "ui/screens/overview/PermissionHelpSheet.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayoutItem>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <sys/stat.h>

#include <algorithm>
#include <memory>

namespace {

QLabel* styledLabel(const QString& text, TextStyle style, const QColor& color = {})
{
    auto* label = new QLabel(text);
    applyTextStyle(label, style);
    if (color.isValid())
        applyTextColor(label, color);
    return label;
}

QLabel* symbolLabel(std::string_view symbol, int side, const QColor& tint)
{
    auto* label = new QLabel;
    label->setPixmap(SymbolIcons::pixmap(symbol, side, tint));
    return label;
}

QWidget* volumeRow(const VolumeInfo& volume)
{
    auto* row = new QWidget;
    row->setObjectName(QStringLiteral("volumeRow"));
    auto* column = new QVBoxLayout(row);
    column->setContentsMargins(0, 4, 0, 4);
    column->setSpacing(6);

    auto* heading = new QHBoxLayout;
    QLabel* name = styledLabel(qstr(volume.name), TextStyle::headline);
    const int side = name->fontMetrics().height();
    heading->addWidget(symbolLabel(StorageView::symbolName(volume), side, textColor(TextEmphasis::secondary)));
    heading->addWidget(name);
    heading->addWidget(styledLabel(qstr(volume.path), TextStyle::caption, textColor(TextEmphasis::secondary)));
    heading->addStretch(1);
    QLabel* usage = styledLabel(StorageView::tr("%1 of %2 used")
                                    .arg(qstr(ByteFormatter::string(StorageView::used(volume))),
                                         qstr(ByteFormatter::string(volume.totalCapacity))),
                                TextStyle::body, textColor(TextEmphasis::secondary));
    usage->setObjectName(QStringLiteral("usage"));
    heading->addWidget(usage);
    column->addLayout(heading);

    const double fraction = StorageView::fraction(volume);
    column->addWidget(
        new UsageBar(fraction, StorageView::isNearlyFull(fraction) ? NamedColor::red : accentColor(), 10));
    return row;
}

// A failed lookup degrades to less data, but never passes for an empty list.
StorageView::Restricted readRestricted(StorageDatabase& database)
{
    StorageView::Restricted restricted;
    try {
        restricted.folders = database.restrictedFolders(StorageView::restrictedLimit);
        restricted.total = database.totals().restrictedFolders;
    } catch (const std::exception&) {
        restricted = {};
        restricted.failed = true;
    }
    return restricted;
}

std::optional<FolderItem> readFolder(StorageDatabase& database, const std::string& path)
{
    try {
        return database.folder(path);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool existsOnDisk(const std::string& path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0;
}

} // namespace

StorageView::StorageView(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model), volumeLoad_(new LatestLoad(this)), indexLoad_(new LatestLoad(this))
{
    setObjectName(QStringLiteral("storageView"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll);

    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(16, 16, 16, 16);
    stack->setSpacing(16);
    auto* title = new QLabel(tr("Storage"));
    title->setObjectName(QStringLiteral("screenTitle"));
    applyTextStyle(title, TextStyle::title2, QFont::DemiBold);
    stack->addWidget(title);

    auto* volumes = new QWidget;
    auto* volumeColumn = new QVBoxLayout(volumes);
    volumeColumn->setContentsMargins(0, 0, 0, 0);
    volumeRows_ = new QVBoxLayout;
    volumeRows_->setContentsMargins(0, 0, 0, 0);
    volumeColumn->addLayout(volumeRows_);
    QLabel* note = styledLabel(tr("Available space includes purgeable space that macOS frees automatically when needed."),
                               TextStyle::caption, textColor(TextEmphasis::secondary));
    note->setWordWrap(true);
    volumeColumn->addWidget(note);
    auto* volumesCard = new SectionCard(tr("Volumes"), QStringLiteral("externaldrive"), volumes);
    volumesCard->setObjectName(QStringLiteral("volumesCard"));
    stack->addWidget(volumesCard);

    scanCards_ = new QVBoxLayout;
    scanCards_->setSpacing(16);
    stack->addLayout(scanCards_);
    stack->addStretch(1);
    scroll->setWidget(content);

    connect(&model_.scan(), &ScanCoordinator::summaryChanged, this, &StorageView::rebuildScanCards);
    connect(&model_.scan(), &ScanCoordinator::dataVersionChanged, this, &StorageView::reload);
    rebuildScanCards();
    reload();
}

StorageView::~StorageView() = default;

void StorageView::reload()
{
    volumeLoad_->start([] { return VolumeService::mountedVolumes(); },
                       [this](std::vector<VolumeInfo> volumes) {
                           volumes_ = std::move(volumes);
                           rebuildVolumes();
                       });

    std::shared_ptr<StorageDatabase> database = model_.database();
    if (!database)
        return;
    indexLoad_->start(
        [database, home = SystemPaths::homeDirectory()](std::stop_token stop) {
            IndexLists lists;
            for (KnownLocation& location : KnownLocation::standard(home)) {
                if (stop.stop_requested())
                    return lists;
                std::optional<FolderItem> folder = readFolder(*database, location.path);
                // A folder gone from disk keeps its stored row; one never indexed must exist.
                if (!folder && !existsOnDisk(location.path))
                    continue;
                lists.locations.push_back({std::move(location), std::move(folder)});
            }
            lists.restricted = readRestricted(*database);
            return lists;
        },
        [this](IndexLists lists) {
            locations_ = std::move(lists.locations);
            restricted_ = std::move(lists.restricted);
            rebuildScanCards();
        });
}

bool StorageView::isLoading() const
{
    return volumeLoad_->isBusy() || indexLoad_->isBusy();
}

void StorageView::rebuildVolumes()
{
    clearLayout(volumeRows_);
    for (const VolumeInfo& volume : volumes_)
        volumeRows_->addWidget(volumeRow(volume));
}

void StorageView::rebuildScanCards()
{
    clearLayout(scanCards_);
    const StorageSummary& summary = model_.scan().summary();
    if (summary.totals.fileCount <= 0) {
        auto* placeholder = new ScanRequiredView(
            model_, tr("No scan data yet"),
            tr("Scan your Mac to see what's using space. Scanning is read-only and runs on this Mac only."));
        placeholder->setMinimumHeight(260);
        scanCards_->addWidget(placeholder);
        return;
    }

    auto* categories = new QWidget;
    auto* categoryColumn = new QVBoxLayout(categories);
    categoryColumn->setContentsMargins(0, 0, 0, 0);
    categoryColumn->setSpacing(12);
    categoryColumn->addWidget(new CategoryTable(model_, summary.categories));
    auto* categoriesCard = new SectionCard(tr("Categories"), QStringLiteral("chart.pie"), categories);
    categoriesCard->setObjectName(QStringLiteral("categoriesCard"));
    scanCards_->addWidget(categoriesCard);

    auto* locationsCard = new SectionCard(tr("Locations"), QStringLiteral("folder"), makeLocations());
    locationsCard->setObjectName(QStringLiteral("locationsCard"));
    scanCards_->addWidget(locationsCard);

    auto* restrictedCard = new SectionCard(tr("Access Restricted"), QStringLiteral("lock"), makeRestricted());
    restrictedCard->setObjectName(QStringLiteral("restrictedCard"));
    scanCards_->addWidget(restrictedCard);
}

QWidget* StorageView::makeLocations()
{
    auto* list = new QWidget;
    auto* column = new QVBoxLayout(list);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    for (const Location& entry : locations_)
        column->addWidget(new LocationRow(entry.location, entry.folder, [this, entry] { openLocation(entry); }));
    return list;
}

QWidget* StorageView::makeRestricted()
{
    auto* list = new QWidget;
    auto* column = new QVBoxLayout(list);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    if (restricted_.failed) {
        QLabel* failure = styledLabel(tr("The list of restricted folders could not be read."), TextStyle::body,
                                      textColor(TextEmphasis::secondary));
        failure->setObjectName(QStringLiteral("restrictedFailure"));
        column->addWidget(failure);
        return list;
    }
    const std::size_t listed = restricted_.folders.size();
    if (listed == 0 && restricted_.total <= 0) {
        QWidget* allRead = TintedLabelStyle(NamedColor::green)
                               .makeBody(QStringLiteral("checkmark.circle"),
                                         tr("Kestrelmoor could read every scanned folder."));
        allRead->setObjectName(QStringLiteral("allReadable"));
        applyTextColor(allRead, NamedColor::green);
        column->addWidget(allRead, 0, Qt::AlignLeft);
        return list;
    }

    QLabel* explanation = styledLabel(tr("macOS didn't allow Kestrelmoor to read these folders, so their sizes "
                                         "aren't included. Kestrelmoor does not retry them during a scan."),
                                      TextStyle::body, textColor(TextEmphasis::secondary));
    explanation->setWordWrap(true);
    column->addWidget(explanation);
    for (int index = 0; index < shownRestrictedCount(listed); ++index) {
        const FolderItem& folder = restricted_.folders[static_cast<std::size_t>(index)];
        auto* row = new QWidget;
        row->setObjectName(QStringLiteral("restrictedRow"));
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        line->addWidget(symbolLabel("lock.fill", row->fontMetrics().height(), NamedColor::orange));
        auto* path = new ElidedLabel(qstr(abbreviatingHome(folder.path)), Qt::ElideMiddle);
        path->setObjectName(QStringLiteral("path"));
        line->addWidget(path, 1);
        line->addWidget(styledLabel(tr("Access Restricted"), TextStyle::caption, NamedColor::orange));
        column->addWidget(row);
    }
    const std::int64_t more = moreRestrictedCount(listed, restricted_.total);
    if (more > 0) {
        QLabel* moreLine = styledLabel(tr("…and %1 more").arg(QString::number(more)), TextStyle::caption,
                                       textColor(TextEmphasis::secondary));
        moreLine->setObjectName(QStringLiteral("moreRestricted"));
        column->addWidget(moreLine);
    }
    auto* help = new QPushButton(tr("How to Grant Access…"));
    help->setObjectName(QStringLiteral("grantAccessButton"));
    connect(help, &QPushButton::clicked, this, &StorageView::showPermissionHelp);
    column->addWidget(help, 0, Qt::AlignLeft);
    return list;
}

void StorageView::openLocation(const Location& entry)
{
    if (entry.folder && entry.folder->isRestricted) {
        showPermissionHelp();
        return;
    }
    model_.setLargestFoldersFocus(entry.location.path);
    model_.setSelection(SidebarItem::largestFolders);
}

void StorageView::showPermissionHelp()
{
    if (permissionHelp_)
        return;
    permissionHelp_ = new PermissionHelpSheet(this);
    permissionHelp_->setAttribute(Qt::WA_DeleteOnClose);
    permissionHelp_->open();
}

std::int64_t StorageView::available(const VolumeInfo& volume)
{
    return volume.available();
}

std::int64_t StorageView::used(const VolumeInfo& volume)
{
    return std::max<std::int64_t>(volume.usedCapacity, 0);
}

double StorageView::fraction(const VolumeInfo& volume)
{
    return volume.usedShare();
}

const char* StorageView::symbolName(const VolumeInfo& volume)
{
    if (volume.isRootFileSystem)
        return "internaldrive.fill";
    if (volume.isRemovable || volume.isEjectable)
        return "externaldrive.fill";
    return "internaldrive";
}

bool StorageView::isNearlyFull(double fraction)
{
    return fraction > 0.9;
}

int StorageView::shownRestrictedCount(std::size_t listed)
{
    return static_cast<int>(std::min<std::size_t>(listed, restrictedShown));
}

std::int64_t StorageView::moreRestrictedCount(std::size_t listed, std::int64_t total)
{
    // The list stops at its limit; the index's own count says how many there are.
    const std::int64_t count = std::max(static_cast<std::int64_t>(listed), total);
    return std::max<std::int64_t>(count - restrictedShown, 0);
}

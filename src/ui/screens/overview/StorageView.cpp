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
#include "ui/components/CommonText.h"
#include "ui/components/ElidedLabel.h"
#include "ui/components/ScanRequiredView.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/SectionCard.h"
#include "ui/components/SymbolIcons.h"
#include "ui/components/TextStyle.h"
#include "ui/components/TintedLabelStyle.h"
#include "ui/components/UsageBar.h"
#include "ui/screens/overview/CategoryOverview.h"
#include "ui/screens/overview/CategoryTable.h"
#include "ui/screens/overview/LocationRow.h"
#include "ui/components/PermissionHelpSheet.h"

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
    outer->addWidget(scroll);
    QVBoxLayout* stack = makeScrollPage(scroll);
    stack->addWidget(makeScreenTitle(tr("Storage")));

    auto* volumes = new QWidget;
    auto* volumeColumn = new QVBoxLayout(volumes);
    volumeColumn->setContentsMargins(0, 0, 0, 0);
    volumeRows_ = new QVBoxLayout;
    volumeRows_->setContentsMargins(0, 0, 0, 0);
    volumeColumn->addLayout(volumeRows_);
    QLabel* note = styledLabel(tr("Available space is what your account can still write; space the file system keeps for the "
                                     "administrator is not counted."),
                               TextStyle::caption, textColor(TextEmphasis::secondary));
    note->setWordWrap(true);
    volumeColumn->addWidget(note);
    auto* volumesCard = new SectionCard(tr("Volumes"), QStringLiteral("externaldrive"), volumes);
    volumesCard->setObjectName(QStringLiteral("volumesCard"));
    stack->addWidget(volumesCard);

    scanRequired_ = new ScanRequiredView(
        model_, tr("No scan data yet"),
        CommonText::scanRequiredMessage());
    scanRequired_->setMinimumHeight(260);
    stack->addWidget(scanRequired_);

    const StorageSummary& summary = model_.scan().summary();
    auto* categories = new QWidget;
    auto* categoryColumn = new QVBoxLayout(categories);
    categoryColumn->setContentsMargins(0, 0, 0, 0);
    categoryColumn->setSpacing(12);
    categoryOverview_ = new CategoryOverview(model_, summary, 12);
    categoryOverview_->setObjectName(QStringLiteral("categoryOverview"));
    categoryColumn->addWidget(categoryOverview_);
    categoryColumn->addWidget(divider());
    categoryTable_ = new CategoryTable(model_, summary.categories);
    categoryTable_->setObjectName(QStringLiteral("categoryTable"));
    categoryColumn->addWidget(categoryTable_);
    categoriesCard_ = new SectionCard(tr("Categories"), QStringLiteral("chart.pie"), categories);
    categoriesCard_->setObjectName(QStringLiteral("categoriesCard"));
    stack->addWidget(categoriesCard_);

    auto* locations = new QWidget;
    auto* locationColumn = new QVBoxLayout(locations);
    locationColumn->setContentsMargins(0, 0, 0, 0);
    locationColumn->setSpacing(2);
    locationRows_ = std::make_unique<KeyedWidgetList<LocationRow*, std::string>>(locationColumn);
    locationsCard_ = new SectionCard(tr("Locations"), QStringLiteral("folder"), locations);
    locationsCard_->setObjectName(QStringLiteral("locationsCard"));
    stack->addWidget(locationsCard_);

    restrictedCard_ = new SectionCard(tr("Access Restricted"), QStringLiteral("lock"), makeRestricted());
    restrictedCard_->setObjectName(QStringLiteral("restrictedCard"));
    stack->addWidget(restrictedCard_);
    stack->addStretch(1);

    connect(&model_.scan(), &ScanCoordinator::summaryChanged, this, &StorageView::showSummary);
    connect(&model_.scan(), &ScanCoordinator::dataVersionChanged, this, &StorageView::reload);
    showSummary();
    showLocations();
    showRestricted();
    reload();
}

StorageView::~StorageView() = default;

void StorageView::reload()
{
    volumeLoad_->start([] { return VolumeService::mountedVolumes(); },
                       [this](std::vector<VolumeInfo> volumes) {
                           volumes_ = std::move(volumes);
                           showVolumes();
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
            showLocations();
            showRestricted();
        });
}

bool StorageView::isLoading() const
{
    return volumeLoad_->isBusy() || indexLoad_->isBusy();
}

StorageView::VolumeRow StorageView::makeVolumeRow()
{
    VolumeRow row;
    row.view = new QWidget;
    row.view->setObjectName(QStringLiteral("volumeRow"));
    auto* column = new QVBoxLayout(row.view);
    column->setContentsMargins(0, 4, 0, 4);
    column->setSpacing(6);
    auto* heading = new QHBoxLayout;
    row.symbol = new QLabel;
    row.name = styledLabel(QString(), TextStyle::headline);
    row.path = styledLabel(QString(), TextStyle::caption, textColor(TextEmphasis::secondary));
    row.usage = styledLabel(QString(), TextStyle::body, textColor(TextEmphasis::secondary));
    row.usage->setObjectName(QStringLiteral("usage"));
    heading->addWidget(row.symbol);
    heading->addWidget(row.name);
    heading->addWidget(row.path);
    heading->addStretch(1);
    heading->addWidget(row.usage);
    column->addLayout(heading);
    row.bar = new UsageBar(0, accentColor(), 10);
    column->addWidget(row.bar);
    volumeRows_->addWidget(row.view);
    return row;
}

void StorageView::showVolumes()
{
    while (volumeViews_.size() < volumes_.size())
        volumeViews_.push_back(makeVolumeRow());
    for (std::size_t index = 0; index < volumeViews_.size(); ++index) {
        const VolumeRow& row = volumeViews_[index];
        row.view->setVisible(index < volumes_.size());
        if (index >= volumes_.size())
            continue;
        const VolumeInfo& volume = volumes_[index];
        row.symbol->setPixmap(SymbolIcons::pixmap(symbolName(volume), row.name->fontMetrics().height(),
                                                  textColor(TextEmphasis::secondary)));
        row.name->setText(qstr(volume.name));
        row.path->setText(qstr(volume.path));
        row.usage->setText(usageText(volume));
        row.usage->setToolTip(tr("Capacity %1; %2 of it is kept for the administrator or otherwise out of reach.")
                                  .arg(qstr(ByteFormatter::string(volume.totalCapacity)),
                                       qstr(ByteFormatter::string(
                                           std::max<std::int64_t>(volume.totalCapacity - reachable(volume), 0)))));
        const double share = fraction(volume);
        row.bar->setFraction(share);
        row.bar->setTint(isNearlyFull(share) ? NamedColor::red : accentColor());
    }
}

void StorageView::showSummary()
{
    const StorageSummary& summary = model_.scan().summary();
    const bool scanned = summary.totals.fileCount > 0;
    scanRequired_->setVisible(!scanned);
    for (QWidget* card : {categoriesCard_, locationsCard_, restrictedCard_})
        card->setVisible(scanned);
    categoryOverview_->setSummary(summary);
    categoryTable_->setCategories(summary.categories);
}

void StorageView::showLocations()
{
    std::vector<std::string> paths;
    for (const Location& entry : locations_)
        paths.push_back(entry.location.path);
    locationRows_->replace(paths, [this](const std::string& path) {
        const auto entry = std::find_if(locations_.begin(), locations_.end(),
                                        [&](const Location& location) { return location.location.path == path; });
        return new LocationRow(entry->location, entry->folder, [this, path] { openLocation(path); });
    });
    for (std::size_t index = 0; index < locations_.size(); ++index)
        locationRows_->rows()[index]->setFolder(locations_[index].folder);
}

QWidget* StorageView::makeRestricted()
{
    auto* list = new QWidget;
    auto* column = new QVBoxLayout(list);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    restrictedFailure_ = styledLabel(tr("The list of restricted folders could not be read."), TextStyle::body,
                                     textColor(TextEmphasis::secondary));
    restrictedFailure_->setObjectName(QStringLiteral("restrictedFailure"));
    column->addWidget(restrictedFailure_);
    allReadable_ = TintedLabelStyle(NamedColor::green)
                       .makeBody(QStringLiteral("checkmark.circle"), tr("Kestrelmoor could read every scanned folder."));
    allReadable_->setObjectName(QStringLiteral("allReadable"));
    applyTextColor(allReadable_, NamedColor::green);
    column->addWidget(allReadable_, 0, Qt::AlignLeft);
    restrictedExplanation_ = styledLabel(tr("Your account isn't allowed to read these folders, so their sizes "
                                            "aren't included. Kestrelmoor does not retry them during a scan."),
                                         TextStyle::body, textColor(TextEmphasis::secondary));
    restrictedExplanation_->setWordWrap(true);
    column->addWidget(restrictedExplanation_);
    for (int index = 0; index < restrictedShown; ++index) {
        RestrictedRow row;
        row.view = new QWidget;
        row.view->setObjectName(QStringLiteral("restrictedRow"));
        auto* line = new QHBoxLayout(row.view);
        line->setContentsMargins(0, 0, 0, 0);
        line->addWidget(symbolLabel("lock.fill", row.view->fontMetrics().height(), NamedColor::orange));
        row.path = new ElidedLabel(QString(), Qt::ElideMiddle);
        row.path->setObjectName(QStringLiteral("path"));
        line->addWidget(row.path, 1);
        line->addWidget(styledLabel(tr("Access Restricted"), TextStyle::caption, NamedColor::orange));
        column->addWidget(row.view);
        restrictedRows_.push_back(row);
    }
    moreRestricted_ = styledLabel(QString(), TextStyle::caption, textColor(TextEmphasis::secondary));
    moreRestricted_->setObjectName(QStringLiteral("moreRestricted"));
    column->addWidget(moreRestricted_);
    grantAccess_ = new QPushButton(tr("How to Grant Access…"));
    grantAccess_->setObjectName(QStringLiteral("grantAccessButton"));
    connect(grantAccess_, &QPushButton::clicked, this, &StorageView::showPermissionHelp);
    column->addWidget(grantAccess_, 0, Qt::AlignLeft);
    return list;
}

void StorageView::showRestricted()
{
    const std::size_t listed = restricted_.folders.size();
    const bool failed = restricted_.failed;
    const bool allRead = !failed && listed == 0 && restricted_.total <= 0;
    const bool some = !failed && !allRead;
    restrictedFailure_->setVisible(failed);
    allReadable_->setVisible(allRead);
    restrictedExplanation_->setVisible(some);
    for (std::size_t index = 0; index < restrictedRows_.size(); ++index) {
        const bool used = some && static_cast<int>(index) < shownRestrictedCount(listed);
        restrictedRows_[index].view->setVisible(used);
        if (used)
            restrictedRows_[index].path->setText(qstr(abbreviatingHome(restricted_.folders[index].path)));
    }
    const std::int64_t more = some ? moreRestrictedCount(listed, restricted_.total) : 0;
    moreRestricted_->setVisible(more > 0);
    moreRestricted_->setText(tr("…and %1 more").arg(QString::number(more)));
    grantAccess_->setVisible(some);
}

void StorageView::openLocation(const std::string& path)
{
    const auto entry = std::find_if(locations_.begin(), locations_.end(),
                                    [&](const Location& location) { return location.location.path == path; });
    if (entry != locations_.end() && entry->folder && entry->folder->isRestricted) {
        showPermissionHelp();
        return;
    }
    model_.setLargestFoldersFocus(path);
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

std::int64_t StorageView::used(const VolumeInfo& volume)
{
    return std::max<std::int64_t>(volume.usedCapacity, 0);
}

double StorageView::fraction(const VolumeInfo& volume)
{
    return volume.usedShare();
}

std::int64_t StorageView::reachable(const VolumeInfo& volume)
{
    return used(volume) + std::max<std::int64_t>(volume.available(), 0);
}

QString StorageView::usageText(const VolumeInfo& volume)
{
    return tr("%1 of %2 used").arg(qstr(ByteFormatter::string(used(volume))), qstr(ByteFormatter::string(reachable(volume))));
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

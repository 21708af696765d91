#include "ui/screens/files/DuplicateView.h"

#include "analysis/ByteFormatter.h"
#include "analysis/CancellationError.h"
#include "analysis/DuplicateScanner.h"
#include "analysis/FileItemPath.h"
#include "analysis/HomeAbbreviation.h"
#include "app/AppModel.h"
#include "app/LatestLoad.h"
#include "app/QtText.h"
#include "app/ScanCoordinator.h"
#include "index/StorageDatabase.h"
#include "platform/Paths.h"
#include "platform/SystemPaths.h"
#include "scanning/FinderActions.h"
#include "scanning/SecurityUtils.h"
#include "ui/components/ScreenParts.h"
#include "ui/components/EmptyStateView.h"
#include "ui/components/ScanRequiredView.h"
#include "ui/components/TextStyle.h"
#include "ui/components/FileContextMenu.h"
#include "ui/screens/files/DuplicateListModel.h"
#include "ui/screens/files/DuplicateRowDelegate.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <limits>

namespace {

const QString emptyDescription = QStringLiteral(
    "Files are compared by size, then file type, then a partial hash, and only then a full SHA-256 hash. "
    "Nothing is ever deleted automatically.");

QString bytes(std::int64_t count)
{
    return qstr(ByteFormatter::string(count));
}

std::int64_t copiesBeyondOne(const DuplicateGroup& group)
{
    return std::max<std::int64_t>(0, static_cast<std::int64_t>(group.files.size()) - 1);
}

QString megabytesText(double megabytes)
{
    return QLocale().toString(megabytes, 'g', 15);
}

} // namespace

std::int64_t DuplicateView::minimumSizeBytes(double megabytes)
{
    // Written so that NaN takes the floor too.
    if (!(megabytes >= 0.001))
        megabytes = 0.001;
    const double bytes = megabytes * 1'000'000.0;
    // 2^63: the first double beyond every 64-bit signed value.
    if (bytes >= 9'223'372'036'854'775'808.0)
        return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(bytes);
}

DuplicateScanOptions DuplicateView::searchOptions(double megabytes, bool includeLibrary, const std::string& home)
{
    DuplicateScanOptions options;
    options.minimumSize = minimumSizeBytes(megabytes);
    if (includeLibrary)
        for (const std::string& folder : DuplicateScanOptions::appDataFolders(home))
            std::erase(options.excluded, folder);
    return options;
}

std::int64_t DuplicateView::totalSavings(const std::vector<DuplicateGroup>& groups)
{
    std::int64_t total = 0;
    for (const DuplicateGroup& group : groups)
        total += group.size * copiesBeyondOne(group);
    return total;
}

std::map<std::string, std::string> DuplicateView::protectedCopies(const std::vector<DuplicateGroup>& groups,
                                                                  const std::string& home,
                                                                  const std::vector<std::string>& ownPaths)
{
    std::map<std::string, std::string> guarded;
    for (const DuplicateGroup& group : groups) {
        for (const FileItem& file : group.files) {
            std::string path = pathOf(file);
            if (const PathSafety verdict = SecurityUtils::evaluate(path, home, ownPaths, false); verdict.isProtected())
                guarded.emplace(std::move(path), verdict.reason());
        }
    }
    return guarded;
}

QString DuplicateView::tickRefusal(const FileItem& file, const DuplicateGroup& group,
                                   const std::set<std::string>& selected,
                                   const std::map<std::string, std::string>& protectedPaths)
{
    const std::string path = pathOf(file);
    if (selected.contains(path))
        return {};
    if (const auto guarded = protectedPaths.find(path); guarded != protectedPaths.end())
        return qstr(guarded->second);
    const auto ticked = std::count_if(group.files.begin(), group.files.end(),
                                      [&](const FileItem& copy) { return selected.contains(pathOf(copy)); });
    if (ticked + 1 >= static_cast<std::ptrdiff_t>(group.files.size()))
        return QString::fromUtf8(lastCopyText);
    return {};
}

std::vector<TrashCandidate> DuplicateView::trashCandidates(const std::vector<DuplicateGroup>& groups,
                                                           const std::set<std::string>& selected)
{
    std::vector<TrashCandidate> candidates;
    for (const DuplicateGroup& group : groups) {
        std::vector<const FileItem*> taken;
        for (const FileItem& file : group.files) {
            if (selected.contains(pathOf(file)))
                taken.push_back(&file);
        }
        if (taken.empty() || taken.size() >= group.files.size())
            continue;
        for (const FileItem* file : taken) {
            const std::string path = pathOf(*file);
            // The size the screen shows for every copy, so that the confirmation's lines and total agree with it.
            candidates.push_back({.path = path,
                                  .name = Paths::lastComponent(path),
                                  .size = group.size,
                                  .note = duplicateNote(group.files.size() - 1)});
        }
    }
    return candidates;
}

std::vector<DuplicateGroup> DuplicateView::withoutGone(const std::vector<DuplicateGroup>& groups,
                                                       const std::set<std::string>& gone)
{
    std::vector<DuplicateGroup> kept;
    for (const DuplicateGroup& group : groups) {
        DuplicateGroup remaining{group.hash, group.size, {}};
        std::copy_if(group.files.begin(), group.files.end(), std::back_inserter(remaining.files),
                     [&](const FileItem& file) { return !gone.contains(pathOf(file)); });
        if (remaining.files.size() >= 2)
            kept.push_back(std::move(remaining));
    }
    return kept;
}

std::set<std::string> DuplicateView::prunedSelection(const std::vector<DuplicateGroup>& groups,
                                                     const std::set<std::string>& selected)
{
    std::set<std::string> kept;
    for (const DuplicateGroup& group : groups) {
        std::vector<std::string> ticked;
        for (const FileItem& file : group.files) {
            if (selected.contains(pathOf(file)))
                ticked.push_back(pathOf(file));
        }
        // A group ticked throughout would lose its last copy: it starts over unticked.
        if (ticked.size() < group.files.size())
            kept.insert(ticked.begin(), ticked.end());
    }
    return kept;
}

QString DuplicateView::summaryText(std::size_t groupCount)
{
    return QString::number(groupCount) + (groupCount == 1 ? QStringLiteral(" duplicate group") : QStringLiteral(" duplicate groups"));
}

QString DuplicateView::groupHeading(const DuplicateGroup& group)
{
    return QString::number(group.files.size()) + QStringLiteral(" copies \u00b7 ") + bytes(group.size) +
           QStringLiteral(" each");
}

QString DuplicateView::groupTotals(const DuplicateGroup& group)
{
    return QStringLiteral("Total: ") + bytes(group.size * static_cast<std::int64_t>(group.files.size())) +
           QStringLiteral(" \u00b7 Potential savings: ") + bytes(group.size * copiesBeyondOne(group));
}

std::string DuplicateView::duplicateNote(std::size_t otherCopies)
{
    return "Duplicate of " + std::to_string(otherCopies) + " other cop" + (otherCopies == 1 ? "y" : "ies");
}

QString DuplicateView::trashButtonTitle(std::size_t selectedCount)
{
    return QStringLiteral("Move ") + QString::number(selectedCount) + QStringLiteral(" Selected to Trash\u2026");
}

DuplicateView::EmptyText DuplicateView::emptyText(Outcome outcome, const std::string& failure)
{
    switch (outcome) {
    case Outcome::notRun:
        return {QStringLiteral("Find duplicate files"), emptyDescription};
    case Outcome::finished:
        return {QStringLiteral("No duplicates found"), emptyDescription};
    case Outcome::stopped:
        return {QStringLiteral("The search did not finish"),
                QStringLiteral("The duplicate search was stopped before it finished.")};
    case Outcome::failed:
        return {QStringLiteral("The search did not finish"),
                QStringLiteral("The duplicate search failed: ") + qstr(failure)};
    }
    return {};
}

DuplicateView::DuplicateView(AppModel& model, QWidget* parent, Search search)
    : QWidget(parent), model_(model), search_(std::move(search)), home_(SystemPaths::homeDirectory()),
      ownPaths_(SecurityUtils::appOwnedPaths()), load_(new LatestLoad(this)), existence_(new LatestLoad(this))
{
    if (!search_)
        search_ = [](StorageDatabase& database, const DuplicateScanOptions& options, const Progress& progress,
                     std::stop_token stop) {
            DuplicateScanner scanner(database);
            scanner.options = options;
            return scanner.findDuplicates(progress, std::move(stop));
        };

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QLabel* title = makeScreenTitle(QStringLiteral("Duplicates"), this);
    title->setContentsMargins(20, 12, 12, 6);
    layout->addWidget(title);
    layout->addWidget(buildOptionsBar());
    layout->addWidget(divider(this));

    content_ = new QStackedWidget(this);
    scanRequired_ = new ScanRequiredView(
        model_, QStringLiteral("No scan data yet"),
        QStringLiteral("Duplicate detection uses the scan index to compare sizes first, so only likely duplicates "
                       "are ever read."),
        content_);
    empty_ = new EmptyStateView(QStringLiteral("square.on.square"), QString(), QString(), content_);
    empty_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    content_->addWidget(scanRequired_);
    content_->addWidget(empty_);
    content_->addWidget(buildResults());
    layout->addWidget(content_, 1);

    connect(load_, &LatestLoad::busyChanged, this, &DuplicateView::refresh);
    connect(&model_.scan(), &ScanCoordinator::summaryChanged, this, &DuplicateView::refresh);
    connect(&model_.scan(), &ScanCoordinator::dataVersionChanged, this, &DuplicateView::pruneGone);
    showGroups();
    refresh();
}

DuplicateView::~DuplicateView()
{
    // Leaving the screen stops the search at its next check; its answer goes nowhere.
    load_->cancel();
    existence_->cancel();
    // A focused field reports editingFinished while the base class deletes it, after this object's members.
    sizeField_->disconnect(this);
}

QWidget* DuplicateView::buildOptionsBar()
{
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(16, 10, 16, 10);
    row->setSpacing(12);

    auto* label = new QLabel(QStringLiteral("Minimum size"), bar);
    sizeField_ = new QLineEdit(megabytesText(minimumSizeMB_), bar);
    sizeField_->setObjectName(QStringLiteral("minimumSizeField"));
    sizeField_->setPlaceholderText(QStringLiteral("MB"));
    sizeField_->setFixedWidth(60);
    label->setBuddy(sizeField_);
    connect(sizeField_, &QLineEdit::editingFinished, this, [this] {
        const QString text = sizeField_->text().trimmed();
        bool ok = false;
        double value = QLocale().toDouble(text, &ok);
        if (!ok)
            value = QLocale::c().toDouble(text, &ok);
        if (ok)
            setMinimumSizeMB(value);
        else
            sizeField_->setText(megabytesText(minimumSizeMB_));
    });
    auto* unit = new QLabel(QStringLiteral("MB"), bar);
    libraryToggle_ = new QCheckBox(QStringLiteral("Include app data"), bar);
    libraryToggle_->setObjectName(QStringLiteral("libraryToggle"));
    QStringList appData;
    for (const std::string& folder : DuplicateScanOptions::appDataFolders(home_))
        if (folder != home_ + "/Library")
            appData << qstr(abbreviatingHome(folder, home_));
    libraryToggle_->setToolTip(QStringLiteral("Also search %1. App data often contains intentional copies. Leave off "
                                              "unless you know what you're looking for.")
                                   .arg(appData.join(QStringLiteral(", "))));
    connect(libraryToggle_, &QCheckBox::toggled, this, &DuplicateView::setIncludeLibrary);

    progressBar_ = new QProgressBar(bar);
    progressBar_->setObjectName(QStringLiteral("progressBar"));
    progressBar_->setFixedWidth(140);
    progressBar_->setTextVisible(false);
    stage_ = new QLabel(bar);
    stage_->setObjectName(QStringLiteral("stageLabel"));
    applyTextStyle(stage_, TextStyle::caption);
    applyTextColor(stage_, textColor(TextEmphasis::secondary));
    stop_ = new QPushButton(QStringLiteral("Stop"), bar);
    stop_->setObjectName(QStringLiteral("stopButton"));
    connect(stop_, &QPushButton::clicked, this, &DuplicateView::stop);
    find_ = new QPushButton(QStringLiteral("Find Duplicates"), bar);
    find_->setObjectName(QStringLiteral("findButton"));
    find_->setDefault(true);
    connect(find_, &QPushButton::clicked, this, &DuplicateView::start);

    row->addWidget(label);
    row->addWidget(sizeField_);
    row->addWidget(unit);
    row->addWidget(libraryToggle_);
    row->addStretch(1);
    row->addWidget(progressBar_);
    row->addWidget(stage_);
    row->addWidget(stop_);
    row->addWidget(find_);
    return bar;
}

QWidget* DuplicateView::buildResults()
{
    results_ = new QWidget(content_);
    results_->setObjectName(QStringLiteral("results"));
    auto* column = new QVBoxLayout(results_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    listModel_ = new DuplicateListModel(
        home_,
        [this](const FileItem& file, const DuplicateGroup& group, const std::set<std::string>& selected) {
            return tickRefusal(file, group, selected, protected_);
        },
        results_);
    list_ = new QListView(results_);
    list_->setObjectName(QStringLiteral("duplicateList"));
    list_->setModel(listModel_);
    list_->setFrameShape(QFrame::NoFrame);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    auto* delegate = new DuplicateRowDelegate(list_);
    list_->setItemDelegate(delegate);
    connect(delegate, &DuplicateRowDelegate::tickClicked, this, [this](const QModelIndex& index) {
        const std::string path = stdstr(index.data(DuplicateListModel::pathRole).toString());
        setSelected(path, !selected_.contains(path));
    });
    connect(list_, &QListView::doubleClicked, this, [this](const QModelIndex& index) {
        if (const FileItem* file = listModel_->file(index.row()))
            FinderActions::reveal({pathOf(*file)}, model_.desktop());
    });
    connect(list_, &QListView::customContextMenuRequested, this, &DuplicateView::showContextMenu);

    auto* footer = new QWidget(results_);
    auto* footerRow = new QHBoxLayout(footer);
    footerRow->setContentsMargins(16, 8, 16, 8);
    auto* hint = new QLabel(QStringLiteral("Select copies to remove. At least one copy in every group is always kept."),
                            footer);
    // A narrow window wraps the hint rather than cutting the button off.
    hint->setWordWrap(true);
    hint->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    applyTextStyle(hint, TextStyle::caption);
    applyTextColor(hint, textColor(TextEmphasis::secondary));
    trash_ = new QPushButton(trashButtonTitle(0), footer);
    trash_->setObjectName(QStringLiteral("trashSelectedButton"));
    connect(trash_, &QPushButton::clicked, this, &DuplicateView::trashSelected);
    trash_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    footerRow->addWidget(hint, 1);
    footerRow->addWidget(trash_);

    column->addWidget(list_, 1);
    column->addWidget(divider(results_));
    column->addWidget(footer);
    return results_;
}

void DuplicateView::setMinimumSizeMB(double megabytes)
{
    minimumSizeMB_ = megabytes;
    sizeField_->setText(megabytesText(megabytes));
}

void DuplicateView::setIncludeLibrary(bool include)
{
    includeLibrary_ = include;
    libraryToggle_->setChecked(include);
}

bool DuplicateView::isSearching() const
{
    return load_->isBusy();
}

void DuplicateView::start()
{
    const std::shared_ptr<StorageDatabase> database = model_.database();
    if (!database || isSearching())
        return;
    const DuplicateScanOptions options = searchOptions(minimumSizeMB_, includeLibrary_, home_);
    groups_.clear();
    selected_.clear();
    existence_->cancel();
    showGroups();
    Progress report = load_->reporterForNextStart<DuplicateScanProgress>([this](const DuplicateScanProgress& progress) {
        progress_ = progress;
        refresh();
    });
    struct Found {
        std::vector<DuplicateGroup> groups;
        std::map<std::string, std::string> protectedPaths;
    };
    load_->start(
        [searchFiles = search_, database, options, report, home = home_,
         ownPaths = ownPaths_](std::stop_token stop) -> std::optional<Found> {
            try {
                Found found{searchFiles(*database, options, report, stop), {}};
                found.protectedPaths = protectedCopies(found.groups, home, ownPaths);
                return found;
            } catch (const CancellationError&) {
                return std::nullopt;
            }
        },
        [this](std::optional<Found> found) {
            if (found)
                finish(Outcome::finished, std::move(found->groups), std::move(found->protectedPaths));
            else
                finish(Outcome::stopped, {});
        },
        [this](const std::string& message) { finish(Outcome::failed, {}, {}, message); });
    refresh();
}

void DuplicateView::stop()
{
    if (!isSearching())
        return;
    // The search ends at its next check; until then its answer is already unwanted.
    load_->cancel();
    finish(Outcome::stopped, {});
}

void DuplicateView::finish(Outcome outcome, std::vector<DuplicateGroup> groups,
                           std::map<std::string, std::string> protectedPaths,
                           std::string failure)
{
    outcome_ = outcome;
    failure_ = std::move(failure);
    groups_ = std::move(groups);
    protected_ = std::move(protectedPaths);
    selected_ = prunedSelection(groups_, selected_);
    showGroups();
    refresh();
}

void DuplicateView::pruneGone()
{
    if (groups_.empty())
        return;
    std::vector<std::string> paths;
    for (const DuplicateGroup& group : groups_) {
        for (const FileItem& file : group.files)
            paths.push_back(pathOf(file));
    }
    existence_->start(
        [paths = std::move(paths)](std::stop_token stop) {
            std::set<std::string> gone;
            for (const std::string& path : paths) {
                if (stop.stop_requested())
                    break;
                std::error_code error;
                if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(path, error)))
                    gone.insert(path);
            }
            return gone;
        },
        [this](std::set<std::string> gone) {
            groups_ = withoutGone(groups_, gone);
            selected_ = prunedSelection(groups_, selected_);
            showGroups();
            refresh();
            emit groupsPruned();
        });
}

void DuplicateView::showGroups()
{
    listModel_->setGroups(groups_, selected_);
    refreshTicks();
}

void DuplicateView::showContextMenu(const QPoint& position)
{
    const FileItem* file = listModel_->file(list_->indexAt(position).row());
    if (!file)
        return;
    if (FileContextMenu* menu = FileContextMenu::create(model_, {*file}, this))
        menu->popup(list_->viewport()->mapToGlobal(position));
}

void DuplicateView::setSelected(const std::string& path, bool selected)
{
    if (!selected) {
        selected_.erase(path);
    } else {
        for (const DuplicateGroup& group : groups_) {
            const auto file = std::find_if(group.files.begin(), group.files.end(),
                                           [&](const FileItem& copy) { return pathOf(copy) == path; });
            if (file != group.files.end() && canSelect(*file, group, selected_, protected_)) {
                selected_.insert(path);
                break;
            }
        }
    }
    refreshTicks();
}

void DuplicateView::refreshTicks()
{
    listModel_->setSelection(selected_);
    trash_->setText(trashButtonTitle(selected_.size()));
    trash_->setEnabled(!selected_.empty());
}

void DuplicateView::trashSelected()
{
    const std::vector<TrashCandidate> candidates = trashCandidates(groups_, selected_);
    // Cleared whether or not the removal is then confirmed.
    selected_.clear();
    refreshTicks();
    if (!candidates.empty())
        model_.requestTrash(candidates);
}

QWidget* DuplicateView::currentContent() const
{
    return content_->currentWidget();
}

void DuplicateView::refresh()
{
    const bool searching = isSearching();
    const std::int64_t fileCount = model_.scan().summary().totals.fileCount;
    progressBar_->setVisible(searching);
    stage_->setVisible(searching);
    stop_->setVisible(searching);
    find_->setVisible(!searching);
    find_->setEnabled(model_.database() != nullptr && fileCount > 0);
    progressBar_->setRange(0, std::max(1, progress_.candidatesTotal));
    progressBar_->setValue(std::clamp(progress_.candidatesChecked, 0, std::max(1, progress_.candidatesTotal)));
    stage_->setText(qstr(progress_.stage));

    if (fileCount <= 0) {
        content_->setCurrentWidget(scanRequired_);
    } else if (groups_.empty()) {
        // While a search runs nothing is known yet: the stop or failure of an earlier one no longer holds.
        const Outcome shown = searching ? (outcome_ == Outcome::notRun ? Outcome::notRun : Outcome::finished) : outcome_;
        const EmptyText text = emptyText(shown, failure_);
        empty_->setTitle(text.title);
        empty_->setDescription(text.description);
        content_->setCurrentWidget(empty_);
    } else {
        content_->setCurrentWidget(results_);
    }
}

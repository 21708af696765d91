#include "app/AppModel.h"

#include "analysis/HomeAbbreviation.h"
#include "app/ApplicationsStore.h"
#include "app/LatestLoad.h"
#include "app/ScanCoordinator.h"
#include "app/SetIfChanged.h"
#include "app/SystemMonitorStore.h"
#include "index/ScanCacheOpener.h"
#include "index/StorageDatabase.h"
#include "platform/SystemPaths.h"
#include "platform/X11ProcessWindows.h"
#include "platform/qt/DBusDesktopServices.h"
#include "platform/FreedesktopTrasher.h"
#include "scanning/SecurityUtils.h"
#include "scanning/TrashService.h"

namespace {

const char* const cannotMoveMessage = "This item can't be moved to the Trash.";

struct Judgement {
    std::vector<TrashCandidate> allowed;
    std::vector<std::optional<FileTrasher::Expected>> picked;   // one per allowed candidate
    std::optional<std::string> firstRefusal;
};

} // namespace

AppModel::AppModel(std::shared_ptr<StorageDatabase> database, ApplicationsStore* apps, QObject* parent)
    : QObject(parent)
{
    monitor_ = new SystemMonitorStore(this);
    apps_ = apps ? apps : new ApplicationsStore();
    apps_->setParent(this);
    if (database) {
        database_ = std::move(database);
    } else {
        ScanCacheOpener::Opened opened = ScanCacheOpener::open(&StorageDatabase::defaultDirectory, std::time(nullptr));
        database_ = std::move(opened.database);
        (database_ ? databaseNotice_ : databaseError_) = std::move(opened.problem);
    }
    scan_ = new ScanCoordinator(database_, this);
    connect(scan_, &ScanCoordinator::databaseChanged, this, [this] {
        database_ = scan_->database();
        (database_ ? databaseNotice_ : databaseError_) = scan_->errorMessage();
    });
    trasher_ = std::make_shared<FreedesktopTrasher>();
    desktop_ = std::make_shared<DBusDesktopServices>();
    processWindows_ = std::make_shared<X11ProcessWindows>();
    trashJudging_ = new LatestLoad(this);
}

AppModel::~AppModel()
{
    // A removal under way ends after its current item, with the index caught up, so that
    // quitting waits for one item at most.
    trashStop_.request_stop();
    // The scan goes first: it is cancelled and waited for while the stores and the
    // cache it may still touch are all in place.
    delete scan_;
    scan_ = nullptr;
}

void AppModel::setSelection(std::optional<SidebarItem> selection)
{
    setIfChanged(this, selection_, selection, &AppModel::selectionChanged);
}

void AppModel::setLargestFilesCategory(std::optional<StorageCategory> category)
{
    setIfChanged(this, largestFilesCategory_, category, &AppModel::largestFilesCategoryChanged);
}

void AppModel::setLargestFoldersFocus(std::optional<std::string> path)
{
    setIfChanged(this, largestFoldersFocus_, std::move(path), &AppModel::largestFoldersFocusChanged);
}

void AppModel::setSearchText(std::string text)
{
    setIfChanged(this, searchText_, std::move(text), &AppModel::searchTextChanged);
}

void AppModel::setTrashRequest(std::optional<TrashRequest> request)
{
    trashRequest_ = std::move(request);
    emit trashRequestChanged();
}

void AppModel::setAlert(std::optional<AppAlert> alert)
{
    alert_ = std::move(alert);
    emit alertChanged();
}

void AppModel::setSelectedApplicationPath(std::optional<std::string> path)
{
    setIfChanged(this, selectedApplicationPath_, std::move(path), &AppModel::selectedApplicationPathChanged);
}

void AppModel::start(std::function<void()> done)
{
    QPointer<AppModel> self(this);
    scan_->loadInitial([self, done = std::move(done)]() mutable {
        if (!self)
            return;
        auto setCount = [self, done = std::move(done)]() mutable {
            if (!self)
                return;
            self->scan_->setApplicationCount(static_cast<int>(self->apps_->apps().size()));
            if (done)
                done();
        };
        if (self->apps_->loaded())
            setCount();
        else
            self->apps_->reload(self->database_, std::move(setCount));
    });
}

void AppModel::requestTrash(const std::vector<TrashCandidate>& candidates, std::function<void()> done)
{
    // The verdicts read each item's attributes, which can hang on a dead network
    // mount: judge off the main thread, and only the newest request counts.
    trashJudging_->start(
        [candidates] {
            const std::string home = SystemPaths::homeDirectory();
            const std::vector<std::string> owned = SecurityUtils::appOwnedPaths();
            Judgement judgement;
            for (const TrashCandidate& candidate : candidates) {
                const PathSafety verdict = SecurityUtils::evaluate(candidate.path, home, owned, true);
                if (!verdict.isProtected()) {
                    judgement.allowed.push_back(candidate);
                    judgement.picked.push_back(ItemIdentity::at(candidate.path));
                }
                else if (!judgement.firstRefusal)
                    judgement.firstRefusal = verdict.reason();
            }
            return judgement;
        },
        [this, done](Judgement judgement) {
            if (!judgement.allowed.empty()) {
                setTrashRequest(TrashRequest::make(std::move(judgement.allowed), std::move(judgement.picked)));
            } else {
                // With nothing allowed, every item was refused: the first one's reason speaks for all.
                setAlert(AppAlert::make(std::string(SecurityUtils::protectedTitle), judgement.firstRefusal.value_or(cannotMoveMessage)));
            }
            if (done)
                done();
        });
}

void AppModel::setDesktopServices(std::shared_ptr<DesktopServices> desktop)
{
    if (desktop)
        desktop_ = std::move(desktop);
}

void AppModel::setProcessWindows(std::shared_ptr<ProcessWindows> windows)
{
    if (windows)
        processWindows_ = std::move(windows);
}

FailureList AppModel::trashFailures(const std::vector<TrashOutcome::Failure>& failures, const std::string& home)
{
    std::vector<std::string> lines;
    for (const TrashOutcome::Failure& failure : failures)
        lines.push_back(abbreviatingHome(failure.path, home) + ": " + failure.reason);
    return FailureList::of(lines, std::to_string(lines.size()) + " items weren't moved.");
}

void AppModel::confirmTrash(const TrashRequest& request, std::function<void()> done)
{
    setTrashRequest(std::nullopt);
    auto database = database_;
    auto trasher = trasher_;
    LatestLoad::once(
        this,
        [candidates = request.candidates, picked = request.picked, database, trasher, stop = trashStop_.get_token()] {
            return TrashService::moveToTrash(candidates, database.get(), *trasher, stop, picked);
        },
        [this, done = std::move(done)](TrashOutcome outcome) {
            if (!outcome.failures.empty()) {
                auto failures = trashFailures(outcome.failures, SystemPaths::homeDirectory());
                setAlert(AppAlert::make("Some items weren't moved", std::move(failures.message),
                                        std::move(failures.details)));
            }
            if (!outcome.moved.empty() || !outcome.forgotten.empty())
                scan_->dataChanged(done);
            else if (done)
                done();
        });
}

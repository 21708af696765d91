#include "app/AccessProbe.h"

#include "app/BackgroundWork.h"
#include "app/BackgroundWorker.h"
#include "app/PermissionManager.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

struct AccessProbe::Check {
    std::vector<std::string> paths;
    std::string home;
    std::function<void(Result)> done;
    Result result;
    // The place asked about; paths.size() while Full Disk Access is.
    std::size_t next = 0;
    // The question now open; an answer to one that timed out is not taken.
    std::shared_ptr<int> question;
};

AccessProbe::AccessProbe(std::chrono::milliseconds limit)
    : AccessProbe(limit, &PermissionManager::accessStatus,
                  [](const std::string& home) { return PermissionManager::hasFullDiskAccess(home); })
{
}

AccessProbe::AccessProbe(std::chrono::milliseconds limit, Probe probe, FullDiskAccessProbe fullDiskAccess)
    : limit_(limit), probe_(std::move(probe)), fullDiskAccess_(std::move(fullDiskAccess)),
      context_(std::make_unique<QObject>()), limitTimer_(new QTimer(context_.get())),
      worker_(std::make_unique<BackgroundWorker>(QStringLiteral("Access probe")))
{
    limitTimer_->setSingleShot(true);
    QObject::connect(limitTimer_, &QTimer::timeout, context_.get(), [this] {
        // The file system does not answer: that place cannot be read, and a home
        // folder that does not answer gives no Full Disk Access either.
        worker_->abandon();
        answered(AccessStatus::denied, false);
    });
}

AccessProbe::~AccessProbe() = default;

bool AccessProbe::start(std::vector<std::string> paths, std::string home, std::function<void(Result)> done)
{
    if (check_)
        return false;
    check_ = std::make_unique<Check>();
    check_->paths = std::move(paths);
    check_->home = std::move(home);
    check_->done = std::move(done);
    askNext();
    return true;
}

void AccessProbe::askNext()
{
    Check& check = *check_;
    if (check.next > check.paths.size()) {
        auto finished = std::move(check_);
        if (finished->done)
            finished->done(std::move(finished->result));
        return;
    }
    check.question = std::make_shared<int>();
    std::weak_ptr<int> question = check.question;
    QPointer<QObject> context(context_.get());
    auto answer = [this, context, question](std::optional<AccessStatus> status, std::optional<bool> fullDiskAccess) {
        postToMainThread(context, [this, question, status, fullDiskAccess] {
            const auto open = question.lock();
            if (open && check_ && open == check_->question)
                answered(status, fullDiskAccess);
        });
    };
    if (check.next < check.paths.size()) {
        worker_->request([probe = probe_, path = check.paths[check.next], answer](std::stop_token) {
            answer(probe(path), std::nullopt);
        });
    } else {
        worker_->request([fullDiskAccess = fullDiskAccess_, home = check.home, answer](std::stop_token) {
            answer(std::nullopt, fullDiskAccess(home));
        });
    }
    limitTimer_->start(limit_);
}

void AccessProbe::answered(std::optional<AccessStatus> status, std::optional<bool> fullDiskAccess)
{
    limitTimer_->stop();
    Check& check = *check_;
    check.question.reset();
    if (check.next < check.paths.size())
        check.result.statuses[check.paths[check.next]] = status.value_or(AccessStatus::denied);
    else
        check.result.fullDiskAccess = fullDiskAccess;
    ++check.next;
    askNext();
}

#include "app/LatestLoad.h"

LatestLoad::LatestLoad(QObject* owner) : QObject(owner) {}

LatestLoad::~LatestLoad()
{
    stop_.request_stop();
}

void LatestLoad::cancel()
{
    ++generation_;
    stop_.request_stop();
    setBusy(false);
}

std::uint64_t LatestLoad::begin()
{
    stop_.request_stop();
    stop_ = std::stop_source();
    setBusy(true);
    return ++generation_;
}

bool LatestLoad::finish(std::uint64_t request)
{
    if (request != generation_)
        return false;
    setBusy(false);
    return true;
}

void LatestLoad::setBusy(bool busy)
{
    if (busy_ == busy)
        return;
    busy_ = busy;
    emit busyChanged(busy_);
}

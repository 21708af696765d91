#include "scanning/LostFolders.h"

#include "index/ScanSession.h"
#include "platform/Paths.h"
#include "scanning/ScanCounters.h"

LostFolders::LostFolders(ScanSession& session, ScanCounters& counters, std::vector<std::string> roots)
    : session_(session), counters_(counters), scanRoots_(std::move(roots))
{
}

void LostFolders::lose(const std::string& path, const std::string& message)
{
    counters_.folderFailed();
    session_.logLostFolder(path, message);
    note(path);
}

void LostFolders::note(const std::string& path)
{
    std::lock_guard guard(lock_);
    for (const auto& root : scanRoots_)
        if (Paths::isWithin(path, root))
            rootsWithLosses_.insert(root);
}

std::string LostFolders::handledFailure()
{
    try {
        throw;
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "Unknown failure";
    }
}

std::set<std::string> LostFolders::roots() const
{
    std::lock_guard guard(lock_);
    return rootsWithLosses_;
}

#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

class ScanCounters;
class ScanSession;

// The folders a scan lost (neither synced nor entered, so that it keeps their stored rows and
// ends incomplete), noted by its readers and its writer alike under one lock: the roots under
// which any was lost get the scan's closing entry in the error log.
class LostFolders {
public:
    LostFolders(ScanSession& session, ScanCounters& counters, std::vector<std::string> roots);

    // Counts and logs a folder given up before its write, and notes it.
    void lose(const std::string& path, const std::string& message);
    // Notes a folder whose failed write was counted and logged already.
    void note(const std::string& path);
    // The text of the exception being handled, for lose() in a handler of any exception.
    static std::string handledFailure();
    // The roots under which folders were lost.
    std::set<std::string> roots() const;

private:
    ScanSession& session_;
    ScanCounters& counters_;
    const std::vector<std::string> scanRoots_;
    mutable std::mutex lock_;
    std::set<std::string> rootsWithLosses_;
};

#pragma once

#include "platform/FileSystem.h"
#include "support/Eventually.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <utility>

// The real file system, with single calls made to fail or observed, to play a
// system that refuses folders even to root, a mount point or a busy disk. Its pauses hold a
// scan at a chosen folder read, whichever thread reads it and however fast the machine.
class ScriptedFileSystem : public FileSystem {
public:
    ~ScriptedFileSystem() override { releaseRead(); }

    int readDirectory(const std::string& path, const EntryVisitor& visit) const override
    {
        if (const int failure = observe(path); failure != 0)
            return failure;
        return FileSystem::readDirectory(path, adjusted(path, visit));
    }

    FolderRead readFolder(const FolderLocation& location, const EntryVisitor& visit) const override
    {
        if (const int failure = observe(location.path); failure != 0)
            return FolderRead{.failure = failure};
        FolderRead read = FileSystem::readFolder(location, adjusted(location.path, visit));
        if (const auto gaps = listingGaps.find(location.path); gaps != listingGaps.end() && read.failure == 0)
            read.gaps = gaps->second;
        return read;
    }

    int linkStatus(const std::string& path, FileStatus& status) const override
    {
        if (const auto failure = statFailures.find(path); failure != statFailures.end())
            return failure->second;
        const int result = FileSystem::linkStatus(path, status);
        if (result == 0) {
            if (immutable.count(path))
                status.isImmutable = true;
            if (const auto device = devices.find(path); device != devices.end())
                status.device = device->second;
        }
        return result;
    }

    bool canWrite(const std::string& path) const override
    {
        return !readOnlyFolders.count(path) && FileSystem::canWrite(path);
    }

    std::optional<bool> isOnReadOnlyVolume(const std::string& path) const override
    {
        for (const auto& volume : readOnlyVolumes)
            if (path == volume || path.rfind(volume + "/", 0) == 0)
                return true;
        return FileSystem::isOnReadOnlyVolume(path);
    }

    int reads(const std::string& path) const
    {
        std::lock_guard guard(lock_);
        const auto found = reads_.find(path);
        return found == reads_.end() ? 0 : found->second;
    }

    int totalReads() const
    {
        std::lock_guard guard(lock_);
        int total = 0;
        for (const auto& [path, count] : reads_)
            total += count;
        return total;
    }

    void forgetReads()
    {
        std::lock_guard guard(lock_);
        reads_.clear();
    }

    std::map<std::string, int> readFailures;     // path -> errno of the open
    // path -> errno of the open and how many of the next reads fail with it
    mutable std::map<std::string, std::pair<int, int>> passingFailures;
    std::map<std::string, int> statFailures;     // path -> errno of lstat
    std::map<std::string, ListingGaps> listingGaps; // path -> what its listing is said to have missed
    std::map<std::string, std::uint64_t> devices; // path -> device number reported
    std::set<std::string> immutable;
    std::set<std::string> readOnlyFolders;       // access(W_OK) refused
    std::set<std::string> readOnlyVolumes;
    std::function<void(const std::string&)> onRead;
    // Called with each listed entry's path before the reader sees it; set before the scan.
    std::function<void(const std::string&)> onEntry;
    // For a scan already running: its readers take the hook under the same lock.
    void replaceOnRead(std::function<void(const std::string&)> hook)
    {
        std::lock_guard guard(lock_);
        onRead = std::move(hook);
    }

    // Calls `pause` on the reading thread as the `read`th folder read begins (counted from 1
    // over all folders), before the folder is listed; readsAtPause() is then the reads begun.
    void pauseAtRead(int read, std::function<void()> pause)
    {
        readsAtPause_ = -1;
        replaceOnRead([this, read, pause = std::move(pause)](const std::string&) {
            int unset = -1;
            const int reads = totalReads();
            if (reads >= read && readsAtPause_.compare_exchange_strong(unset, reads))
                pause();
        });
    }
    int readsAtPause() const { return readsAtPause_; }
    // Until the pause that pauseAtRead() set up has been asked for; false once waitLimit has passed.
    bool waitForPause() const
    {
        return eventually([&] { return readsAtPause_ >= 0; });
    }

    // Holds the `read`th folder read (counted from 1 over all folders) before the folder is
    // listed, until releaseRead(): for a pause that must be asked for on another thread
    // while the scan can go no further.
    void holdAtRead(int read)
    {
        replaceOnRead([this, read](const std::string&) {
            std::unique_lock hold(holdLock_);
            if (held_ || totalReads() < read)
                return;
            held_ = true;
            holdChanged_.notify_all();
            holdChanged_.wait(hold, [&] { return released_; });
        });
    }
    // Until a read is held; false once waitLimit has passed.
    bool waitUntilHeld()
    {
        std::unique_lock hold(holdLock_);
        return holdChanged_.wait_for(hold, waitLimit, [&] { return held_; });
    }
    void releaseRead()
    {
        std::lock_guard hold(holdLock_);
        released_ = true;
        holdChanged_.notify_all();
    }

private:
    // Counts the read and runs the hook; the scripted failure of the folder, or 0.
    int observe(const std::string& path) const
    {
        std::function<void(const std::string&)> hook;
        {
            std::lock_guard guard(lock_);
            ++reads_[path];
            hook = onRead;
        }
        if (hook)
            hook(path);
        {
            std::lock_guard guard(lock_);
            if (const auto passing = passingFailures.find(path);
                passing != passingFailures.end() && passing->second.second > 0) {
                --passing->second.second;
                return passing->second.first;
            }
        }
        const auto failure = readFailures.find(path);
        return failure == readFailures.end() ? 0 : failure->second;
    }

    EntryVisitor adjusted(const std::string& path, const EntryVisitor& visit) const
    {
        return [this, &path, &visit](std::string_view name, const FileStatus& status) {
            FileStatus changed = status;
            const std::string child = (path == "/" ? std::string() : path) + "/" + std::string(name);
            if (const auto device = devices.find(child); device != devices.end())
                changed.device = device->second;
            if (onEntry)
                onEntry(child);
            visit(name, changed);
        };
    }

    mutable std::mutex lock_;
    mutable std::map<std::string, int> reads_;
    std::atomic<int> readsAtPause_{-1};
    std::mutex holdLock_;
    std::condition_variable holdChanged_;
    bool held_ = false;
    bool released_ = false;
};

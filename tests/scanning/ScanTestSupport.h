#pragma once

#include "platform/FileSystem.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <utility>

// The real file system, with single calls made to fail or observed, to play a
// system that refuses folders even to root, a mount point or a busy disk.
class ScriptedFileSystem : public FileSystem {
public:
    int readDirectory(const std::string& path, const EntryVisitor& visit) const override
    {
        {
            std::lock_guard guard(lock_);
            ++reads_[path];
        }
        if (onRead)
            onRead(path);
        if (const auto failure = readFailures.find(path); failure != readFailures.end())
            return failure->second;
        return FileSystem::readDirectory(path, [&](std::string_view name, const FileStatus& status) {
            FileStatus adjusted = status;
            const std::string child = (path == "/" ? std::string() : path) + "/" + std::string(name);
            if (const auto device = devices.find(child); device != devices.end())
                adjusted.device = device->second;
            visit(name, adjusted);
        });
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
    std::map<std::string, int> statFailures;     // path -> errno of lstat
    std::map<std::string, std::uint64_t> devices; // path -> device number reported
    std::set<std::string> immutable;
    std::set<std::string> readOnlyFolders;       // access(W_OK) refused
    std::set<std::string> readOnlyVolumes;
    std::function<void(const std::string&)> onRead;

private:
    mutable std::mutex lock_;
    mutable std::map<std::string, int> reads_;
};

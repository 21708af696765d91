#pragma once

#include "index/StorageDatabase.h"
#include "scanning/FileScanner.h"
#include "support/TempDir.h"

#include <string>
#include <vector>

// A scan cache of its own, filled by a real scan of folders, or with folder rows of made-up
// sizes that need no data on disk.
struct ScannedTree {
    TempDir cacheFolder;
    StorageDatabase database{cacheFolder.file("ScanCache.sqlite")};

    void scan(std::vector<std::string> roots) { scanInto(database, std::move(roots)); }

    // A completed scan of `roots` into any scan cache.
    static void scanInto(StorageDatabase& target, std::vector<std::string> roots)
    {
        ScanConfiguration configuration;
        configuration.roots = std::move(roots);
        configuration.maxConcurrency = 2;
        FileScanner scanner(target, configuration);
        scanner.scan(std::nullopt, [] { return FileScanner::VolumeUsage{}; }, nullptr);
    }

    // One folder row holding one file of `allocated` bytes (none when 0), as a root of its own.
    void record(const std::string& path, std::int64_t allocated, double modified = 1'700'000'000,
                bool restricted = false, const std::string& fileName = "data")
    {
        if (!scanID) scanID = database.beginScan({});
        DirectorySnapshot snapshot;
        snapshot.path = path;
        snapshot.name = path.substr(path.rfind('/') + 1);
        snapshot.folderID = database.ensureRoot(path, modified);
        snapshot.modified = modified;
        snapshot.isRestricted = restricted;
        if (allocated > 0) {
            ScannedFile file;
            file.name = fileName;
            file.size = allocated;
            file.allocatedSize = allocated;
            file.countedAllocatedSize = allocated;
            file.modified = modified;
            snapshot.files.push_back(file);
        }
        database.syncDirectory(snapshot, scanID);
        roots.push_back(path);
    }

    // Computes the totals of the recorded folders.
    void finish()
    {
        database.finishScan(scanID, roots, ScanRecord::Status::cancelled, 0, 0, 0, 0, 0);
    }

    std::int64_t scanID = 0;
    std::vector<std::string> roots;
};

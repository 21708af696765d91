#pragma once

#include "index/SQLiteConnection.h"
#include "index/StorageDatabase.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A scan cache in a temporary folder, with a hand-driven batch clock and a second
// connection that sees only what has been committed.
class ScanCacheFixture : public ::testing::Test {
protected:
    ScanCacheFixture() { reopen(); }

    void reopen()
    {
        db.reset();
        db = std::make_unique<StorageDatabase>(path(), [this] { return clock; });
    }
    std::string path() const { return dir.file("ScanCache.sqlite"); }

    // Runs SQL on a separate connection; only committed rows are visible to it.
    std::int64_t committed(const std::string& sql)
    {
        SQLiteConnection observer(path());
        return observer.scalarInt(sql);
    }
    // The first column of every row, as text, read on a separate connection.
    std::vector<std::string> committedTexts(const std::string& sql)
    {
        SQLiteConnection observer(path());
        std::vector<std::string> texts;
        observer.query(sql, {}, [&](SQLiteConnection::Statement& row) { texts.push_back(row.text(0)); });
        return texts;
    }
    void executeOutside(const std::string& script)
    {
        SQLiteConnection other(path());
        other.execute(script);
    }
    // Changes file or folder rows on a separate connection, as another program would between
    // two sessions, and opens the cache again.
    void writeRowsOutside(const std::string& script)
    {
        executeOutside(script);
        reopen();
    }

    static ScannedFile file(std::string name, std::int64_t alloc, double modified = 1000.0)
    {
        ScannedFile f;
        f.name = std::move(name);
        f.size = alloc > 0 ? alloc - 1 : 0;
        f.allocatedSize = alloc;
        f.countedAllocatedSize = alloc;
        f.modified = modified;
        f.created = modified;
        f.accessed = modified;
        return f;
    }

    static DirectorySnapshot folder(std::string path, std::optional<std::int64_t> parentID, int depth,
                                    std::vector<ScannedFile> files = {}, std::vector<std::string> subfolders = {})
    {
        DirectorySnapshot s;
        s.name = path == "/" ? "/" : path.substr(path.rfind('/') + 1);
        s.path = std::move(path);
        s.parentID = parentID;
        s.depth = depth;
        s.modified = 500.0;
        s.files = std::move(files);
        for (auto& name : subfolders) s.subdirectories.push_back({.name = std::move(name), .modified = 600.0});
        return s;
    }

    // A tree given as folder paths with their files, synced top-down in one scan as the
    // scanner would: each folder with the id its parent's sync handed out.
    struct Entry {
        std::string path;
        std::vector<ScannedFile> files;
    };
    std::int64_t scanTree(const std::string& root, const std::vector<Entry>& entries,
                          ScanRecord::Status status = ScanRecord::Status::completed)
    {
        auto scan = db->startScan({root});
        std::map<std::string, std::pair<std::int64_t, int>> known = {{root, {scan.ensureRoot(root, 1.0), 0}}};
        for (const auto& entry : entries) {
            const auto self = known.at(entry.path);
            std::vector<std::string> subfolders;
            for (const auto& other : entries) {
                const auto parent = other.path.substr(0, other.path.rfind('/'));
                if ((parent.empty() ? "/" : parent) == entry.path && other.path != entry.path) {
                    subfolders.push_back(other.path.substr(other.path.rfind('/') + 1));
                }
            }
            std::optional<std::int64_t> parentID;
            if (entry.path != root) parentID = known.at(entry.path.substr(0, entry.path.rfind('/'))).first;
            auto snapshot = folder(entry.path, parentID, self.second, entry.files, subfolders);
            snapshot.folderID = self.first;
            const auto result = scan.syncDirectory(snapshot);
            for (const auto& [name, id] : result.childIDs) {
                known[(entry.path == "/" ? "" : entry.path) + "/" + name] = {id, self.second + 1};
            }
        }
        scan.finish({.status = status,
                     .roots = {root},
                     .volumeTotal = 1000,
                     .volumeUsed = 500});
        return scan.id();
    }

    TempDir dir;
    std::chrono::steady_clock::time_point clock{};
    std::unique_ptr<StorageDatabase> db;
};

template <class Body>
SQLiteError sqliteFailure(Body&& body)
{
    try {
        body();
    } catch (const SQLiteError& error) {
        return error;
    }
    ADD_FAILURE() << "expected an SQLiteError";
    return SQLiteError(-1, "none");
}

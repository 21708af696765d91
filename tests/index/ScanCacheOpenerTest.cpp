#include "index/ScanCacheOpener.h"
#include "index/SQLiteConnection.h"
#include "index/SQLiteError.h"
#include "index/StorageDatabase.h"
#include "support/PrivateMount.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/sysmacros.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::time_t noon = 1765281600;   // 2025-12-09 12:00 UTC

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ScanCacheOpenerTest : public ::testing::Test {
protected:
    std::string cache() const { return folder.file("ScanCache.sqlite"); }
    ScanCacheOpener::Opened open() const
    {
        return ScanCacheOpener::open([this] { return folder.path(); }, noon);
    }
    // The one thing set aside beside the cache.
    std::string setAside() const
    {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(folder.path())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("ScanCache.sqlite.unreadable-", 0) == 0 && !name.ends_with("-wal") && !name.ends_with("-shm") &&
                !name.ends_with("-journal"))
                found.push_back(entry.path().string());
        }
        EXPECT_EQ(found.size(), 1u);
        return found.empty() ? std::string() : found.front();
    }
    // A fresh, working cache opened, the unreadable one set aside, and the user told once.
    void expectFreshCacheWithNotice(const ScanCacheOpener::Opened& opened) const
    {
        ASSERT_NE(opened.database, nullptr);
        ASSERT_TRUE(opened.problem.has_value());
        EXPECT_NE(opened.problem->find("set aside as ScanCache.sqlite.unreadable-"), std::string::npos)
            << *opened.problem;
        EXPECT_EQ(opened.database->lastScan(), std::nullopt);
        EXPECT_NO_THROW(opened.database->startScan({"/"}));
        const auto reopened = open();
        EXPECT_NE(reopened.database, nullptr);
        EXPECT_FALSE(reopened.problem.has_value()) << *reopened.problem;
    }

    TempDir folder;
};

TEST_F(ScanCacheOpenerTest, AWorkingCacheOpensQuietly)
{
    { StorageDatabase(cache()).startScan({"/home"}); }
    const auto opened = open();
    ASSERT_NE(opened.database, nullptr);
    EXPECT_FALSE(opened.problem.has_value());
    EXPECT_TRUE(opened.database->lastScan().has_value());
}

TEST_F(ScanCacheOpenerTest, RandomBytesAreSetAsideUntouchedAndAFreshCacheStarts)
{
    std::string bytes(70000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7919 + 13) % 251);
    folder.write("ScanCache.sqlite", bytes);
    folder.write("ScanCache.sqlite-wal", "an old log");
    const auto opened = open();
    expectFreshCacheWithNotice(opened);
    const std::string aside = setAside();
    EXPECT_EQ(contents(aside), bytes);
    EXPECT_EQ(contents(aside + "-wal"), "an old log");
    EXPECT_NE(aside.find("2025-12-09-"), std::string::npos) << aside;
}

TEST_F(ScanCacheOpenerTest, ATruncatedCacheIsSetAside)
{
    {
        StorageDatabase database(cache());
        for (int i = 0; i < 200; ++i) database.startScan({"/a/long/root/path/number/" + std::to_string(i)});
    }
    const std::string whole = contents(cache());
    ASSERT_GT(whole.size(), 40000u);
    ASSERT_EQ(::truncate(cache().c_str(), 20000), 0);
    const auto opened = open();
    expectFreshCacheWithNotice(opened);
    EXPECT_EQ(contents(setAside()).size(), 20000u);
}

TEST_F(ScanCacheOpenerTest, ATableWithoutItsColumnsIsSetAside)
{
    {
        SQLiteConnection db(cache());
        db.execute("CREATE TABLE files(id INTEGER PRIMARY KEY, name TEXT);");
    }
    expectFreshCacheWithNotice(open());
    SQLiteConnection aside(setAside());
    EXPECT_EQ(aside.scalarInt("SELECT COUNT(*) FROM pragma_table_info('files')"), 2);
}

TEST_F(ScanCacheOpenerTest, AFolderOrADanglingLinkAtThePlaceOfTheCacheIsSetAside)
{
    folder.write("ScanCache.sqlite/kept.txt", "mine");
    expectFreshCacheWithNotice(open());
    EXPECT_EQ(contents(setAside() + "/kept.txt"), "mine");

    fs::remove_all(folder.path());
    fs::create_directories(folder.path());
    ASSERT_EQ(::symlink("/nonexistent-folder/ScanCache.sqlite", cache().c_str()), 0);
    expectFreshCacheWithNotice(open());
    EXPECT_TRUE(fs::is_symlink(setAside()));
}

TEST_F(ScanCacheOpenerTest, NoDataFolderSaysWhyWithThePath)
{
    const auto opened = ScanCacheOpener::open(
        []() -> std::string { throw std::system_error(ENOTDIR, std::generic_category(), "/data/Kestrelmoor"); },
        noon);
    EXPECT_EQ(opened.database, nullptr);
    ASSERT_TRUE(opened.problem.has_value());
    EXPECT_EQ(*opened.problem,
              "The scan cache could not be opened: /data/Kestrelmoor: Not a directory. Scans will not be saved.");
}

// A cache holding one completed scan, closed so that no log companions remain.
void writeCompletedScan(const std::string& path)
{
    StorageDatabase database(path);
    database.startScan({"/home"}).finish(
        {.status = ScanRecord::Status::completed, .roots = {"/home"}, .volumeTotal = 100, .volumeUsed = 50});
}

// The cache opens read-only: the last scan shows, writes fail, the file stays as it was,
// and the user is told that new scans cannot be saved and why.
void expectReadOnly(const ScanCacheOpener::Opened& opened, const std::string& path, const std::string& before,
                    const std::string& why)
{
    ASSERT_NE(opened.database, nullptr) << opened.problem.value_or("");
    EXPECT_TRUE(opened.database->isReadOnly());
    ASSERT_TRUE(opened.problem.has_value());
    EXPECT_NE(opened.problem->find("new scans cannot be saved"), std::string::npos) << *opened.problem;
    EXPECT_NE(opened.problem->find(why), std::string::npos) << *opened.problem;
    ASSERT_TRUE(opened.database->lastScan().has_value());
    EXPECT_EQ(opened.database->lastScan()->status, ScanRecord::Status::completed);
    EXPECT_EQ(opened.database->history(10).size(), 1u);
    EXPECT_THROW(opened.database->startScan({"/"}), SQLiteError);
    EXPECT_EQ(contents(path), before);
}

TEST_F(ScanCacheOpenerTest, ACacheFileThatCannotBeWrittenIsShownReadOnly)
{
    if (runAgainUnprivileged())
        return;
    writeCompletedScan(cache());
    const std::string before = contents(cache());
    ASSERT_EQ(::chmod(cache().c_str(), 0444), 0);
    expectReadOnly(open(), cache(), before, "the file: Permission denied");
}

TEST_F(ScanCacheOpenerTest, ACacheInAFolderThatCannotBeWrittenIsShownReadOnly)
{
    if (runAgainUnprivileged())
        return;
    writeCompletedScan(cache());
    const std::string before = contents(cache());
    ASSERT_EQ(::chmod(folder.path().c_str(), 0555), 0);
    const auto opened = open();
    expectReadOnly(opened, cache(), before, "its folder " + folder.path() + ": Permission denied");
    EXPECT_FALSE(fs::exists(cache() + "-shm"));
    ::chmod(folder.path().c_str(), 0755);
}

TEST_F(ScanCacheOpenerTest, ACacheOnAReadOnlyFileSystemIsShownReadOnlyEvenToRoot)
{
    KESTREL_IN_PRIVATE_MOUNTS();
    writeCompletedScan(cache());
    const std::string before = contents(cache());
    ASSERT_TRUE(PrivateMount::bindReadOnly(folder.path()));
    const PrivateMount::Unmounted unmounted{folder.path()};
    expectReadOnly(open(), cache(), before, "Read-only file system");
}

// A link to a cache kept elsewhere is the user's own arrangement: a cache it leads to that
// cannot be written is shown read-only, and the link is never set aside.
TEST_F(ScanCacheOpenerTest, ALinkToACacheThatCannotBeWrittenIsShownReadOnlyAndKept)
{
    KESTREL_IN_PRIVATE_MOUNTS();
    const TempDir elsewhere;
    const std::string target = elsewhere.file("ScanCache.sqlite");
    writeCompletedScan(target);
    const std::string before = contents(target);
    ASSERT_EQ(::symlink(target.c_str(), cache().c_str()), 0);
    ASSERT_TRUE(PrivateMount::bindReadOnly(elsewhere.path()));
    const PrivateMount::Unmounted unmounted{elsewhere.path()};
    expectReadOnly(open(), target, before, "Read-only file system");
    EXPECT_TRUE(fs::is_symlink(cache()));
    for (const auto& entry : fs::directory_iterator(folder.path()))
        EXPECT_EQ(entry.path().filename().string().find(".unreadable-"), std::string::npos) << entry.path();
}

// SQLite opens the cache and its log companions itself: a FIFO there would block the start
// (a "-journal" is opened for reading), a device would be written as if it were the cache.
TEST_F(ScanCacheOpenerTest, WhatIsNoFileOfItsOwnAtTheCacheOrItsCompanionsIsNeverOpened)
{
    const auto fifo = [](const std::string& at) { return ::mkfifo(at.c_str(), 0600) == 0; };
    // The null device under a name of its own, so that no other program's opening is seen.
    const auto device = [](const std::string& at) { return ::mknod(at.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0; };
    const struct {
        const char* name;
        const char* special;   // beside the cache, or elsewhere for a link
        bool (*make)(const std::string&);
        bool linked;           // the cache is a link to it
        bool cacheThere;       // a cache with a scan is in place beside it
    } cases[] = {
        {"the cache a FIFO", "ScanCache.sqlite", fifo, false, false},
        {"a link to a FIFO", "elsewhere", fifo, true, false},
        {"a link to a device", "elsewhere", device, true, false},
        {"a FIFO as its rollback journal", "ScanCache.sqlite-journal", fifo, false, true},
        {"a FIFO as its log", "ScanCache.sqlite-wal", fifo, false, true},
        {"a FIFO as its shared memory", "ScanCache.sqlite-shm", fifo, false, true},
        {"a device as its log", "ScanCache.sqlite-wal", device, false, true},
        {"a FIFO as the log of no cache", "ScanCache.sqlite-wal", fifo, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& entry : fs::directory_iterator(folder.path())) fs::remove_all(entry.path());
        if (c.cacheThere)
            writeCompletedScan(cache());
        const std::string cached = c.cacheThere ? contents(cache()) : "";
        const std::string special = folder.file(c.special);
        if (!c.make(special)) {
            EXPECT_EQ(errno, EPERM);   // no device nodes for this account
            continue;
        }
        ASSERT_TRUE(!c.linked || ::symlink(special.c_str(), cache().c_str()) == 0);
        struct stat made {};
        ASSERT_EQ(::stat(special.c_str(), &made), 0);
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(::inotify_add_watch(watch, special.c_str(), IN_OPEN), 0);

        auto opening = std::async(std::launch::async, [&] { return open(); });
        if (opening.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // Let the blocked reader go, so that the failure is reported instead of hanging.
            ADD_FAILURE() << "opening the cache blocked";
            do
                ::close(::open(special.c_str(), O_WRONLY | O_NONBLOCK));
            while (opening.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready);
            continue;
        }
        const auto opened = opening.get();
        inotify_event event {};
        EXPECT_LT(::read(watch, &event, sizeof event), 0) << "it was opened";
        ::close(watch);

        // What stood there is left as it was, beside a fresh cache, and the user is told.
        expectFreshCacheWithNotice(opened);
        EXPECT_NE(opened.problem.value_or("").find(c.linked ? "link to" : c.special), std::string::npos)
            << opened.problem.value_or("");
        struct stat left {};
        bool found = false;
        for (const auto& entry : fs::directory_iterator(folder.path()))
            if (::lstat(entry.path().c_str(), &left) == 0 && left.st_ino == made.st_ino)
                found = (left.st_mode & S_IFMT) == (made.st_mode & S_IFMT);
        EXPECT_TRUE(found) << "what stood there is gone";
        if (c.cacheThere) {
            EXPECT_EQ(contents(setAside()), cached);
        }
    }
}

// A cache of 220 file rows in one folder, closed as the program closes it; `filler` bytes
// beside them make it larger than the caches checked page by page at opening.
void writeCache(const std::string& path, long long filler = 0)
{
    { StorageDatabase database(path); }
    SQLiteConnection db(path);
    db.execute("BEGIN; INSERT INTO folders(id, path, name) VALUES(1, '/data', 'data');");
    for (int i = 0; i < 220; ++i)
        db.run("INSERT INTO files(folder_id, name, ext, size, alloc, counted_alloc) VALUES(1, ?, 'txt', ?, ?, ?)",
               {"file-" + std::to_string(i) + ".txt", std::int64_t{1000} + i, std::int64_t{4096}, std::int64_t{4096}});
    db.execute("COMMIT;");
    if (filler > 0)
        db.execute("CREATE TABLE filler(b BLOB); INSERT INTO filler VALUES(zeroblob(" + std::to_string(filler) + "));");
}

void zeroPage(const std::string& path, long long page)
{
    const long long pageSize = SQLiteConnection(path).scalarInt("PRAGMA page_size");
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp((page - 1) * pageSize);
    const std::string zeros(static_cast<std::size_t>(pageSize), '\0');
    file.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
}

long long pageCount(const std::string& path)
{
    return static_cast<long long>(fs::file_size(path)) / SQLiteConnection(path).scalarInt("PRAGMA page_size");
}

TEST_F(ScanCacheOpenerTest, ACacheThatOpensButIsDamagedIsSetAside)
{
    struct Case {
        const char* what;
        std::function<void(const std::string&)> damage;
    };
    const Case cases[] = {
        {"cut by one byte", [](const std::string& path) {
             ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(fs::file_size(path)) - 1), 0);
         }},
        {"its last page zeroed", [](const std::string& path) { zeroPage(path, pageCount(path)); }},
        {"a page of its files zeroed", [](const std::string& path) {
             zeroPage(path, SQLiteConnection(path).scalarInt("SELECT rootpage FROM sqlite_schema WHERE name = 'files'"));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const auto& entry : fs::directory_iterator(folder.path())) fs::remove_all(entry.path());
        writeCache(cache());
        const auto whole = fs::file_size(cache());
        c.damage(cache());
        const auto damaged = contents(cache());
        expectFreshCacheWithNotice(open());
        EXPECT_EQ(contents(setAside()), damaged);
        EXPECT_LE(damaged.size(), whole);
    }
}

// A large cache is not read whole at opening: damage its reads meet sets it aside at the next.
TEST_F(ScanCacheOpenerTest, DamageMetInALargeCacheSetsItAsideAtTheNextOpening)
{
    writeCache(cache(), ScanCacheOpener::quickCheckLimit);
    zeroPage(cache(), SQLiteConnection(cache()).scalarInt("SELECT rootpage FROM sqlite_schema WHERE name = 'files'"));
    {
        const auto opened = open();
        ASSERT_NE(opened.database, nullptr);
        EXPECT_FALSE(opened.problem.has_value()) << *opened.problem;
        EXPECT_THROW(opened.database->largestFiles(10), SQLiteError);
    }
    expectFreshCacheWithNotice(open());
}

TEST_F(ScanCacheOpenerTest, ANameAlreadyTakenGetsANumber)
{
    const std::string first = ScanCacheOpener::asidePath(cache(), noon);
    folder.write(fs::path(first).filename().string(), "earlier");
    const std::string second = ScanCacheOpener::asidePath(cache(), noon);
    EXPECT_EQ(second, first + "-2");
}

} // namespace

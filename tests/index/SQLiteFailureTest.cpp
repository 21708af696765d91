#include "index/SQLiteFailure.h"

#include "index/SQLiteConnection.h"
#include "index/SQLiteError.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

TEST(SQLiteFailure, OnlyAFullFailingOrReadOnlyCacheStopsTheWritesAfterIt)
{
    struct Case {
        int code;
        const char* saying;   // a part of the text, or nullptr when writing may go on
    };
    const Case cases[] = {
        {SQLITE_FULL, "is full"},
        {SQLITE_IOERR, "could not be written (SQLite error 10"},
        {SQLITE_IOERR_WRITE, "could not be written (SQLite error 778"},   // extended codes count by their low byte
        {SQLITE_IOERR_FSYNC, "could not be written"},
        {SQLITE_READONLY, "could not be written"},
        {SQLITE_READONLY_DBMOVED, "could not be written"},
        {SQLITE_CANTOPEN, "could not be written"},
        {SQLITE_BUSY, nullptr},
        {SQLITE_CONSTRAINT, nullptr},
        {SQLITE_CONSTRAINT_TRIGGER, nullptr},
        {SQLITE_CORRUPT, nullptr},
        {SQLITE_ERROR, nullptr},
    };
    const std::string cache = "/nowhere/ScanCache.sqlite";
    for (const auto& c : cases) {
        const auto fault = SQLiteFailure::lastingWriteFault(SQLiteError(c.code, "message"), cache);
        if (!c.saying) {
            EXPECT_FALSE(fault) << c.code;
            continue;
        }
        ASSERT_TRUE(fault) << c.code;
        EXPECT_NE(fault->find(c.saying), std::string::npos) << *fault;
        // The user is told where: the disk's mount point, or the cache itself.
        EXPECT_NE(fault->find(c.code == SQLITE_FULL ? "(/" : cache), std::string::npos) << *fault;
    }
    // Not a failure of the cache at all.
    EXPECT_FALSE(SQLiteFailure::lastingWriteFault(std::runtime_error("disk full"), cache));
}

// A connection may close while the program ends, on a thread it did not wait for: it still
// asks whether damage was met on its file. Handlers registered with atexit before the record
// of damage is made run after the record's end, as such a thread may.
TEST(SQLiteFailureDeathTest, AConnectionClosingAsTheProgramEndsStillFindsTheRecordOfDamage)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            static TempDir* folder = new TempDir;
            static std::unique_ptr<SQLiteConnection> lingering;
            std::atexit([] {
                lingering.reset();
                delete folder;
            });
            lingering = std::make_unique<SQLiteConnection>(folder->file("ScanCache.sqlite"));
            SQLiteFailure::noteDamage(folder->file("ScanCache.sqlite"), "SQLite error 11: database disk image is malformed");
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

// A file system gives a deleted file's identity to the next file it makes: a cache made where a
// damaged one was deleted starts sound.
TEST(SQLiteFailure, DamageStaysWithTheFileItWasMetOn)
{
    TempDir folder;
    const std::string path = folder.write("ScanCache.sqlite", "damaged");
    SQLiteFailure::noteDamage(path, "SQLite error 11: database disk image is malformed");
    EXPECT_EQ(SQLiteFailure::damageMet(path), "SQLite error 11: database disk image is malformed");
    std::filesystem::remove(path);
    folder.write("ScanCache.sqlite", "new");
    EXPECT_EQ(SQLiteFailure::damageMet(path), std::nullopt);
}

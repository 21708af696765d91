#include "index/CacheCompactor.h"
#include "index/CacheMaintenance.h"
#include "index/ScanCacheTestSupport.h"
#include "support/Eventually.h"
#include "support/HeldGate.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class CacheCompactorTest : public ScanCacheFixture {
protected:
    static constexpr int folders = 10;
    static constexpr int filesPerFolder = 1200;

    // Folders of files under /r, of which every `keepEvery`th is there: enough rows that
    // the room they leave is worth compacting.
    static std::vector<Entry> tree(int keepEvery)
    {
        std::vector<Entry> entries = {{.path = "/r"}};
        for (int f = 0; f < folders; ++f) {
            Entry entry{.path = "/r/folder-" + std::to_string(f)};
            for (int i = 0; i < filesPerFolder; i += keepEvery)
                entry.files.push_back(file("a-file-with-a-name-of-some-length-" + std::to_string(i) + ".txt", 4096));
            entries.push_back(std::move(entry));
        }
        return entries;
    }
    std::int64_t pages() { return committed("PRAGMA page_count"); }
    std::int64_t logBytes() const
    {
        struct stat info {};
        return ::stat((path() + "-wal").c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_size) : 0;
    }
};

} // namespace

TEST(CacheMaintenance, CompactsAndEmptiesTheLogWhereThatGivesBackAFifthAndSomeMegabytes)
{
    constexpr std::int64_t mb = 1 << 20;
    struct Case { CacheMaintenance::Room room; bool loose; bool logLarge; };
    const Case cases[] = {
        {{.fileBytes = 10 * mb, .emptyBytes = 2 * mb + 1}, true, false},
        {{.fileBytes = 10 * mb, .emptyBytes = 2 * mb}, false, false},
        {{.fileBytes = 4 * mb, .emptyBytes = mb - 1, .logBytes = 8 * mb - 1}, false, false},
        {{.fileBytes = 4 * mb, .emptyBytes = mb, .logBytes = 8 * mb}, true, true},
        {{.fileBytes = 100 * mb, .emptyBytes = 19 * mb, .logBytes = 64 * mb}, false, true},
        {{.fileBytes = 1000 * mb, .emptyBytes = 300 * mb, .logBytes = 64 * mb}, true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CacheMaintenance::isLoose(c.room), c.loose) << c.room.fileBytes << " " << c.room.emptyBytes;
        EXPECT_EQ(CacheMaintenance::logIsLarge(c.room), c.logLarge) << c.room.fileBytes << " " << c.room.logBytes;
    }
}

TEST_F(CacheCompactorTest, TheScanAfterRowsWentLeavesTheFileCompactedAndItsLogEmpty)
{
    scanTree("/r", tree(1));
    db->waitForIndexes();
    const std::int64_t whole = pages();
    scanTree("/r", tree(4));
    EXPECT_TRUE(eventually([&] { return pages() < whole / 2 && logBytes() == 0; }))
        << pages() << " of " << whole << " pages, " << logBytes() << " bytes of log";
    EXPECT_EQ(committed("SELECT COUNT(*) FROM files"), folders * filesPerFolder / 4);
    // The next scan's writes wait for the rewrite, if it still runs, and find every row.
    scanTree("/r", tree(1));
    EXPECT_EQ(committed("SELECT COUNT(*) FROM files"), folders * filesPerFolder);
    EXPECT_EQ(db->folder("/r")->fileCount, folders * filesPerFolder);
}

TEST_F(CacheCompactorTest, RewritesOnlyWhenTheCacheLetsItAndHoldsItsWritesWhileItAsks)
{
    scanTree("/r", tree(1));
    db.reset();   // and with it the cache's own compactions
    executeOutside("DELETE FROM files WHERE id % 4 <> 0;");
    const std::int64_t loose = pages();
    for (const bool allowed : {false, true}) {
        HeldGate asking;
        CacheCompactor compactor(path(), [&, pass = asking.passage()] {
            pass();
            return allowed;
        });
        ASSERT_TRUE(asking.waitForArrivals(1));
        EXPECT_TRUE(compactor.holdsWrites());
        asking.open();
        compactor.waitForWrites();
        ASSERT_TRUE(eventually([&] { return compactor.isFinished(); }));
        EXPECT_EQ(pages() < loose / 2, allowed) << pages() << " of " << loose << " pages";
    }
}

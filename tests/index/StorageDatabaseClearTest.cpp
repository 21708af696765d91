#include "index/ScanCacheTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class StorageDatabaseClearTest : public ScanCacheFixture {
protected:
    void fill()
    {
        std::vector<ScannedFile> files;
        for (int i = 0; i < 400; ++i)
            files.push_back(file("file" + std::to_string(i), 4096));
        scanTree("/r", {{.path = "/r", .files = files}});
        for (int i = 0; i < 40; ++i)
            db->logError("/r/" + std::to_string(i), "m");
        db->commit();
    }
    std::int64_t rows()
    {
        std::int64_t total = 0;
        for (const char* table : {"files", "folders", "scans", "history", "category_totals", "errors"})
            total += committed(std::string("SELECT COUNT(*) FROM ") + table);
        return total;
    }
};

TEST_F(StorageDatabaseClearTest, EmptiesEveryTableButTheVersionAndGivesTheSpaceBack)
{
    fill();
    const std::int64_t before = db->databaseFileSize();
    ASSERT_GT(rows(), 0);
    db->clearAll();
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(committed("SELECT value FROM meta WHERE key = 'schema_version'"), 2);
    // Without folding the log back the vacuumed copy would sit beside the old file.
    EXPECT_LT(db->databaseFileSize(), before);
    EXPECT_GT(db->startScan({"/r"}).id(), 0);
}

TEST_F(StorageDatabaseClearTest, AFailureHalfwayKeepsEveryRow)
{
    fill();
    const std::int64_t before = rows();
    // Fails after files and folders were already deleted within the transaction.
    executeOutside("CREATE TRIGGER refuse BEFORE DELETE ON scans BEGIN SELECT RAISE(ABORT, 'disk trouble'); END;");
    try {
        db->clearAll();
        FAIL() << "the clear reported success";
    } catch (const SQLiteError& error) {
        EXPECT_NE(error.description().find("disk trouble"), std::string::npos);
    }
    EXPECT_EQ(rows(), before);
    // The connection is usable afterwards and no transaction is left open.
    executeOutside("DROP TRIGGER refuse;");
    EXPECT_EQ(db->rootFolders().size(), 1u);
    db->clearAll();
    EXPECT_EQ(rows(), 0);
}

} // namespace

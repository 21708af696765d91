#include "scanning/StoredRowsReader.h"

#include "index/SQLiteConnection.h"
#include "index/StorageDatabase.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

// Whether a checkpoint that starts the log over had to give up for a read still open.
bool restartBlocked(SQLiteConnection& writer)
{
    bool blocked = false;
    writer.query("PRAGMA wal_checkpoint(RESTART)", {},
                 [&](SQLiteConnection::Statement& row) { blocked = row.integer(0) != 0; });
    return blocked;
}

} // namespace

TEST(StoredRowsReader, OneReadSpansFoldersWithTheRewritesOfItsStartAndEndsBeforeTheLogMustStartOver)
{
    TempDir dir;
    const std::string path = dir.file("cache.db");
    StorageDatabase database(path);
    database.ensureRoot("/r", 1.0);
    database.commit();
    SQLiteConnection writer(path);
    writer.execute("PRAGMA busy_timeout=0;");

    StoredRowsReader reader(std::make_unique<SQLiteConnection>(path, SQLiteConnection::Access::readAlongside));
    EXPECT_EQ(reader.begin(5), 5u);
    const auto folders = [&] { return reader.connection().scalarInt("SELECT COUNT(*) FROM folders"); };
    EXPECT_EQ(folders(), 1);
    writer.execute("INSERT INTO folders(parent_id, path, name) VALUES(NULL, '/s', 's');");

    // The read goes on from the snapshot it started with: what was committed since is not in
    // it, so its comparisons count only the rewrites noted when it started.
    reader.folderCompared();
    EXPECT_EQ(reader.begin(9), 5u);
    EXPECT_EQ(folders(), 1);
    EXPECT_TRUE(restartBlocked(writer));

    for (int i = 1; i < StoredRowsReader::foldersPerRead; ++i)
        reader.folderCompared();
    EXPECT_FALSE(reader.isReading());
    EXPECT_FALSE(restartBlocked(writer));
    EXPECT_EQ(reader.begin(9), 9u);
    EXPECT_EQ(folders(), 2);

    // Ended at once when the worker is about to wait; ending twice is harmless.
    reader.end();
    reader.end();
    EXPECT_FALSE(reader.isReading());
    EXPECT_FALSE(restartBlocked(writer));
}

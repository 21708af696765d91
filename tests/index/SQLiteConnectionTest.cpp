#include "index/SQLiteConnection.h"
#include "index/ScanCacheTestSupport.h"

#include <gtest/gtest.h>

#include <sqlite3.h>


TEST(SQLiteConnection, StatementsAreCachedByExactTextAndHandedOutClean)
{
    TempDir dir;
    SQLiteConnection db(dir.file("t.sqlite"));
    db.execute("CREATE TABLE t(a INTEGER, b TEXT);");

    auto first = db.prepare("SELECT ?, ?");
    first.bind({7, "seven"});
    ASSERT_TRUE(first.step());
    auto again = db.prepare("SELECT ?, ?");
    EXPECT_EQ(again.handle(), first.handle());
    // Reset and unbound: the earlier bindings must not leak into this use.
    ASSERT_TRUE(again.step());
    EXPECT_TRUE(again.isNull(0));
    EXPECT_EQ(again.text(1), "");

    const auto before = db.cachedStatementCount();
    db.prepare("SELECT  ?, ?");   // differs only in white space: a second entry
    EXPECT_EQ(db.cachedStatementCount(), before + 1);

    // Long texts of one length that differ only in their middle are two statements too.
    const std::string padding(200, ' ');
    const auto longText = [&](char value) { return "SELECT ?, ?," + padding + "'" + value + "'" + padding; };
    auto x = db.prepare(longText('x'));
    auto y = db.prepare(longText('y'));
    EXPECT_NE(x.handle(), y.handle());
    ASSERT_TRUE(y.step());
    EXPECT_EQ(y.text(2), "y");
    EXPECT_EQ(db.prepare(longText('x')).handle(), x.handle());

    // A statement once handed out for binding every parameter again is unbound on its next
    // ordinary use.
    auto rebound = db.prepareToRebind("SELECT ?, ?");
    EXPECT_EQ(rebound.handle(), first.handle());
    rebound.bind({8, "eight"});
    ASSERT_TRUE(rebound.step());
    ASSERT_TRUE(db.prepare("SELECT ?, ?").step());
    EXPECT_TRUE(again.isNull(0));

    // A statement left mid-way by a failure is clean on its next use.
    db.execute("CREATE UNIQUE INDEX t_a ON t(a);");
    db.run("INSERT INTO t(a, b) VALUES(?, ?)", {1, "x"});
    EXPECT_EQ(sqliteFailure([&] { db.run("INSERT INTO t(a, b) VALUES(?, ?)", {1, "y"}); }).code(), SQLITE_CONSTRAINT);
    EXPECT_EQ(db.run("INSERT INTO t(a, b) VALUES(?, ?)", {2, "y"}), 1);
    EXPECT_EQ(db.lastInsertRowID(), 2);
}

TEST(SQLiteConnection, FailuresCarrySQLiteCodesAndExactTexts)
{
    TempDir dir;
    const auto missingFolder = sqliteFailure([&] { SQLiteConnection(dir.file("missing/t.sqlite")); });
    EXPECT_EQ(missingFolder.code(), SQLITE_CANTOPEN);
    EXPECT_EQ(missingFolder.description(), "SQLite error 14: unable to open database file");
    EXPECT_STREQ(missingFolder.what(), missingFolder.description().c_str());

    SQLiteConnection db(dir.file("t.sqlite"));
    struct Case { std::function<void()> body; int code; std::string description; };
    const Case cases[] = {
        {.body = [&] { db.execute("CREATE TABLE"); },
         .code = SQLITE_ERROR,
         .description = "SQLite error 1: incomplete input"},
        {.body = [&] { db.prepare("SELECT x FROM nowhere"); },
         .code = SQLITE_ERROR,
         .description = "SQLite error 1: no such table: nowhere"},
        {.body = [&] { db.prepare(""); }, .code = 0, .description = "SQLite error 0: not an error"},
        {.body = [&] { db.prepare("SELECT ?").bind({1, 2, 3}); },
         .code = SQLITE_RANGE,
         .description = "SQLite error 25: bind failed at 2"},
    };
    for (const auto& c : cases) {
        const auto error = sqliteFailure(c.body);
        EXPECT_EQ(error.code(), c.code) << c.description;
        EXPECT_EQ(error.description(), c.description);
    }
}

TEST(SQLiteConnection, ScalarAndTextReadingRules)
{
    TempDir dir;
    SQLiteConnection db(dir.file("t.sqlite"));
    db.execute("CREATE TABLE n(v INTEGER, s TEXT); INSERT INTO n VALUES(5, NULL); INSERT INTO n VALUES(9, 'é');");
    EXPECT_EQ(db.scalarInt("SELECT v FROM n WHERE v > 100"), 0);
    EXPECT_EQ(db.scalarInt("SELECT v FROM n ORDER BY v DESC"), 9);
    EXPECT_EQ(db.scalarInt("SELECT v FROM n WHERE v = ?", {5}), 5);

    std::vector<std::string> texts;
    db.query("SELECT s FROM n ORDER BY v", {}, [&](SQLiteConnection::Statement& row) { texts.push_back(row.text(0)); });
    EXPECT_EQ(texts, (std::vector<std::string>{"", "é"}));

    // Unsigned inode numbers keep every bit through the signed column.
    const std::uint64_t inode = 0xFFFF'FFFF'FFFF'FFF0ULL;
    db.run("INSERT INTO n(v) VALUES(?)", {inode});
    EXPECT_EQ(static_cast<std::uint64_t>(db.scalarInt("SELECT v FROM n WHERE s IS NULL AND v < 0")), inode);
}

TEST(SQLiteConnection, EachRowWriteIsReportedWithItsKindAndTable)
{
    using Write = SQLiteConnection::RowWrite;
    TempDir dir;
    SQLiteConnection db(dir.file("t.sqlite"));
    db.execute("CREATE TABLE a(v INTEGER); CREATE TABLE b(v INTEGER);");
    std::vector<std::pair<Write, std::string>> seen;
    db.onRowWrite([&](Write write, std::string_view table) { seen.emplace_back(write, table); });
    struct Case { const char* sql; std::vector<std::pair<Write, std::string>> expected; };
    const Case cases[] = {
        {.sql = "INSERT INTO a VALUES(1); INSERT INTO a VALUES(2);",
         .expected = {{Write::insert, "a"}, {Write::insert, "a"}}},
        {.sql = "UPDATE a SET v = 3 WHERE v = 2;", .expected = {{Write::update, "a"}}},
        {.sql = "DELETE FROM a WHERE v = 3;", .expected = {{Write::remove, "a"}}},
        {.sql = "INSERT INTO b VALUES(4);", .expected = {{Write::insert, "b"}}},
    };
    for (const auto& c : cases) {
        seen.clear();
        db.execute(c.sql);
        EXPECT_EQ(seen, c.expected) << c.sql;
    }
    db.onRowWrite({});
    seen.clear();
    db.execute("INSERT INTO a VALUES(5);");
    EXPECT_TRUE(seen.empty());
}

#pragma once

class SQLiteConnection;

// A write transaction that takes the write lock as it begins. What it holds is kept only by
// commit(); a transaction that ends otherwise is rolled back. SQLite may roll it back itself
// (a full disk, an I/O error), after which the connection is in autocommit again.
class WriteTransaction {
public:
    struct Adopt {};

    // "BEGIN IMMEDIATE". Fails with SQLiteError.
    explicit WriteTransaction(SQLiteConnection& db);
    // Takes over the transaction that is open on the connection.
    WriteTransaction(SQLiteConnection& db, Adopt);
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;

    // Fails with SQLiteError; the transaction then stays open, to be committed again.
    void commit();

private:
    SQLiteConnection& db_;
    bool committed_ = false;
};

#pragma once

class SQLiteConnection;

// One snapshot for several queries, unless the connection has a transaction open already.
// Each read transaction takes the cache's shared-memory lock, which every connection of the
// process waits on; in autocommit each query would take it again.
class ReadTransaction {
public:
    // Fails with SQLiteError.
    explicit ReadTransaction(SQLiteConnection& db);
    // Ends the read it began; it only read, so nothing is lost or reported.
    ~ReadTransaction();
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    SQLiteConnection& db_;
    const bool owned_;
};

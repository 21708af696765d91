#include "index/ReadTransaction.h"

#include "index/SQLiteConnection.h"

ReadTransaction::ReadTransaction(SQLiteConnection& db) : db_(db), owned_(db.isAutocommit())
{
    if (owned_) db_.runValues("BEGIN");
}

ReadTransaction::~ReadTransaction()
{
    try {
        if (owned_ && !db_.isAutocommit()) db_.runValues("COMMIT");
    } catch (const std::exception&) {
    }
}

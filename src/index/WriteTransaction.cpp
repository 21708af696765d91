#include "index/WriteTransaction.h"

#include "index/SQLiteConnection.h"

WriteTransaction::WriteTransaction(SQLiteConnection& db) : db_(db) { db_.execute("BEGIN IMMEDIATE;"); }

WriteTransaction::WriteTransaction(SQLiteConnection& db, Adopt) : db_(db) {}

WriteTransaction::~WriteTransaction()
{
    if (!committed_) db_.rollback();
}

void WriteTransaction::commit()
{
    db_.execute("COMMIT;");
    committed_ = true;
}

#include "index/SQLiteError.h"

SQLiteError::SQLiteError(int code, std::string message)
    : code_(code), message_(std::move(message)),
      description_("SQLite error " + std::to_string(code) + ": " + message_)
{
}

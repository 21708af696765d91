#pragma once

#include <exception>
#include <string>

// A failure of the scan cache: the SQLite result code and its message.
class SQLiteError : public std::exception {
public:
    SQLiteError(int code, std::string message);

    int code() const { return code_; }
    const std::string& message() const { return message_; }
    // "SQLite error <code>: <message>", the one text form wherever the error is shown.
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    int code_;
    std::string message_;
    std::string description_;
};

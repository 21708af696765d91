#pragma once

#include "index/SQLValue.h"
#include "index/SQLiteError.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <type_traits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// One open SQLite database with every statement it ever prepared kept for reuse,
// keyed by the exact SQL text. Not thread-safe: its owner serializes all use.
class SQLiteConnection {
public:
    // A prepared statement of the connection's cache; it does not own the statement.
    class Statement {
    public:
        explicit Statement(sqlite3_stmt* handle) : handle_(handle) {}

        // Binds values to parameters 1, 2, 3, ... Fails with "bind failed at <i>".
        void bind(const std::vector<SQLValue>& values);
        // The same without building SQLValues, for the statements run once per file:
        // integers, doubles, text, optional integers (NULL when absent) and nullptr.
        template <class... Values>
        void bindValues(const Values&... values)
        {
            int index = 0;
            (bindOne(++index, values), ...);
        }
        // True for a row, false when done. Any other result resets the statement and fails.
        bool step();
        // Ends a statement stepped to its end, or left before it, keeping its bindings.
        void reset();

        std::int64_t integer(int column) const;
        double real(int column) const;
        // A NULL column reads as the empty text.
        std::string text(int column) const;
        // The same without a copy, valid until the next step or reset.
        std::string_view textView(int column) const;
        bool isNull(int column) const;

        sqlite3_stmt* handle() const { return handle_; }

    private:
        template <class Value>
        void bindOne(int index, const Value& value)
        {
            if constexpr (std::is_same_v<Value, double>)
                bindReal(index, value);
            else if constexpr (std::is_integral_v<Value>)
                bindInteger(index, static_cast<std::int64_t>(value));
            else if constexpr (std::is_same_v<Value, std::optional<std::int64_t>>)
                value ? bindInteger(index, *value) : bindNull(index);
            else if constexpr (std::is_same_v<Value, std::nullptr_t>)
                bindNull(index);
            else
                bindText(index, std::string_view(value));
        }
        void bindInteger(int index, std::int64_t value);
        void bindReal(int index, double value);
        void bindText(int index, std::string_view value);
        void bindNull(int index);

        sqlite3_stmt* handle_;
    };

    // readAlongside: read-only beside a writer of the same file, seeing each of its commits.
    enum class Access { readWrite, readOnly, readAlongside };
    // Opens or creates the database file; read-only, opens an existing one without writing
    // anything beside it, even in a folder it cannot write. Fails with SQLiteError.
    explicit SQLiteConnection(const std::string& path, Access access = Access::readWrite);
    ~SQLiteConnection();
    SQLiteConnection(const SQLiteConnection&) = delete;
    SQLiteConnection& operator=(const SQLiteConnection&) = delete;

    // Runs a script of one or more statements without parameters or results.
    void execute(const std::string& script);
    // The cached statement for this text, reset and with no bindings; prepared on first use.
    Statement prepare(std::string_view sql);
    // The same keeping the last bindings, for a caller that binds every parameter again:
    // clearing them walks every parameter, hundreds in a statement of many rows.
    Statement prepareToRebind(std::string_view sql);

    // Prepares, binds and steps to the end; returns the change count.
    std::int64_t run(std::string_view sql, const std::vector<SQLValue>& values = {});
    // As run(), binding with Statement::bindValues.
    template <class... Values>
    std::int64_t runValues(std::string_view sql, const Values&... values)
    {
        auto statement = prepare(sql);
        statement.bindValues(values...);
        while (statement.step()) {
        }
        return changes();
    }
    // Prepares, binds and calls `row` for each result row.
    void query(std::string_view sql, const std::vector<SQLValue>& values, const std::function<void(Statement&)>& row);
    // Column 0 of the first row, or 0 when there is none.
    std::int64_t scalarInt(std::string_view sql, const std::vector<SQLValue>& values = {});

    std::int64_t changes() const;
    std::int64_t lastInsertRowID() const;
    // False while a transaction is open; SQLite clears it when it rolls a transaction back itself.
    bool isAutocommit() const;
    std::size_t cachedStatementCount() const { return cache_.size(); }
    sqlite3* handle() const { return handle_; }

private:
    // A long text is hashed by its length and its ends: the long ones are statements of many
    // rows, looked up once per chunk of rows, which differ in length. Texts that share all
    // three only share a bucket.
    struct TextHash {
        using is_transparent = void;
        static constexpr std::size_t endLength = 64;
        std::size_t operator()(std::string_view text) const
        {
            const std::hash<std::string_view> hash;
            if (text.size() <= 2 * endLength) return hash(text);
            return hash(text.substr(0, endLength)) ^ (hash(text.substr(text.size() - endLength)) * 31) ^
                   (text.size() * 0x9E3779B97F4A7C15ull);
        }
    };

    sqlite3* handle_ = nullptr;
    std::unordered_map<std::string, sqlite3_stmt*, TextHash, std::equal_to<>> cache_;
};

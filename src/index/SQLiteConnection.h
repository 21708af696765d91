#pragma once

#include "index/SQLValue.h"
#include "index/SQLiteError.h"
#include "index/SQLiteFailure.h"

#include <atomic>
#include <chrono>
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
            (bindAt(++index, values), ...);
        }
        // One value to parameter `index`, as bindValues() binds it.
        template <class Value>
        void bindAt(int index, const Value& value)
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
        // Text that SQLite reads in place, without a copy: it must stay until the statement
        // is reset. For the names of the rows written many to a statement.
        void bindTextInPlace(int index, std::string_view value);
        // True for a row, false when done. Any other result resets the statement and fails.
        bool step();
        // Steps once and resets, for a write; fails like step().
        void runOnce();
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
        void bindInteger(int index, std::int64_t value);
        void bindReal(int index, double value);
        void bindText(int index, std::string_view value);
        void bindNull(int index);

        sqlite3_stmt* handle_;
    };

    // readAlongside: read-only beside a writer of the same file, seeing each of its commits.
    enum class Access { readWrite, readOnly, readAlongside };
    // How long a statement waits for a lock another connection holds before it fails with
    // SQLITE_BUSY.
    static constexpr std::chrono::milliseconds defaultBusyTimeout{5000};
    // Opens or creates the database file; read-only, opens an existing one without writing
    // anything beside it, even in a folder it cannot write. Fails with SQLiteError.
    explicit SQLiteConnection(const std::string& path, Access access = Access::readWrite,
                              std::chrono::milliseconds busyTimeout = defaultBusyTimeout);
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
    // Rows written through this connection since it opened.
    std::int64_t totalChanges() const;
    std::int64_t lastInsertRowID() const;
    // False while a transaction is open; SQLite clears it when it rolls a transaction back itself.
    bool isAutocommit() const;
    // Undoes the open transaction, if any; never fails: a transaction SQLite could not roll
    // back is rolled back by the next opening.
    void rollback() noexcept;
    // The database file's path; empty for a database in memory.
    std::string fileName() const;
    // Whether the file was opened read-only.
    bool isReadOnly() const;
    // Hands back the memory of the page cache that no transaction holds.
    void releaseMemory() noexcept;

    // Copies the write-ahead log into the database file; the result is not reported, since
    // a copy that could not be made is made by a later one.
    enum class Checkpoint { passive, restart };
    void checkpoint(Checkpoint mode) noexcept;
    // Called after every commit with the pages in the log, on the committing thread; an empty
    // function stops the calls.
    void onCommit(std::function<void(int logPages)> hook);
    // Called for each row a statement of this connection inserts, updates or deletes, with
    // its table's name; an empty function stops the calls. Emptying a whole table passes by.
    enum class RowWrite { insert, update, remove };
    void onRowWrite(std::function<void(RowWrite, std::string_view table)> hook);
    // Every statement under way fails with SQLITE_INTERRUPT once `stop` is set; SQLite asks
    // between steps of its virtual machine.
    void interruptWhen(const std::atomic<bool>& stop);

    std::size_t cachedStatementCount() const { return cache_.size(); }
    // For what only SQLite's own interface can do, such as registering an SQL function.
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
    std::optional<SQLiteFailure::FileIdentity> file_;   // the database file as opened
    std::function<void(int)> commitHook_;
    std::function<void(RowWrite, std::string_view)> rowHook_;
    std::unordered_map<std::string, sqlite3_stmt*, TextHash, std::equal_to<>> cache_;
};

#include "index/SQLiteConnection.h"

#include "index/SQLiteFailure.h"
#include "platform/Paths.h"

#include <sqlite3.h>

namespace {

constexpr int openFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;

sqlite3* openHandle(const std::string& name, int flags)
{
    // Memory statistics take one process-wide lock on every allocation, which the scan's
    // readers and writer would all queue for. Settable only before SQLite starts; a program
    // that started it already keeps its setting.
    static const bool configured = [] {
        sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
        return true;
    }();
    (void)configured;
    sqlite3* handle = nullptr;
    const int result = sqlite3_open_v2(name.c_str(), &handle, flags, nullptr);
    if (result != SQLITE_OK) {
        std::string message = handle ? sqlite3_errmsg(handle) : "Unable to open database";
        sqlite3_close(handle);
        throw SQLiteError(result, std::move(message));
    }
    return handle;
}

// Fails with the result; damage to the file is remembered first, so that whoever opens the
// cache next learns of it whichever connection met it.
[[noreturn]] void fail(sqlite3* handle, int result, std::string message)
{
    SQLiteError error(result, std::move(message));
    if (SQLiteFailure::isDamage(result))
        if (const char* file = sqlite3_db_filename(handle, "main"))
            SQLiteFailure::noteDamage(file, error.description());
    throw error;
}

} // namespace

SQLiteConnection::SQLiteConnection(const std::string& path, Access access, std::chrono::milliseconds busyTimeout)
{
    if (access == Access::readWrite) {
        handle_ = openHandle(path, openFlags);
    } else if (access == Access::readAlongside) {
        // Never as an immutable file: that would read past the writer's log.
        handle_ = openHandle(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
    } else {
        handle_ = openHandle(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX);
        // A log-mode database needs its shared-memory file, which a folder that cannot be
        // written may lack: read it then as a file that nothing changes.
        if (sqlite3_exec(handle_, "SELECT COUNT(*) FROM sqlite_schema;", nullptr, nullptr, nullptr) != SQLITE_OK) {
            sqlite3_close(handle_);
            handle_ = nullptr;
            handle_ = openHandle("file:" + Paths::percentEncoded(path) + "?immutable=1",
                                 SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI);
        }
    }
    sqlite3_busy_timeout(handle_, static_cast<int>(busyTimeout.count()));
    file_ = SQLiteFailure::identityOf(path);
}

SQLiteConnection::~SQLiteConnection()
{
    // A damaged cache is set aside under another name while connections to it may still be
    // open; the last one to close would remove the log and shared memory files by their
    // names, which by then are those of the new cache.
    if (file_ && SQLiteFailure::wasDamaged(*file_)) {
        int persist = 1;
        sqlite3_file_control(handle_, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
    }
    for (auto& [text, statement] : cache_) sqlite3_finalize(statement);
    cache_.clear();
    sqlite3_close(handle_);
}

void SQLiteConnection::execute(const std::string& script)
{
    char* error = nullptr;
    const int result = sqlite3_exec(handle_, script.c_str(), nullptr, nullptr, &error);
    if (result != SQLITE_OK) {
        std::string message = error ? error : "unknown";
        sqlite3_free(error);
        fail(handle_, result, std::move(message));
    }
}

SQLiteConnection::Statement SQLiteConnection::prepare(std::string_view sql)
{
    Statement statement = prepareToRebind(sql);
    sqlite3_clear_bindings(statement.handle());
    return statement;
}

SQLiteConnection::Statement SQLiteConnection::prepareToRebind(std::string_view sql)
{
    if (auto found = cache_.find(sql); found != cache_.end()) {
        sqlite3_reset(found->second);
        return Statement(found->second);
    }
    std::string text(sql);
    sqlite3_stmt* statement = nullptr;
    const int result = sqlite3_prepare_v2(handle_, text.c_str(), -1, &statement, nullptr);
    if (result != SQLITE_OK || statement == nullptr) {
        sqlite3_finalize(statement);
        fail(handle_, result, sqlite3_errmsg(handle_));
    }
    cache_.emplace(std::move(text), statement);
    return Statement(statement);
}

namespace {

void checkBound(int result, int index)
{
    if (result != SQLITE_OK) throw SQLiteError(result, "bind failed at " + std::to_string(index));
}

} // namespace

void SQLiteConnection::Statement::bind(const std::vector<SQLValue>& values)
{
    int index = 1;
    for (const auto& value : values) {
        switch (value.kind()) {
        case SQLValue::Kind::integer: bindInteger(index, value.integer()); break;
        case SQLValue::Kind::real: bindReal(index, value.real()); break;
        case SQLValue::Kind::text: bindText(index, value.text()); break;
        case SQLValue::Kind::null: bindNull(index); break;
        }
        ++index;
    }
}

void SQLiteConnection::Statement::bindInteger(int index, std::int64_t value)
{
    checkBound(sqlite3_bind_int64(handle_, index, value), index);
}

void SQLiteConnection::Statement::bindReal(int index, double value)
{
    checkBound(sqlite3_bind_double(handle_, index, value), index);
}

void SQLiteConnection::Statement::bindText(int index, std::string_view value)
{
    checkBound(sqlite3_bind_text64(handle_, index, value.data(), value.size(), SQLITE_TRANSIENT, SQLITE_UTF8), index);
}

void SQLiteConnection::Statement::bindTextInPlace(int index, std::string_view value)
{
    checkBound(sqlite3_bind_text64(handle_, index, value.data(), value.size(), SQLITE_STATIC, SQLITE_UTF8), index);
}

void SQLiteConnection::Statement::bindNull(int index) { checkBound(sqlite3_bind_null(handle_, index), index); }

bool SQLiteConnection::Statement::step()
{
    const int result = sqlite3_step(handle_);
    if (result == SQLITE_ROW) return true;
    if (result == SQLITE_DONE) return false;
    std::string message = sqlite3_errmsg(sqlite3_db_handle(handle_));
    sqlite3_reset(handle_);
    fail(sqlite3_db_handle(handle_), result, std::move(message));
}

void SQLiteConnection::Statement::runOnce()
{
    step();
    sqlite3_reset(handle_);
}

void SQLiteConnection::Statement::reset() { sqlite3_reset(handle_); }

std::int64_t SQLiteConnection::Statement::integer(int column) const { return sqlite3_column_int64(handle_, column); }

double SQLiteConnection::Statement::real(int column) const { return sqlite3_column_double(handle_, column); }

std::string SQLiteConnection::Statement::text(int column) const { return std::string(textView(column)); }

std::string_view SQLiteConnection::Statement::textView(int column) const
{
    const auto* bytes = sqlite3_column_text(handle_, column);
    if (bytes == nullptr) return {};
    return {reinterpret_cast<const char*>(bytes), static_cast<size_t>(sqlite3_column_bytes(handle_, column))};
}

bool SQLiteConnection::Statement::isNull(int column) const
{
    return sqlite3_column_type(handle_, column) == SQLITE_NULL;
}

std::int64_t SQLiteConnection::run(std::string_view sql, const std::vector<SQLValue>& values)
{
    auto statement = prepare(sql);
    statement.bind(values);
    while (statement.step()) {
    }
    return changes();
}

void SQLiteConnection::query(std::string_view sql, const std::vector<SQLValue>& values,
                             const std::function<void(Statement&)>& row)
{
    auto statement = prepare(sql);
    statement.bind(values);
    while (statement.step()) row(statement);
}

std::int64_t SQLiteConnection::scalarInt(std::string_view sql, const std::vector<SQLValue>& values)
{
    std::optional<std::int64_t> first;
    query(sql, values, [&](Statement& row) {
        if (!first) first = row.integer(0);
    });
    return first.value_or(0);
}

std::int64_t SQLiteConnection::changes() const { return sqlite3_changes64(handle_); }

std::int64_t SQLiteConnection::totalChanges() const { return sqlite3_total_changes64(handle_); }

std::int64_t SQLiteConnection::lastInsertRowID() const { return sqlite3_last_insert_rowid(handle_); }

bool SQLiteConnection::isAutocommit() const { return sqlite3_get_autocommit(handle_) != 0; }

void SQLiteConnection::rollback() noexcept
{
    if (!isAutocommit()) sqlite3_exec(handle_, "ROLLBACK;", nullptr, nullptr, nullptr);
}

std::string SQLiteConnection::fileName() const
{
    const char* file = sqlite3_db_filename(handle_, "main");
    return file ? std::string(file) : std::string();
}

bool SQLiteConnection::isReadOnly() const { return sqlite3_db_readonly(handle_, "main") == 1; }

void SQLiteConnection::releaseMemory() noexcept { sqlite3_db_release_memory(handle_); }

void SQLiteConnection::checkpoint(Checkpoint mode) noexcept
{
    const int kind = mode == Checkpoint::restart ? SQLITE_CHECKPOINT_RESTART : SQLITE_CHECKPOINT_PASSIVE;
    sqlite3_wal_checkpoint_v2(handle_, "main", kind, nullptr, nullptr);
}

void SQLiteConnection::onCommit(std::function<void(int logPages)> hook)
{
    commitHook_ = std::move(hook);
    if (!commitHook_) {
        sqlite3_wal_hook(handle_, nullptr, nullptr);
        return;
    }
    sqlite3_wal_hook(
        handle_,
        [](void* self, sqlite3*, const char*, int logPages) {
            static_cast<SQLiteConnection*>(self)->commitHook_(logPages);
            return SQLITE_OK;
        },
        this);
}

void SQLiteConnection::onRowWrite(std::function<void(RowWrite, std::string_view table)> hook)
{
    rowHook_ = std::move(hook);
    if (!rowHook_) {
        sqlite3_update_hook(handle_, nullptr, nullptr);
        return;
    }
    sqlite3_update_hook(
        handle_,
        [](void* self, int operation, const char*, const char* table, sqlite3_int64) {
            const RowWrite write = operation == SQLITE_INSERT   ? RowWrite::insert
                                   : operation == SQLITE_DELETE ? RowWrite::remove
                                                                : RowWrite::update;
            static_cast<SQLiteConnection*>(self)->rowHook_(write, table);
        },
        this);
}

void SQLiteConnection::interruptWhen(const std::atomic<bool>& stop)
{
    sqlite3_progress_handler(
        handle_, 1000, [](void* flag) { return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0; },
        const_cast<std::atomic<bool>*>(&stop));
}

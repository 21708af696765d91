#include "index/UnicodeLower.h"

#include "index/CaseFolding.h"
#include "index/SQLiteConnection.h"

#include <sqlite3.h>

#include <new>
#include <string>
#include <string_view>

namespace UnicodeLower {

namespace {

// Runs once per row of a search, so it returns a number rather than a lowered copy for
// SQLite to allocate, and lowers ASCII names, the common case, in a reused buffer.
void globFunction(sqlite3_context* context, int, sqlite3_value** arguments)
{
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL || sqlite3_value_type(arguments[1]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* pattern = reinterpret_cast<const char*>(sqlite3_value_text(arguments[0]));
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(arguments[1]));
    if (!pattern || !text) {
        sqlite3_result_error_nomem(context);
        return;
    }
    const std::string_view input(text, static_cast<std::size_t>(sqlite3_value_bytes(arguments[1])));
    thread_local std::string folded;
    // No exception may cross SQLite's C frames; the only one possible here is running out of memory.
    try {
        folded.assign(input);
        for (char& c : folded) {
            if (static_cast<unsigned char>(c) >= 0x80) {
                folded = CaseFolding::lowercased(input);
                break;
            }
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
    } catch (const std::bad_alloc&) {
        sqlite3_result_error_nomem(context);
        return;
    }
    sqlite3_result_int(context, sqlite3_strglob(pattern, folded.c_str()) == 0 ? 1 : 0);
}

} // namespace

void registerFunction(SQLiteConnection& db)
{
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    const int result = sqlite3_create_function_v2(db.handle(), globFunctionName, 2, flags, nullptr, globFunction,
                                                  nullptr, nullptr, nullptr);
    if (result != SQLITE_OK) throw SQLiteError(result, sqlite3_errmsg(db.handle()));
}

} // namespace UnicodeLower

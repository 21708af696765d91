#include "index/UnicodeLower.h"

#include "index/CaseFolding.h"

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace UnicodeLower {

namespace {

void lowerFunction(sqlite3_context* context, int, sqlite3_value** arguments)
{
    if (sqlite3_value_type(arguments[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(arguments[0]));
    if (!text) {
        sqlite3_result_error_nomem(context);
        return;
    }
    const std::string_view input(text, static_cast<std::size_t>(sqlite3_value_bytes(arguments[0])));
    // Runs once per row of a search: ASCII names, the common case, are lowered in a reused
    // buffer rather than a new string each.
    thread_local std::string folded;
    folded.assign(input);
    for (char& c : folded) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            folded = CaseFolding::lowercased(input);
            break;
        }
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    sqlite3_result_text64(context, folded.data(), folded.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

} // namespace

int registerFunction(sqlite3* db)
{
    return sqlite3_create_function_v2(db, sqlFunctionName, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                      nullptr, lowerFunction, nullptr, nullptr, nullptr);
}

} // namespace UnicodeLower

#pragma once

struct sqlite3;

// Makes the engine's own lower-casing (CaseFolding::lowercased) callable from SQL, so that a
// search pattern and the names it is compared with fold the same way; SQLite's lower()
// folds ASCII letters only.
namespace UnicodeLower {

inline constexpr const char* sqlFunctionName = "unicode_lower";

// Registers unicode_lower(text) as a deterministic function of one argument on the
// connection; NULL stays NULL. Returns SQLite's result code.
int registerFunction(sqlite3* db);

} // namespace UnicodeLower

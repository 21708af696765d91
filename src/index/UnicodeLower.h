#pragma once

class SQLiteConnection;

// Lets SQL match names case-insensitively beyond ASCII. SQLite's lower() folds ASCII letters
// only, so a fully lower-cased pattern such as "ä*" never matched "Äpfel.txt"; here both the
// pattern (by the caller) and the names (by the function) go through CaseFolding::lowercased.
namespace UnicodeLower {

// unicode_glob(pattern, text): 1 when the lower-cased text matches the GLOB pattern, else 0;
// NULL when either is NULL. The pattern is used as given: the caller lower-cases it once.
inline constexpr const char* globFunctionName = "unicode_glob";

// Registers unicode_glob as a deterministic function on the connection. Fails with SQLiteError.
void registerFunction(SQLiteConnection& db);

} // namespace UnicodeLower

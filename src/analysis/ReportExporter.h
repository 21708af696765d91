#pragma once

#include "index/FileRecords.h"

#include <string>
#include <vector>

class DesktopServices;
class SavePanel;

// File lists as comma-separated text that spreadsheets open without running anything.
namespace ReportExporter {

// The sizes are the space each file takes on disk, as the screens show them; the header says so.
inline constexpr const char* csvHeader =
    "Name,Size on disk (bytes),Size on disk,Type,Category,Modified,Created,Path";

// The whole document: header, one line per file, every line ending in "\n".
std::string csv(const std::vector<FileItem>& files);

// One field: defused when a spreadsheet would read it as a formula, quoted when needed.
std::string escapedField(const std::string& field);

// "2024-03-05T14:07:09Z".
std::string internetDateTime(double secondsSince1970);

// Writes `contents` through a temporary file in the same folder that then replaces `path`.
// On failure nothing new is left, and `reason`, when given, receives the system's words for
// it ("Permission denied", "File too large"), or says what other than a file is at `path`.
bool writeAtomically(const std::string& path, const std::string& contents, std::string* reason = nullptr);

// How a save ended; `path` is the chosen place, `reason` why writing there failed.
struct SaveResult {
    enum class Status { cancelled, saved, failed };
    Status status = Status::cancelled;
    std::string path;
    std::string reason;
};

// Asks for a location (name preset to suggestedName + ".csv"), writes the list there and
// reveals the file; a failed write beeps and is returned for the caller to explain.
// Call on the main thread.
SaveResult saveCSV(const std::vector<FileItem>& files, const std::string& suggestedName, SavePanel& panel,
                   DesktopServices& desktop);

} // namespace ReportExporter

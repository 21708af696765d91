#pragma once

#include "index/PathSafety.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class FileSystem;

// The rules every removal passes: may this path go to the Trash, may this
// process be quit. Stateless; safe on any thread.
namespace SecurityUtils {

// What every refusal of the system's own things starts with, and the title of the
// alert that shows such a refusal.
inline constexpr std::string_view protectedTitle = "Protected by the system";

// Standardized, without trailing slashes; with `resolveParent`, the parent
// folder resolved through symbolic links (the last component never is).
std::string normalized(std::string_view path, bool resolveParent);
std::string normalized(std::string_view path, bool resolveParent, const FileSystem& fileSystem);

// With `checkFileSystem`, the path's parent is resolved, the home folder and the
// extra protected paths are resolved too, and the item itself is examined.
PathSafety evaluate(std::string_view path, std::string_view homeDirectory,
                    const std::vector<std::string>& additionalProtected, bool checkFileSystem);
PathSafety evaluate(std::string_view path, std::string_view homeDirectory,
                    const std::vector<std::string>& additionalProtected, bool checkFileSystem,
                    const FileSystem& fileSystem);

// The program itself and its scan cache folder, never to be touched.
std::vector<std::string> appOwnedPaths();

// Absent reason: the process may be quit.
struct ProcessSafety {
    std::optional<std::string> refusal;

    static ProcessSafety allowed() { return {}; }
    static ProcessSafety refused(std::string reason) { return {std::move(reason)}; }
    bool isAllowed() const { return !refusal; }
    friend bool operator==(const ProcessSafety&, const ProcessSafety&) = default;
};

// `parentPID` tells kernel threads (children of pid 2) apart; a name or executable
// path with the kernel's " (deleted)" marker is judged without it.
ProcessSafety evaluateProcess(std::int32_t pid, std::string_view name,
                              const std::optional<std::string>& executablePath,
                              std::optional<std::uint32_t> ownerUID, std::uint32_t currentUID,
                              std::int32_t parentPID = 0);

// True when a name anywhere on `path` holds U+FFFD: the scan stores a name that is not
// UTF-8 with its bad bytes so replaced, so the path may name a sibling instead of the item.
bool hasRepairedName(std::string_view path);

// "/System/Volumes/Data/x" -> "/x", compared ignoring letter case; anything else unchanged.
std::string droppingDataVolumePrefix(std::string_view path);

} // namespace SecurityUtils

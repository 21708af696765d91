#pragma once

#include "platform/gio/DesktopEntry.h"

#include <cstdint>
#include <optional>
#include <string>

// A desktop entry as the reader would give it.
inline DesktopEntry desktopEntry(std::string id, std::string name, std::string filename,
                                 std::optional<std::string> executable)
{
    DesktopEntry e;
    e.id = std::move(id);
    e.name = std::move(name);
    e.filename = std::move(filename);
    e.executable = std::move(executable);
    return e;
}

// The first bytes of a 64-bit ELF executable for the given e_machine (62 is x86-64).
inline std::string elfHeader(std::uint16_t machine = 62)
{
    std::string header = {'\x7F', 'E', 'L', 'F', 2, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0};
    header += static_cast<char>(machine & 0xFF);
    header += static_cast<char>(machine >> 8);
    return header + std::string(44, '\0');
}

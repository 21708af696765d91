#pragma once

#include "index/ApplicationRecords.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Reads the processor architectures named by a Mach-O executable's header,
// thin or fat, or by an ELF executable's header, from the file's first bytes.
namespace MachOInspector {

// Only a regular file is read, at most its first 4096 bytes; anything else
// (missing, a FIFO, a device) gives an empty list.
std::vector<CPUArchitecture> architectures(const std::string& path);

std::vector<CPUArchitecture> architectures(std::span<const std::uint8_t> header);

} // namespace MachOInspector

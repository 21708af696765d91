#include "app/system/MachOInspector.h"

#include "platform/RegularFile.h"

#include <algorithm>

#include <sys/stat.h>

namespace {

constexpr std::size_t headerBytes = 4096;
constexpr std::uint32_t maxFatEntries = 31;

std::uint32_t readBigEndian(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    if (offset + 4 > bytes.size())
        return 0;
    return std::uint32_t(bytes[offset]) << 24 | std::uint32_t(bytes[offset + 1]) << 16
        | std::uint32_t(bytes[offset + 2]) << 8 | std::uint32_t(bytes[offset + 3]);
}

std::uint32_t readLittleEndian(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    if (offset + 4 > bytes.size())
        return 0;
    return std::uint32_t(bytes[offset + 3]) << 24 | std::uint32_t(bytes[offset + 2]) << 16
        | std::uint32_t(bytes[offset + 1]) << 8 | std::uint32_t(bytes[offset]);
}

CPUArchitecture architectureOf(std::uint32_t cpuType)
{
    switch (cpuType) {
    case 0x0100000C: return CPUArchitecture::arm64;
    case 0x01000007: return CPUArchitecture::x86_64;
    case 7: return CPUArchitecture::i386;
    case 0x12:
    case 0x01000012: return CPUArchitecture::powerPC;
    default: return CPUArchitecture::unknown;
    }
}

// e_machine of an ELF header: 16 bits at offset 18, in the byte order of EI_DATA.
CPUArchitecture elfArchitecture(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 20)
        return CPUArchitecture::unknown;
    const bool bigEndian = bytes[5] == 2;
    const std::uint16_t machine = bigEndian ? std::uint16_t(bytes[18] << 8 | bytes[19])
                                            : std::uint16_t(bytes[19] << 8 | bytes[18]);
    switch (machine) {
    case 62: return CPUArchitecture::x86_64;
    case 183: return CPUArchitecture::arm64;
    case 3: return CPUArchitecture::i386;
    case 20:
    case 21: return CPUArchitecture::powerPC;
    default: return CPUArchitecture::unknown;
    }
}

} // namespace

std::vector<CPUArchitecture> MachOInspector::architectures(std::span<const std::uint8_t> bytes)
{
    std::vector<CPUArchitecture> result;
    if (bytes.size() < 8)
        return result;

    const std::uint32_t magic = readBigEndian(bytes, 0);
    if (magic == 0xCAFEBABE || magic == 0xCAFEBABF) {
        const std::uint32_t count = readBigEndian(bytes, 4);
        // Java class files share this magic; their version word reads as a large count.
        if (count == 0 || count > maxFatEntries)
            return result;
        const std::size_t entrySize = magic == 0xCAFEBABE ? 20 : 32;
        for (std::uint32_t i = 0; i < count; ++i) {
            const auto architecture = architectureOf(readBigEndian(bytes, 8 + i * entrySize));
            if (std::find(result.begin(), result.end(), architecture) == result.end())
                result.push_back(architecture);
        }
        return result;
    }
    if (magic == 0xCFFAEDFE || magic == 0xCEFAEDFE)
        result.push_back(architectureOf(readLittleEndian(bytes, 4)));
    else if (magic == 0x7F454C46)
        result.push_back(elfArchitecture(bytes));
    return result;
}

std::vector<CPUArchitecture> MachOInspector::architectures(const std::string& path)
{
    const auto header = RegularFile::readStart(path, headerBytes);
    if (!header)
        return {};
    return architectures(std::span(reinterpret_cast<const std::uint8_t*>(header->data()), header->size()));
}

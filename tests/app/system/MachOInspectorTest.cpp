#include "app/system/MachOInspector.h"

#include "support/Eventually.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Arch = CPUArchitecture;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::uint32_t arm64 = 0x0100000C;
constexpr std::uint32_t x86_64 = 0x01000007;

void putBig(Bytes& b, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(static_cast<std::uint8_t>(v >> shift));
}

void putLittle(Bytes& b, std::uint32_t v)
{
    for (int shift = 0; shift <= 24; shift += 8)
        b.push_back(static_cast<std::uint8_t>(v >> shift));
}

// A Mach-O header as the linker writes it on a little-endian machine.
Bytes thin(std::uint32_t magicAsStored, std::uint32_t cpuType)
{
    Bytes b;
    putBig(b, magicAsStored);
    putLittle(b, cpuType);
    putLittle(b, 0);   // cpusubtype
    putLittle(b, 2);   // MH_EXECUTE
    return b;
}

// A universal header: big-endian magic and count, then one entry per slice.
Bytes fat(std::uint32_t magic, std::vector<std::uint32_t> cpuTypes, std::uint32_t count = UINT32_MAX)
{
    Bytes b;
    putBig(b, magic);
    putBig(b, count == UINT32_MAX ? static_cast<std::uint32_t>(cpuTypes.size()) : count);
    const int wordsPerEntry = magic == 0xCAFEBABF ? 8 : 5;
    for (std::size_t i = 0; i < cpuTypes.size(); ++i) {
        putBig(b, cpuTypes[i]);
        putBig(b, static_cast<std::uint32_t>(i));   // subtype
        for (int w = 2; w < wordsPerEntry; ++w)
            putBig(b, 0x4000);
    }
    return b;
}

// The first 20 bytes of an ELF header: class, byte order and e_machine.
Bytes elf(std::uint16_t machine, bool bigEndian = false)
{
    Bytes b = {0x7F, 'E', 'L', 'F', 2, std::uint8_t(bigEndian ? 2 : 1), 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0};
    b[bigEndian ? 18 : 19] = std::uint8_t(machine >> 8);
    b[bigEndian ? 19 : 18] = std::uint8_t(machine & 0xFF);
    return b;
}

std::string text(const Bytes& b)
{
    return {reinterpret_cast<const char*>(b.data()), b.size()};
}

} // namespace

TEST(MachOInspector, ReadsThinAndUniversalHeaders)
{
    struct Case { const char* what; Bytes header; std::vector<Arch> expected; };
    Bytes truncatedFat = fat(0xCAFEBABE, {arm64});
    truncatedFat[7] = 3;   // claims three slices, only one is present
    Bytes cutELF = elf(62);
    cutELF.resize(12);
    const Case cases[] = {
        {"thin 64-bit arm64", thin(0xCFFAEDFE, arm64), {Arch::arm64}},
        {"thin 64-bit x86_64", thin(0xCFFAEDFE, x86_64), {Arch::x86_64}},
        {"thin 32-bit i386", thin(0xCEFAEDFE, 7), {Arch::i386}},
        {"thin with unknown cpu", thin(0xCFFAEDFE, 0x0200000C), {Arch::unknown}},
        {"big-endian PowerPC thin", {0xFE, 0xED, 0xFA, 0xCE, 0, 0, 0, 0x12, 0, 0, 0, 0}, {}},
        {"universal arm64 + x86_64", fat(0xCAFEBABE, {arm64, x86_64}), {Arch::arm64, Arch::x86_64}},
        {"universal x86_64 + arm64 keeps header order", fat(0xCAFEBABE, {x86_64, arm64}), {Arch::x86_64, Arch::arm64}},
        {"two arm64 slices listed once", fat(0xCAFEBABE, {arm64, arm64, x86_64}), {Arch::arm64, Arch::x86_64}},
        {"64-bit fat entries", fat(0xCAFEBABF, {x86_64, arm64}), {Arch::x86_64, Arch::arm64}},
        {"fat PowerPC entries", fat(0xCAFEBABE, {18, 0x01000012}), {Arch::powerPC}},
        {"fat count 0", fat(0xCAFEBABE, {}, 0), {}},
        {"fat count 32 (a Java class file)", fat(0xCAFEBABE, {arm64}, 32), {}},
        {"fat count 31 with slices beyond the bytes", fat(0xCAFEBABE, {arm64}, 31), {Arch::arm64, Arch::unknown}},
        {"later slices beyond the bytes", truncatedFat, {Arch::arm64, Arch::unknown}},
        {"seven bytes", {0xCF, 0xFA, 0xED, 0xFE, 0x0C, 0, 0}, {}},
        {"empty", {}, {}},
        {"shell script", {'#', '!', '/', 'b', 'i', 'n', '/', 's', 'h', '\n'}, {}},
        {"ELF x86-64", elf(62), {Arch::x86_64}},
        {"ELF AArch64", elf(183), {Arch::arm64}},
        {"ELF i386", elf(3), {Arch::i386}},
        {"ELF 64-bit PowerPC, big-endian", elf(21, true), {Arch::powerPC}},
        {"ELF RISC-V", elf(243), {Arch::unknown}},
        {"ELF cut before e_machine", cutELF, {Arch::unknown}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MachOInspector::architectures(c.header), c.expected) << c.what;
}

TEST(MachOInspector, ReadsOnlyRegularFiles)
{
    TempDir dir;
    const auto universal = dir.write("Universal", text(fat(0xCAFEBABE, {arm64, x86_64})));
    EXPECT_EQ(MachOInspector::architectures(universal), (std::vector{Arch::arm64, Arch::x86_64}));

    // A header followed by a large body is read from its first bytes only.
    Bytes big = thin(0xCFFAEDFE, x86_64);
    big.resize(1 << 20, 0xAB);
    EXPECT_EQ(MachOInspector::architectures(dir.write("Big", text(big))), std::vector{Arch::x86_64});

    EXPECT_TRUE(MachOInspector::architectures(dir.file("Missing")).empty());
    EXPECT_TRUE(MachOInspector::architectures(dir.makeFolder("Folder")).empty());
    EXPECT_TRUE(MachOInspector::architectures(dir.write("Empty", "")).empty());

    // Nobody writes to this pipe: reading it must not wait for a writer.
    const auto fifo = dir.file("Pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto pending = std::async(std::launch::async, [&] { return MachOInspector::architectures(fifo); });
    if (pending.wait_for(waitLimit) != std::future_status::ready) {
        ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));   // let the stuck reader go
        FAIL() << "reading a FIFO blocked";
    }
    EXPECT_TRUE(pending.get().empty());
}

#include "platform/LinuxSysctl.h"

#include "platform/ProcText.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <set>
#include <unistd.h>
#include <utility>

namespace {

template <class T>
std::vector<unsigned char> bytesOf(const T& value)
{
    std::vector<unsigned char> bytes(sizeof(T));
    std::memcpy(bytes.data(), &value, sizeof(T));
    return bytes;
}

std::optional<std::uint64_t> numberFile(const std::string& path)
{
    const auto text = ProcText::readFile(path);
    if (!text) return std::nullopt;
    const auto columns = ProcText::fields(*text);
    if (columns.size() != 1) return std::nullopt;
    return ProcText::unsignedNumber(columns[0]);
}

} // namespace

LinuxSysctl::LinuxSysctl(std::string procRoot, std::string sysRoot)
    : procRoot_(std::move(procRoot)), sysRoot_(std::move(sysRoot))
{
}

int LinuxSysctl::sysctlByName(const char* name, void* buffer, std::size_t* size)
{
    if (!name || !size) {
        errno = EINVAL;
        return -1;
    }
    const auto bytes = value(name);
    if (!bytes) {
        errno = ENOENT;
        return -1;
    }
    if (!buffer) {
        *size = bytes->size();
        return 0;
    }
    if (*size < bytes->size()) {
        std::memcpy(buffer, bytes->data(), *size);
        errno = ENOMEM;
        return -1;
    }
    std::memcpy(buffer, bytes->data(), bytes->size());
    *size = bytes->size();
    return 0;
}

std::optional<std::vector<unsigned char>> LinuxSysctl::value(std::string_view name)
{
    auto int32 = [](std::optional<std::int32_t> v) -> std::optional<std::vector<unsigned char>> {
        if (!v) return std::nullopt;
        return bytesOf(*v);
    };
    if (name == "hw.physicalcpu") return int32(physicalCores(std::nullopt));
    if (name == "hw.perflevel0.physicalcpu") return int32(physicalCores(0));
    if (name == "hw.perflevel1.physicalcpu") return int32(physicalCores(1));
    if (name == "kern.memorystatus_vm_pressure_level") return int32(pressureLevel());
    if (name == "kern.memorystatus_level") return int32(availablePercent());
    if (name == "machdep.cpu.brand_string") {
        const auto text = brand();
        if (!text) return std::nullopt;
        std::vector<unsigned char> bytes(text->begin(), text->end());
        bytes.push_back(0);
        return bytes;
    }
    if (name == "vm.swapusage") {
        const auto usage = swapUsage();
        if (!usage) return std::nullopt;
        return bytesOf(*usage);
    }
    return std::nullopt;
}

std::optional<std::int32_t> LinuxSysctl::physicalCores(std::optional<int> performanceLevel)
{
    const std::string cpus = sysRoot_ + "/devices/system/cpu";
    DIR* directory = ::opendir(cpus.c_str());
    if (!directory) return std::nullopt;

    struct Processor {
        std::pair<std::uint64_t, std::uint64_t> core; // (package, core id)
        std::optional<std::uint64_t> capacity;
    };
    std::vector<Processor> processors;
    bool complete = true;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string_view entryName = entry->d_name;
        if (!entryName.starts_with("cpu") || !ProcText::unsignedNumber(entryName.substr(3))) continue;
        const std::string folder = cpus + "/" + entry->d_name;
        // The boot processor often has no "online" file: it cannot go offline.
        if (const auto online = numberFile(folder + "/online"); online && *online == 0) continue;
        const auto package = numberFile(folder + "/topology/physical_package_id");
        const auto core = numberFile(folder + "/topology/core_id");
        if (!package || !core) {
            complete = false;
            continue;
        }
        processors.push_back({{*package, *core}, numberFile(folder + "/cpu_capacity")});
    }
    ::closedir(directory);
    if (!complete || processors.empty()) return std::nullopt;

    if (performanceLevel) {
        std::set<std::uint64_t, std::greater<>> capacities;
        for (const auto& processor : processors) {
            if (!processor.capacity) return std::nullopt;
            capacities.insert(*processor.capacity);
        }
        if (capacities.size() < 2 || static_cast<size_t>(*performanceLevel) >= capacities.size()) return std::nullopt;
        const std::uint64_t wanted = *std::next(capacities.begin(), *performanceLevel);
        std::erase_if(processors, [&](const Processor& p) { return p.capacity != wanted; });
    }
    std::set<std::pair<std::uint64_t, std::uint64_t>> cores;
    for (const auto& processor : processors) cores.insert(processor.core);
    return static_cast<std::int32_t>(cores.size());
}

std::optional<std::string> LinuxSysctl::brand()
{
    const auto text = ProcText::readFile(procRoot_ + "/cpuinfo");
    if (!text) return std::nullopt;
    for (const std::string_view line : ProcText::lines(*text)) {
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        std::string_view key = line.substr(0, colon);
        while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.remove_suffix(1);
        if (key != "model name") continue;
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
        return std::string(value);
    }
    return std::nullopt;
}

std::optional<SwapUsage> LinuxSysctl::swapUsage()
{
    const auto text = ProcText::readFile(procRoot_ + "/meminfo");
    if (!text) return std::nullopt;
    const auto info = ProcText::keyedNumbers(*text);
    const auto total = info.find("SwapTotal");
    const auto free = info.find("SwapFree");
    if (total == info.end() || free == info.end()) return std::nullopt;
    SwapUsage usage;
    usage.total = total->second * 1024;
    usage.available = std::min(free->second * 1024, usage.total);
    usage.used = usage.total - usage.available;
    const long page = ::sysconf(_SC_PAGESIZE);
    usage.pageSize = page > 0 ? static_cast<std::uint32_t>(page) : 0;
    return usage;
}

std::optional<std::int32_t> LinuxSysctl::pressureLevel()
{
    const auto text = ProcText::readFile(procRoot_ + "/pressure/memory");
    if (!text) return std::nullopt;
    std::optional<double> some;
    std::optional<double> full;
    for (const std::string_view line : ProcText::lines(*text)) {
        const auto columns = ProcText::fields(line);
        if (columns.size() < 2 || !columns[1].starts_with("avg10=")) continue;
        const auto share = ProcText::decimalNumber(columns[1].substr(6));
        if (columns[0] == "some") some = share;
        if (columns[0] == "full") full = share;
    }
    if (!some) return std::nullopt;
    if (full && *full >= criticalStallPercent) return 4;
    if (*some >= warningStallPercent) return 2;
    return 1;
}

std::optional<std::int32_t> LinuxSysctl::availablePercent()
{
    const auto text = ProcText::readFile(procRoot_ + "/meminfo");
    if (!text) return std::nullopt;
    const auto info = ProcText::keyedNumbers(*text);
    const auto total = info.find("MemTotal");
    const auto available = info.find("MemAvailable");
    if (total == info.end() || available == info.end() || total->second == 0) return std::nullopt;
    // Rounded as a share is shown, so that it reads as the available bytes do.
    const std::uint64_t percent = (std::min(available->second, total->second) * 200 + total->second) / (2 * total->second);
    return static_cast<std::int32_t>(percent);
}

#include "platform/DebianPackages.h"

#include "platform/ProcText.h"

#include <dirent.h>
#include <sys/stat.h>

#include <utility>

namespace {

constexpr std::string_view listSuffix = ".list";

std::string_view withoutArchitecture(std::string_view package)
{
    return package.substr(0, package.find(':'));
}

// "Key: value" of one paragraph of the status file.
std::string_view field(std::string_view paragraph, std::string_view key)
{
    for (const std::string_view line : ProcText::lines(paragraph))
        if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == ':') {
            std::string_view value = line.substr(key.size() + 1);
            while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
            return value;
        }
    return {};
}

} // namespace

DebianPackages::DebianPackages(std::string root) : root_(std::move(root)) {}

std::map<std::string, std::string> DebianPackages::owners(const std::set<std::string>& paths) const
{
    std::map<std::string, std::string> result;
    if (paths.empty()) return result;
    const std::string info = root_ + "/info";
    DIR* directory = ::opendir(info.c_str());
    if (!directory) return result;
    std::vector<std::string> lists;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string_view name = entry->d_name;
        if (name.size() > listSuffix.size() && name.ends_with(listSuffix)) lists.emplace_back(name);
    }
    ::closedir(directory);
    for (const auto& list : lists) {
        const auto text = ProcText::readFile(info + "/" + list);
        if (!text) continue;
        const std::string package = list.substr(0, list.size() - listSuffix.size());
        for (const std::string_view line : ProcText::lines(*text))
            if (const auto found = paths.find(std::string(line)); found != paths.end())
                result.try_emplace(*found, package);
        if (result.size() == paths.size()) break;
    }
    return result;
}

std::optional<std::string> DebianPackages::version(const std::string& package) const
{
    const auto found = versions({package});
    if (found.empty()) return std::nullopt;
    return found.begin()->second;
}

std::map<std::string, std::string> DebianPackages::versions(const std::set<std::string>& packages) const
{
    std::map<std::string, std::string> result;
    if (packages.empty()) return result;
    // The status file names packages without their architecture qualifier.
    std::map<std::string_view, std::vector<const std::string*>> wanted;
    for (const std::string& package : packages) wanted[withoutArchitecture(package)].push_back(&package);
    const auto text = ProcText::readFile(root_ + "/status");
    if (!text) return result;
    const std::string_view status = *text;
    size_t start = 0;
    while (start < status.size() && result.size() < packages.size()) {
        size_t end = status.find("\n\n", start);
        if (end == std::string_view::npos) end = status.size();
        const std::string_view paragraph = status.substr(start, end - start);
        if (const auto it = wanted.find(field(paragraph, "Package"));
            it != wanted.end() && field(paragraph, "Status").ends_with(" installed")) {
            const std::string_view value = field(paragraph, "Version");
            if (!value.empty())
                for (const std::string* package : it->second) result.try_emplace(*package, value);
        }
        start = end + 2;
    }
    return result;
}

std::vector<std::string> DebianPackages::files(const std::string& package) const
{
    std::vector<std::string> result;
    const auto text = ProcText::readFile(root_ + "/info/" + package + std::string(listSuffix));
    if (!text) return result;
    for (const std::string_view line : ProcText::lines(*text))
        if (line.starts_with('/')) result.emplace_back(line);
    return result;
}

DebianPackages::Size DebianPackages::size(const std::string& package, std::stop_token stop) const
{
    Size size;
    std::set<std::pair<dev_t, ino_t>> seen;
    for (const auto& path : files(package)) {
        if (stop.stop_requested()) {
            size.wasCancelled = true;
            break;
        }
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) continue;
        if (!seen.insert({status.st_dev, status.st_ino}).second) continue;
        size.allocatedBytes += static_cast<std::int64_t>(status.st_blocks) * 512;
        size.logicalBytes += static_cast<std::int64_t>(status.st_size);
        size.fileCount += 1;
    }
    return size;
}

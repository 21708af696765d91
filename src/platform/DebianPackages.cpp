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

DebianPackages::Size DebianPackages::size(const std::vector<std::string>& packages, std::stop_token stop) const
{
    Size size;
    std::set<std::pair<dev_t, ino_t>> seen;
    for (const auto& package : packages)
        for (const auto& path : files(package)) {
            if (stop.stop_requested()) {
                size.wasCancelled = true;
                return size;
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

std::vector<std::string> DebianPackages::dependencyNames(std::string_view field)
{
    std::vector<std::string> names;
    for (std::string_view rest = field; !rest.empty();) {
        const size_t end = rest.find_first_of(",|");
        std::string_view item = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        // The name ends at a blank, a version "(", an architecture list "[", a profile "<" or a qualifier ":".
        while (!item.empty() && (item.front() == ' ' || item.front() == '\n' || item.front() == '\t')) item.remove_prefix(1);
        item = item.substr(0, item.find_first_of(" \t\n([<:"));
        if (!item.empty()) names.emplace_back(item);
    }
    return names;
}

std::map<std::string, DebianPackages::Origin> DebianPackages::origins(const std::set<std::string>& packages) const
{
    std::map<std::string, Origin> result;
    if (packages.empty()) return result;
    const auto text = ProcText::readFile(root_ + "/status");
    if (!text) return result;

    struct Installed {
        std::string architecture;
        std::string source;
        std::vector<std::string> depends;
    };
    // One package name may be installed for several architectures.
    std::map<std::string, std::vector<Installed>, std::less<>> installed;
    const std::string_view status = *text;
    for (size_t start = 0; start < status.size();) {
        size_t end = status.find("\n\n", start);
        if (end == std::string_view::npos) end = status.size();
        const std::string_view paragraph = status.substr(start, end - start);
        start = end + 2;
        const std::string_view name = field(paragraph, "Package");
        if (name.empty() || !field(paragraph, "Status").ends_with(" installed")) continue;
        // "Source: vim (2:9.0-1)" names a version only when it differs from the package's.
        std::string_view source = field(paragraph, "Source");
        source = source.substr(0, source.find(' '));
        Installed package{std::string(field(paragraph, "Architecture")), std::string(source.empty() ? name : source),
                          dependencyNames(field(paragraph, "Depends"))};
        for (auto& more : dependencyNames(field(paragraph, "Pre-Depends"))) package.depends.push_back(std::move(more));
        installed[std::string(name)].push_back(std::move(package));
    }

    // The installed package a name stands for, preferring the depender's architecture,
    // then one for all architectures.
    const auto lookUp = [&](std::string_view name, std::string_view architecture) -> const Installed* {
        const auto found = installed.find(name);
        if (found == installed.end()) return nullptr;
        const Installed* best = &found->second.front();
        for (const Installed& candidate : found->second) {
            if (candidate.architecture == architecture) return &candidate;
            if (candidate.architecture == "all") best = &candidate;
        }
        return best;
    };
    // dpkg qualifies the file list of a package installable for several architectures at once.
    const auto listed = [&](const std::string& name, const Installed& package) {
        const std::string qualified = name + ":" + package.architecture;
        struct stat info {};
        if (::stat((root_ + "/info/" + qualified + std::string(listSuffix)).c_str(), &info) == 0) return qualified;
        return name;
    };

    for (const std::string& wanted : packages) {
        const std::string_view bare = withoutArchitecture(wanted);
        const size_t colon = wanted.find(':');
        const Installed* root =
            lookUp(bare, colon == std::string::npos ? std::string_view() : std::string_view(wanted).substr(colon + 1));
        if (!root) continue;
        Origin& origin = result[wanted];
        origin.source = root->source;
        auto& parts = origin.sameSourceDependencies;
        std::set<const Installed*> visited{root};
        std::vector<const Installed*> pending{root};
        while (!pending.empty()) {
            const Installed* package = pending.back();
            pending.pop_back();
            for (const std::string& name : package->depends) {
                const Installed* dependency = lookUp(name, package->architecture);
                if (!dependency || dependency->source != root->source || !visited.insert(dependency).second) continue;
                parts.push_back(listed(name, *dependency));
                pending.push_back(dependency);
            }
        }
    }
    return result;
}

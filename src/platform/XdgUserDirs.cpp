#include "platform/XdgUserDirs.h"

#include "platform/Paths.h"
#include "platform/RegularFile.h"
#include "platform/SystemPaths.h"

#include <algorithm>

namespace XdgUserDirs {

namespace {

std::string_view trimmedLeft(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    return text;
}

// The quoted value with shell-style backslash escapes removed; absent without a closing quote.
bool unquoted(std::string_view text, std::string& value)
{
    if (text.empty() || text.front() != '"')
        return false;
    value.clear();
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (text[i] == '"')
            return true;
        if (text[i] == '\\' && i + 1 < text.size())
            ++i;
        value += text[i];
    }
    return false;
}

} // namespace

std::vector<Folder> parse(std::string_view text, const std::string& home)
{
    std::vector<Folder> folders;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string_view line = trimmedLeft(text.substr(at, end - at));
        at = end + 1;
        if (!line.starts_with("XDG_"))
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        std::string_view name = line.substr(0, equals);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
            name.remove_suffix(1);
        if (name.size() <= 8 || !name.ends_with("_DIR"))
            continue;
        std::string value;
        if (!unquoted(trimmedLeft(line.substr(equals + 1)), value))
            continue;
        std::string path;
        if (value == "$HOME" || value.starts_with("$HOME/"))
            path = Paths::standardizing(Paths::appending(home, value.substr(5)));
        else if (value.starts_with('/'))
            path = Paths::standardizing(value);
        else
            continue;
        std::string key(name.substr(4, name.size() - 8));
        folders.erase(std::remove_if(folders.begin(), folders.end(), [&](const Folder& f) { return f.key == key; }),
                      folders.end());
        if (path != Paths::standardizing(home))
            folders.push_back({std::move(key), std::move(path)});
    }
    return folders;
}

std::vector<Folder> defaults(const std::string& home)
{
    std::vector<Folder> folders;
    for (const auto& [key, name] : {std::pair{"DESKTOP", "Desktop"}, {"DOWNLOAD", "Downloads"},
                                    {"TEMPLATES", "Templates"}, {"PUBLICSHARE", "Public"},
                                    {"DOCUMENTS", "Documents"}, {"MUSIC", "Music"}, {"PICTURES", "Pictures"},
                                    {"VIDEOS", "Videos"}})
        folders.push_back({.key = key, .path = Paths::appending(Paths::standardizing(home), name)});
    return folders;
}

std::vector<Folder> read(const std::string& home)
{
    // A few lines; what is far longer is no list of folders.
    constexpr std::size_t maxBytes = 1024 * 1024;
    const auto text = RegularFile::read(Paths::appending(SystemPaths::configHome(home), "user-dirs.dirs"), maxBytes);
    return text ? parse(*text, home) : defaults(home);
}

} // namespace XdgUserDirs

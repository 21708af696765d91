#include "platform/gio/DesktopEntryReader.h"

#include "platform/Paths.h"
#include "platform/RegularFile.h"
#include "platform/SystemPaths.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>
#include <utility>

#include <dirent.h>
#include <sys/stat.h>

namespace {

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using Object = std::unique_ptr<T, ObjectUnref>;

struct Free {
    void operator()(gpointer memory) const { g_free(memory); }
};
using Text = std::unique_ptr<char, Free>;

std::optional<std::string> text(const char* value)
{
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

std::optional<std::string> owned(char* value)
{
    const Text held(value);
    return text(held.get());
}

std::optional<std::string> resolvedOnPath(const char* program)
{
    if (!program || !*program) return std::nullopt;
    return owned(g_find_program_in_path(program));
}

DesktopEntry describe(GDesktopAppInfo* info, const DesktopEntryReader::EntryFile& file)
{
    GAppInfo* app = G_APP_INFO(info);
    DesktopEntry entry;
    entry.id = file.id;
    entry.name = text(g_app_info_get_name(app)).value_or(entry.id);
    entry.filename = file.path;
    entry.commandLine = text(g_app_info_get_commandline(app)).value_or("");
    entry.executable = resolvedOnPath(g_app_info_get_executable(app));
    entry.flatpakID = owned(g_desktop_app_info_get_string(info, "X-Flatpak"));
    entry.snapName = owned(g_desktop_app_info_get_string(info, "X-SnapInstanceName"));
    entry.icon = owned(g_desktop_app_info_get_string(info, "Icon"));
    return entry;
}

// A key file read through the one safe reader, so that the desktop's parser never opens a
// FIFO or a device itself.
struct KeyFileFree {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileFree>;

KeyFile loadedKeyFile(const std::string& path, std::size_t limit)
{
    const auto contents = RegularFile::read(path, limit);
    if (!contents) return nullptr;
    KeyFile file(g_key_file_new());
    if (!g_key_file_load_from_data(file.get(), contents->data(), contents->size(), G_KEY_FILE_NONE, nullptr))
        return nullptr;
    return file;
}

using Identity = std::pair<dev_t, ino_t>;

struct Walk {
    std::set<Identity> folders;         // a link back up the tree is entered once
    std::set<std::string> ids;          // the first folder holding an id hides the later ones
    std::set<Identity> files;           // an entry reached under two names is read once
    std::vector<DesktopEntryReader::EntryFile> found;
};

void collect(const std::string& folder, const std::string& prefix, int depth, Walk& walk)
{
    struct stat status {};
    if (depth > DesktopEntryReader::maxFolderDepth || ::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        !walk.folders.insert({status.st_dev, status.st_ino}).second)
        return;
    DIR* listing = ::opendir(folder.c_str());
    if (!listing) return;
    std::vector<std::string> names;
    while (const dirent* item = ::readdir(listing)) {
        const std::string_view name = item->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(listing);
    // Listing order differs between file systems; which of two names for one file counts must not.
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        if (::stat(path.c_str(), &status) != 0) continue;
        if (S_ISDIR(status.st_mode)) {
            collect(path, prefix + name + "-", depth + 1, walk);
            continue;
        }
        // Only regular files are entries: a FIFO or a device named like one is never opened.
        if (!name.ends_with(".desktop") || !S_ISREG(status.st_mode)) continue;
        const std::string id = prefix + name;
        if (!walk.ids.insert(id).second) continue;
        if (walk.files.insert({status.st_dev, status.st_ino}).second) walk.found.push_back({id, path});
    }
}

std::vector<std::string> dataFolders()
{
    std::vector<std::string> folders{SystemPaths::dataHome(SystemPaths::homeDirectory())};
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    const std::string list = dirs && *dirs ? dirs : "/usr/local/share/:/usr/share/";
    std::size_t start = 0;
    while (start <= list.size()) {
        const std::size_t end = std::min(list.find(':', start), list.size());
        const std::string folder = list.substr(start, end - start);
        // Relative entries mean nothing to a program started elsewhere.
        if (folder.starts_with('/')) folders.push_back(Paths::standardizing(folder));
        start = end + 1;
    }
    return folders;
}

} // namespace

namespace DesktopEntryReader {

std::vector<EntryFile> entryFiles()
{
    Walk walk;
    for (const std::string& folder : dataFolders()) collect(Paths::appending(folder, "applications"), "", 0, walk);
    return std::move(walk.found);
}

std::vector<DesktopEntry> shownEntries()
{
    std::vector<DesktopEntry> entries;
    for (const EntryFile& file : entryFiles()) {
        const KeyFile keys = loadedKeyFile(file.path, maxEntryBytes);
        if (!keys) continue;
        const Object<GDesktopAppInfo> info(g_desktop_app_info_new_from_keyfile(keys.get()));
        // Hidden=true means deleted: the launcher's own listing leaves such entries out before it asks.
        if (info && !g_desktop_app_info_get_is_hidden(info.get()) && g_app_info_should_show(G_APP_INFO(info.get())))
            entries.push_back(describe(info.get(), file));
    }
    return entries;
}

std::optional<std::string> launch(const std::string& id)
{
    // Opened by its file, which this reader would read: the desktop's own lookup by id would
    // first read every mimeapps.list and cache of its folders, whatever stands there.
    const auto files = entryFiles();
    const auto file = std::find_if(files.begin(), files.end(), [&](const EntryFile& entry) {
        return entry.id == id && !RegularFile::refusal(entry.path);
    });
    const Object<GDesktopAppInfo> info(file != files.end() ? g_desktop_app_info_new_from_filename(file->path.c_str())
                                                           : nullptr);
    if (!info) return "The application's desktop entry is gone.";
    GError* error = nullptr;
    if (g_app_info_launch(G_APP_INFO(info.get()), nullptr, nullptr, &error)) return std::nullopt;
    std::string message = error && error->message ? error->message : "The application could not be started.";
    g_clear_error(&error);
    return message;
}

std::optional<std::string> keyFileValue(const std::string& path, const std::string& group, const std::string& key)
{
    const KeyFile file = loadedKeyFile(path, maxEntryBytes);
    if (!file) return std::nullopt;
    return owned(g_key_file_get_string(file.get(), group.c_str(), key.c_str(), nullptr));
}

} // namespace DesktopEntryReader

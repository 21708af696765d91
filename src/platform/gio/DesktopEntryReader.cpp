#include "platform/gio/DesktopEntryReader.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <memory>

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

DesktopEntry describe(GDesktopAppInfo* info)
{
    GAppInfo* app = G_APP_INFO(info);
    DesktopEntry entry;
    entry.id = text(g_app_info_get_id(app)).value_or("");
    entry.name = text(g_app_info_get_name(app)).value_or(entry.id);
    entry.filename = text(g_desktop_app_info_get_filename(info)).value_or("");
    entry.commandLine = text(g_app_info_get_commandline(app)).value_or("");
    entry.executable = resolvedOnPath(g_app_info_get_executable(app));
    entry.flatpakID = owned(g_desktop_app_info_get_string(info, "X-Flatpak"));
    entry.snapName = owned(g_desktop_app_info_get_string(info, "X-SnapInstanceName"));
    entry.icon = owned(g_desktop_app_info_get_string(info, "Icon"));
    return entry;
}

} // namespace

namespace DesktopEntryReader {

std::vector<DesktopEntry> shownEntries()
{
    std::vector<DesktopEntry> entries;
    GList* all = g_app_info_get_all();
    for (GList* item = all; item; item = item->next) {
        auto* app = static_cast<GAppInfo*>(item->data);
        if (G_IS_DESKTOP_APP_INFO(app) && g_app_info_should_show(app))
            entries.push_back(describe(G_DESKTOP_APP_INFO(app)));
    }
    g_list_free_full(all, g_object_unref);
    return entries;
}

std::optional<std::string> launch(const std::string& id)
{
    const Object<GDesktopAppInfo> info(g_desktop_app_info_new(id.c_str()));
    if (!info) return "The application's desktop entry is gone.";
    GError* error = nullptr;
    if (g_app_info_launch(G_APP_INFO(info.get()), nullptr, nullptr, &error)) return std::nullopt;
    std::string message = error && error->message ? error->message : "The application could not be started.";
    g_clear_error(&error);
    return message;
}

std::optional<std::string> keyFileValue(const std::string& path, const std::string& group, const std::string& key)
{
    GKeyFile* file = g_key_file_new();
    std::optional<std::string> value;
    if (g_key_file_load_from_file(file, path.c_str(), G_KEY_FILE_NONE, nullptr))
        value = owned(g_key_file_get_string(file, group.c_str(), key.c_str(), nullptr));
    g_key_file_free(file);
    return value;
}

} // namespace DesktopEntryReader

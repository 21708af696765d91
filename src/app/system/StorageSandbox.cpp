#include "app/system/StorageSandbox.h"

#include "platform/gio/DesktopEntryReader.h"

#include <cstdlib>

#include <sys/stat.h>

StorageSandbox StorageSandbox::detect(const std::string& root)
{
    const std::string info = root + "/.flatpak-info";
    struct stat status {};
    if (::stat(info.c_str(), &status) == 0) {
        StorageSandbox sandbox{Kind::flatpak, {}, {}};
        sandbox.name = DesktopEntryReader::keyFileValue(info, "Application", "name").value_or("");
        sandbox.widenCommand = "flatpak override --user --filesystem=host --filesystem=home "
            + (sandbox.name.empty() ? std::string("APPLICATION-ID") : sandbox.name);
        return sandbox;
    }
    if (const char* snap = std::getenv("SNAP_NAME"); snap && *snap) {
        const std::string name = snap;
        return {Kind::snap, name,
                "sudo snap connect " + name + ":home && sudo snap connect " + name + ":removable-media"};
    }
    return {};
}

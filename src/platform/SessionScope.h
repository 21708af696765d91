#pragma once

#include <optional>
#include <string>
#include <string_view>

// The desktop starts each application in a systemd user unit of its own, named
// after the application: app-<launcher>-<id>-<random>.scope, app-<id>@<random>.service,
// flatpak-<id>-<n>.scope, snap.<name>.<app>-<uuid>.scope.
namespace SessionScope {

// The application id (or snap name) of the unit a control-group path ends in.
std::optional<std::string> applicationID(std::string_view controlGroup);

} // namespace SessionScope

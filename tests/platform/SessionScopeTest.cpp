#include "platform/SessionScope.h"

#include <gtest/gtest.h>

TEST(SessionScope, NamesTheApplicationOfAUnit)
{
    const struct {
        const char* group;
        std::optional<std::string> id;
    } cases[] = {
        {"/user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-org.gnome.Terminal-3412.scope",
         "org.gnome.Terminal"},
        {"/user.slice/user-1000.slice/user@1000.service/app.slice/app-org.kde.konsole@a1b2.service", "org.kde.konsole"},
        {"/app.slice/app-gnome-org.example.Two\\x2dWords-77.scope", "org.example.Two-Words"},
        {"/app.slice/app-KDE-org.kde.dolphin@0d5c.service", "org.kde.dolphin"},
        {"/app.slice/app-flatpak-org.example.Flat-123456.scope", "org.example.Flat"},
        {"/app.slice/flatpak-org.example.Flat-123456.scope", "org.example.Flat"},
        {"/app.slice/snap.firefox.firefox-9f0e2a.scope", "firefox"},
        {"/app.slice/app-gnome-firefox_firefox-5566.scope", "firefox_firefox"},
        {"/user.slice/user-1000.slice/session-2.scope", std::nullopt},
        {"/user.slice/user-1000.slice/user@1000.service/init.scope", std::nullopt},
        {"/system.slice/cron.service", std::nullopt},
        {"/app.slice/app-dbus\\x2d:1.2\\x2dorg.gnome.Foo.slice", std::nullopt},
        {"/app.slice/flatpak-org.example.Flat.scope", std::nullopt},
        {"/", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SessionScope::applicationID(c.group), c.id) << c.group;
}

#include "platform/Accounts.h"
#include "platform/Paths.h"
#include "platform/SystemPaths.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

TEST(Paths, ComponentsFollowThePlatformRules)
{
    struct Case { const char* path; const char* last; const char* parent; const char* extension; };
    const Case cases[] = {
        {"/tmp/scratch.tiff", "scratch.tiff", "/tmp", "tiff"},
        {"/tmp/lock/", "lock", "/tmp", ""},
        {"/tmp", "tmp", "/", ""},
        {"/", "/", "/", ""},
        {"scratch.tar.gz", "scratch.tar.gz", "", "gz"},
        {"/a/.bashrc", ".bashrc", "/a", ""},
        {"/a/name.", "name.", "/a", ""},
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Paths::lastComponent(c.path), c.last) << c.path;
        EXPECT_EQ(Paths::deletingLastComponent(c.path), c.parent) << c.path;
        EXPECT_EQ(Paths::extension(c.path), c.extension) << c.path;
    }
}

TEST(Paths, StandardizingAndContainment)
{
    EXPECT_EQ(Paths::standardizing("/a//b/./c/../d/"), "/a/b/d");
    EXPECT_EQ(Paths::standardizing("/../a"), "/a");
    EXPECT_EQ(Paths::standardizing("/"), "/");
    EXPECT_EQ(Paths::appending("/", "a"), "/a");
    EXPECT_EQ(Paths::appending("/a/", "b"), "/a/b");

    EXPECT_TRUE(Paths::isWithin("/a/b", "/a"));
    EXPECT_TRUE(Paths::isWithin("/a", "/a"));
    EXPECT_TRUE(Paths::isWithin("/anything", "/"));
    EXPECT_FALSE(Paths::isWithin("/ab", "/a"));
    EXPECT_EQ(Paths::asciiLowercased("/Users/ÄB"), "/users/Äb");
}

TEST(SystemPaths, SupportFolderIsPrivateAndUnderDataHome)
{
    TempDir temp;
    const char* old = std::getenv("XDG_DATA_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_DATA_HOME", temp.file("data").c_str(), 1);
    const std::string folder = SystemPaths::kestrelmoorSupportDirectory();
    old ? ::setenv("XDG_DATA_HOME", saved.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");

    EXPECT_EQ(folder, temp.file("data/Kestrelmoor"));
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(SystemPaths, RelativeOrUnusablePlacesCountAsUnset)
{
    TempDir temp;
    const std::string file = temp.write("plain-file", "");
    const std::string folder = temp.makeFolder("data");
    const std::string accountHome = Accounts::homeFolder(::getuid()).value_or("/");
    const struct {
        const char* home;          // nullptr: unset
        const char* dataHome;      // nullptr: unset
        std::string expectedHome;
        std::string expectedData;  // relative to the expected home when not absolute
    } cases[] = {
        {"relative/home", nullptr, accountHome, ".local/share"},
        {"", nullptr, accountHome, ".local/share"},
        {"/abs/home", "relative/data", "/abs/home", ".local/share"},
        {"/abs/home", file.c_str(), "/abs/home", ".local/share"},
        {"/abs/home", folder.c_str(), "/abs/home", folder},
        {"/abs/home", "/abs/not-made-yet", "/abs/home", "/abs/not-made-yet"},
    };
    for (const auto& c : cases) {
        ScopedEnvironment home("HOME", c.home ? c.home : "");
        ScopedEnvironment data("XDG_DATA_HOME", c.dataHome ? c.dataHome : "");
        if (!c.dataHome)
            ::unsetenv("XDG_DATA_HOME");
        const std::string expectedData =
            c.expectedData.front() == '/' ? c.expectedData : Paths::appending(c.expectedHome, c.expectedData);
        EXPECT_EQ(SystemPaths::homeDirectory(), Paths::standardizing(c.expectedHome)) << c.home;
        EXPECT_EQ(SystemPaths::applicationSupportDirectory(), Paths::standardizing(expectedData)) << c.dataHome;
    }
}

TEST(SystemPaths, UUIDsAreRandomVersionFour)
{
    const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    const std::string a = SystemPaths::randomUUIDString();
    EXPECT_TRUE(std::regex_match(a, form)) << a;
    EXPECT_NE(a, SystemPaths::randomUUIDString());
}

#include "app/support/AppTestSupport.h"

#include "app/ScanCoordinator.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "app/UserDefaultsNotifier.h"
#include "app/support/SettingsFolder.h"
#include "support/FifoWatchdog.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QSettings>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <limits>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace {

TEST(UserDefaults, RegisteredDefaultsAnswerOnlyForKeysTheUserNeverSet)
{
    ensureCoreApplication();
    SettingsFolder dir;
    const QString file = QString::fromStdString(dir.file("settings.ini"));
    dir.useForStandard();
    SettingsKey::registerDefaults();
    UserDefaults& defaults = UserDefaults::standard();

    EXPECT_TRUE(defaults.boolValue(SettingsKey::includeSystemFolders));
    EXPECT_TRUE(defaults.boolValue(SettingsKey::includeExternalVolumes));
    EXPECT_FALSE(defaults.boolValue(SettingsKey::includeNetworkVolumes));
    EXPECT_TRUE(defaults.stringListValue(SettingsKey::excludedPaths).isEmpty());
    EXPECT_EQ(defaults.integerValue(SettingsKey::scanConcurrency), 4);
    EXPECT_DOUBLE_EQ(defaults.doubleValue(SettingsKey::monitorInterval), 2.0);
    EXPECT_FALSE(defaults.boolValue(SettingsKey::hasSeenWelcome));
    EXPECT_FALSE(defaults.value(SettingsKey::hasSeenWelcome).isValid());

    defaults.setValue(SettingsKey::includeSystemFolders, false);
    defaults.setValue(SettingsKey::scanConcurrency, 9);
    defaults.sync();
    EXPECT_FALSE(defaults.boolValue(SettingsKey::includeSystemFolders));
    EXPECT_EQ(defaults.integerValue(SettingsKey::scanConcurrency), 9);

    // Registering again (a second start) changes no value the user chose, and the
    // registered values never reach the file.
    SettingsKey::registerDefaults();
    EXPECT_FALSE(defaults.boolValue(SettingsKey::includeSystemFolders));
    QSettings raw(file, QSettings::IniFormat);
    EXPECT_FALSE(raw.contains(SettingsKey::monitorInterval));
    EXPECT_FALSE(raw.contains(SettingsKey::includeExternalVolumes));

    defaults.removeValue(SettingsKey::includeSystemFolders);
    EXPECT_TRUE(defaults.boolValue(SettingsKey::includeSystemFolders));
}

TEST(UserDefaults, NumbersBeyondTheIntegerRangeAreClampedNotConverted)
{
    ensureCoreApplication();
    SettingsFolder dir;
    const QString file = QString::fromStdString(dir.file("settings.ini"));
    {
        QSettings raw(file, QSettings::IniFormat);
        raw.setValue(SettingsKey::scanConcurrency, "1e23");
        raw.setValue("huge.negative", "-1e300");
        raw.setValue("not.a.number", "nan");
        raw.setValue("fraction", "4.7");
    }
    dir.useForStandard();
    UserDefaults& defaults = UserDefaults::standard();
    EXPECT_EQ(defaults.integerValue(SettingsKey::scanConcurrency), std::numeric_limits<long long>::max());
    EXPECT_EQ(ScanCoordinator::readSettings(defaults).workers, 16);
    EXPECT_EQ(defaults.integerValue("huge.negative"), std::numeric_limits<long long>::min());
    EXPECT_EQ(defaults.integerValue("not.a.number"), 0);
    EXPECT_EQ(defaults.integerValue("fraction"), 4);
}

TEST(UserDefaults, ValuesReadBackFromAnotherProcessKeepTheirMeaning)
{
    ensureCoreApplication();
    TempDir dir;
    const std::string file = dir.file("s.ini");
    // Written the way the settings file looks after a restart.
    dir.write("s.ini",
              "[General]\n"
              "one=/home/a/cache\n"
              "two=/a, \"/b, c\"\n"
              "empty=\n"
              "flag=true\n"
              "workers=7\n"
              "interval=2.5\n"
              "wordy=many\n");
    UserDefaults defaults(QString::fromStdString(file));
    struct ListCase {
        const char* key;
        QStringList expected;
    };
    const ListCase lists[] = {
        {"one", {"/home/a/cache"}},
        {"two", {"/a", "/b, c"}},
        {"empty", {}},
        {"missing", {}},
        {"workers", {"7"}},
    };
    for (const ListCase& c : lists)
        EXPECT_EQ(defaults.stringListValue(QString::fromLatin1(c.key)), c.expected) << c.key;
    EXPECT_TRUE(defaults.boolValue("flag"));
    EXPECT_EQ(defaults.integerValue("workers"), 7);
    EXPECT_EQ(defaults.integerValue("interval"), 2);
    EXPECT_EQ(defaults.integerValue("wordy"), 0);
    EXPECT_EQ(defaults.integerValue("missing"), 0);
    EXPECT_DOUBLE_EQ(defaults.doubleValue("interval"), 2.5);
}

TEST(UserDefaults, ChangesOfTheStandardSettingsAreAnnouncedOnce)
{
    ensureCoreApplication();
    SettingsFolder dir;
    dir.useForStandard();
    QStringList announced;
    const auto connection = QObject::connect(&UserDefaultsNotifier::instance(), &UserDefaultsNotifier::changed,
                                             [&](const QString& key) { announced.append(key); });
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setValue(SettingsKey::scanConcurrency, 6);
    defaults.setValue(SettingsKey::scanConcurrency, 6);   // the same value: nothing to follow
    defaults.removeValue(SettingsKey::monitorInterval);   // never stored
    defaults.removeValue(SettingsKey::scanConcurrency);
    UserDefaults other(QString::fromStdString(dir.file("other.ini")));
    other.setValue(SettingsKey::scanConcurrency, 2);     // not the settings views show
    QObject::disconnect(connection);
    EXPECT_EQ(announced, (QStringList{SettingsKey::scanConcurrency, SettingsKey::scanConcurrency}));
}

TEST(UserDefaults, OnlyARegularFileOrALinkToOneIsReadOrWritten)
{
    ensureCoreApplication();
    namespace fs = std::filesystem;
    const struct {
        const char* name;
        void (*make)(const TempDir&, const std::string& settings);   // puts something at `settings`
        fs::file_type left;                                            // what the target must still be
        const char* targetName;
    } cases[] = {
        {"a FIFO", [](const TempDir&, const std::string& s) { ::mkfifo(s.c_str(), 0600); }, fs::file_type::fifo,
         "settings.ini"},
        {"a link to a FIFO",
         [](const TempDir& d, const std::string& s) {
             ::mkfifo(d.file("fifo").c_str(), 0600);
             fs::create_symlink(d.file("fifo"), s);
         },
         fs::file_type::fifo, "fifo"},
        {"a folder", [](const TempDir&, const std::string& s) { fs::create_directory(s); }, fs::file_type::directory,
         "settings.ini"},
        {"a link to a folder",
         [](const TempDir& d, const std::string& s) { fs::create_symlink(d.makeFolder("folder"), s); },
         fs::file_type::directory, "folder"},
        {"a dangling link", [](const TempDir& d, const std::string& s) { fs::create_symlink(d.file("missing"), s); },
         fs::file_type::not_found, "missing"},
        {"a file far longer than settings are",
         [](const TempDir& d, const std::string&) { fs::resize_file(d.write("settings.ini", ""), std::uintmax_t(1) << 32); },
         fs::file_type::regular, "settings.ini"},
        {"a FIFO as the lock file a save takes",
         [](const TempDir&, const std::string& s) { ::mkfifo((s + ".lock").c_str(), 0600); }, fs::file_type::fifo,
         "settings.ini.lock"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string path = dir.file("settings.ini");
        c.make(dir, path);
        auto opening = std::async(std::launch::async, [&] {
            auto defaults = std::make_unique<UserDefaults>(QString::fromStdString(path));
            defaults->registerDefaults({{"scanConcurrency", 4}});
            defaults->setValue("scanConcurrency", 9);
            defaults->sync();
            return defaults;
        });
        if (opening.wait_for(waitLimit) != std::future_status::ready) {
            // Let the blocked reader go, so that the failure is reported instead of hanging.
            ::close(::open(dir.file(c.targetName).c_str(), O_WRONLY | O_NONBLOCK));
            ADD_FAILURE() << c.name << ": opening the settings blocked";
        }
        const auto defaults = opening.get();
        EXPECT_TRUE(defaults->refusal()) << c.name;
        EXPECT_EQ(defaults->integerValue("scanConcurrency"), 9) << c.name;   // kept for the run
        EXPECT_EQ(fs::symlink_status(dir.file(c.targetName)).type(), c.left) << c.name;
    }

    // A dotfile manager's link to a regular file: read, and saved into the target, link kept.
    TempDir dir;
    const std::string target = dir.write("dotfiles/kestrelmoor.conf", "[General]\nscanConcurrency=6\n");
    const std::string link = dir.file("settings.ini");
    fs::create_symlink(target, link);
    {
        UserDefaults defaults(QString::fromStdString(link));
        EXPECT_FALSE(defaults.refusal());
        EXPECT_EQ(defaults.integerValue("scanConcurrency"), 6);
        defaults.setValue("scanConcurrency", 3);
        defaults.sync();
    }
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(QSettings(QString::fromStdString(target), QSettings::IniFormat).value("scanConcurrency").toInt(), 3);
}

TEST(UserDefaults, WhatTakesTheSettingsFilesPlaceAfterTheStartIsNeitherReadNorWritten)
{
    ensureCoreApplication();
    namespace fs = std::filesystem;
    const struct {
        const char* name;
        bool (*swap)(const TempDir&, const std::string& settings);
        const char* special;   // what the swap put in place, which must stay as it is
    } cases[] = {
        {"its lock file for a FIFO", [](const TempDir&, const std::string& s) {
             return ::mkfifo((s + ".lock").c_str(), 0600) == 0;
         }, "settings.ini.lock"},
        {"the file for a FIFO", [](const TempDir&, const std::string& s) {
             return fs::remove(s) && ::mkfifo(s.c_str(), 0600) == 0;
         }, "settings.ini"},
        {"the file for a link to a FIFO", [](const TempDir& d, const std::string& s) {
             return ::mkfifo(d.file("fifo").c_str(), 0600) == 0 && fs::remove(s) && ::symlink("fifo", s.c_str()) == 0;
         }, "fifo"},
        // The null device under a name of its own, never the system's.
        {"the file for a device", [](const TempDir&, const std::string& s) {
             return fs::remove(s) && ::mknod(s.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
         }, "settings.ini"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string path = dir.write("settings.ini", "[General]\nscanConcurrency=6\n");
        auto defaults = std::make_unique<UserDefaults>(QString::fromStdString(path));
        defaults->setValue("scanConcurrency", 7);
        defaults->sync();
        QCoreApplication::processEvents();
        if (!c.swap(dir, path)) {
            EXPECT_EQ(errno, EPERM) << c.name;   // no device nodes for this account
            continue;
        }
        const std::string special = dir.file(c.special);
        struct stat before {};
        ASSERT_EQ(::lstat(special.c_str(), &before), 0);

        // A lock file is tried again and again: at last the FIFO goes.
        EXPECT_FALSE(blocksOnFifos({special}, [&] {
            defaults->setValue("scanConcurrency", 9);
            QCoreApplication::processEvents();   // where the settings save on their own
            EXPECT_EQ(defaults->integerValue("scanConcurrency"), 9) << c.name;
            defaults->sync();
            defaults.reset();
        })) << c.name << ": the settings blocked on a FIFO";
        struct stat after {};
        EXPECT_TRUE(::lstat(special.c_str(), &after) == 0 && after.st_ino == before.st_ino &&
                    (after.st_mode & S_IFMT) == (before.st_mode & S_IFMT))
            << c.name << ": what took the file's place was replaced";
    }
}

} // namespace

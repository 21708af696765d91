#include "app/support/AppTestSupport.h"

#include "app/ScanCoordinator.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "app/UserDefaultsNotifier.h"
#include "app/support/SettingsFolder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QSettings>

#include <limits>

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

} // namespace

#include "app/SettingsKey.h"

#include "app/UserDefaults.h"

#include <QStringList>

void SettingsKey::registerDefaults()
{
    UserDefaults::standard().registerDefaults({
        {includeSystemFolders, true},
        {includeExternalVolumes, true},
        {includeNetworkVolumes, false},
        {excludedPaths, QStringList{}},
        {scanConcurrency, 4},
        {monitorInterval, 2.0},
    });
}

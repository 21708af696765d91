#pragma once

#include <QString>

// Names of the user settings and their registered defaults.
namespace SettingsKey {

inline const QString includeSystemFolders = QStringLiteral("includeSystemFolders");
inline const QString includeExternalVolumes = QStringLiteral("includeExternalVolumes");
inline const QString includeNetworkVolumes = QStringLiteral("includeNetworkVolumes");
inline const QString excludedPaths = QStringLiteral("excludedPaths");
inline const QString scanConcurrency = QStringLiteral("scanConcurrency");
inline const QString monitorInterval = QStringLiteral("monitorInterval");
// Not registered: a missing value reads as false.
inline const QString hasSeenWelcome = QStringLiteral("hasSeenWelcome");
inline const QString hideAppSizeExplanation = QStringLiteral("hideAppSizeExplanation");

// Registers the six scan and monitor defaults with UserDefaults::standard().
void registerDefaults();

} // namespace SettingsKey

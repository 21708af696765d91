#pragma once

#include "index/ApplicationRecords.h"

#include <QIcon>

#include <string>

// The icon a desktop entry names: an image file's path, or a name looked up in the
// icon themes and the shared pixmaps folders.
namespace ApplicationIcon {

// The named icon, or a null icon when no theme or folder has it. Answers are kept
// for the rest of the run, so each name is looked up once.
QIcon lookup(const std::string& iconName);

// The application's own icon, or the generic application symbol.
QIcon of(const ApplicationInfo& app, const QColor& fallbackTint = QColor());

} // namespace ApplicationIcon

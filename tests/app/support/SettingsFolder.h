#pragma once

#include "app/UserDefaults.h"
#include "support/TempDir.h"

#include <QString>

#include <string>

// A temporary folder that holds the standard settings of one test. The settings go with
// the folder: written out while it still exists, then pointed where nothing can be
// written, so that a value set later (a window saving its place as it closes, the next
// test switching files) never makes the removed folder again.
class SettingsFolder : public TempDir {
public:
    SettingsFolder() = default;
    ~SettingsFolder()
    {
        if (inUse_ != this)
            return;
        inUse_ = nullptr;
        // A folder below a device can never be made, so the file is never written.
        UserDefaults::useFileForStandard(QStringLiteral("/dev/null/settings.ini"));
    }

    // Points the standard settings at `name` in this folder.
    void useForStandard(const std::string& name = "settings.ini") const
    {
        UserDefaults::useFileForStandard(QString::fromStdString(file(name)));
        inUse_ = this;
    }

private:
    inline static const SettingsFolder* inUse_ = nullptr;
};

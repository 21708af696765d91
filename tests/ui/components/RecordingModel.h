#pragma once

#include "app/AppModel.h"
#include "app/SettingsKey.h"
#include "app/TestHome.h"
#include "app/UserDefaults.h"
#include "index/StorageDatabase.h"
#include "support/RecordingDesktop.h"
#include "support/TempDir.h"
#include "ui/UiTestSupport.h"

#include <memory>

// A root model over a home folder, settings and scan cache of its own, whose desktop
// records what it is asked to do.
struct RecordingModel {
    RecordingModel()
    {
        ensureApplication();
        UserDefaults::useFileForStandard(QString::fromStdString(settings.file("settings.ini")));
        SettingsKey::registerDefaults();
        model = std::make_unique<AppModel>(std::make_shared<StorageDatabase>(cache.file("ScanCache.sqlite")),
                                           emptyApplicationsStore(settings.path()));
        model->setDesktopServices(desktop);
    }

    TestHome home;
    TempDir settings;
    TempDir cache;
    std::shared_ptr<RecordingDesktop> desktop = std::make_shared<RecordingDesktop>();
    std::unique_ptr<AppModel> model;
};

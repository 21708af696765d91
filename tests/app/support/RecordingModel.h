#pragma once

#include "app/AppModel.h"
#include "app/support/AppTestSupport.h"
#include "app/support/SettingsFolder.h"
#include "index/StorageDatabase.h"
#include "support/RecordingDesktop.h"
#include "support/TempDir.h"
#include "support/TestHome.h"

#include <functional>
#include <memory>
#include <string>

// The one model fixture: a root model over a home folder, settings and scan cache of
// its own, whose desktop records what it is asked to do.
struct RecordingModel {
    // Makes the applications store once the home and settings exist; by default one
    // that lists nothing.
    using StoreMaker = std::function<ApplicationsStore*(const std::string& settingsFolder)>;

    explicit RecordingModel(const StoreMaker& makeStore = emptyApplicationsStore)
    {
        useOwnSettings(settings);
        database = std::make_shared<StorageDatabase>(cache.file("ScanCache.sqlite"));
        model = std::make_unique<AppModel>(database, makeStore(settings.path()));
        model->setDesktopServices(desktop);
    }

    TestHome home;
    SettingsFolder settings;
    TempDir cache;
    std::shared_ptr<StorageDatabase> database;
    std::shared_ptr<RecordingDesktop> desktop = std::make_shared<RecordingDesktop>();
    std::unique_ptr<AppModel> model;
};

#pragma once

#include "ui/UiTestSupport.h"

#include "analysis/ScannedTree.h"
#include "app/AppModel.h"
#include "app/ScanCoordinator.h"
#include "app/SettingsKey.h"
#include "app/TestHome.h"
#include "app/UserDefaults.h"
#include "index/StorageDatabase.h"
#include "support/RecordingDesktop.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

// The program's model over a scan cache of its own, with HOME pointed at a fresh folder
// that the tests fill with the places the measuring screens look at.
class MeasuredHomeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApplication();
        UserDefaults::useFileForStandard(QString::fromStdString(settings.file("settings.ini")));
        SettingsKey::registerDefaults();
        database = std::make_shared<StorageDatabase>(cache.file("ScanCache.sqlite"));
        model = std::make_unique<AppModel>(database, emptyApplicationsStore(settings.path()));
        model->setDesktopServices(desktop);
        model->scan().setRootsProvider([this] { return std::vector<std::string>{home.path()}; });
    }

    // A file of `size` bytes below the home folder; its full path.
    std::string write(const std::string& relative, std::size_t size) const
    {
        const std::filesystem::path file = std::filesystem::path(home.path()) / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << std::string(size, 'x');
        return file.string();
    }
    std::string inHome(const std::string& relative) const { return home.path() + "/" + relative; }

    void scanHome() { ScannedTree::scanInto(*database, {home.path()}); }

    TestHome home;
    TempDir settings;
    TempDir cache;
    std::shared_ptr<StorageDatabase> database;
    std::shared_ptr<RecordingDesktop> desktop = std::make_shared<RecordingDesktop>();
    std::unique_ptr<AppModel> model;
};

#pragma once

#include "ui/support/UiTestSupport.h"

#include "app/support/RecordingModel.h"

#include "support/ScannedTree.h"
#include "app/AppModel.h"
#include "app/ScanCoordinator.h"
#include "app/SettingsKey.h"
#include "app/UserDefaults.h"
#include "index/StorageDatabase.h"
#include "support/RecordingDesktop.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

// A model over a scan cache filled by a real scan of a small temporary tree, with
// settings of its own and a desktop that records what it was asked to do.
class PreferencesTest : public ::testing::Test, protected RecordingModel {
protected:
    void SetUp() override
    {
        for (int file = 0; file < 12; ++file)
            tree.write("disk/Projects/report" + std::to_string(file) + ".pdf", 40'000 + 4096 * file);
        tree.write("disk/Movies/holiday.mov", 3'000'000);
        ScannedTree::scanInto(*database, {tree.file("disk")});
        model->scan().setRootsProvider([this] { return std::vector<std::string>{tree.file("disk")}; });
    }

    // The raw text of the settings file, to see that nothing was written.
    std::string settingsFile()
    {
        UserDefaults::standard().sync();
        std::ifstream in(settings.file("settings.ini"));
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // A model whose scan cache could not be opened: its data folder, and the home's that an
    // XDG_DATA_HOME naming a file gives way to, lie below a file.
    std::unique_ptr<AppModel> modelWithoutDatabase()
    {
        const std::string blocker = settings.write("not-a-folder", "x");
        ScopedEnvironment data("XDG_DATA_HOME", blocker);
        ScopedEnvironment home("HOME", blocker);
        return std::make_unique<AppModel>(nullptr, emptyApplicationsStore(settings.path()));
    }

    TempDir tree;
};

#pragma once

#include "support/ReservedFile.h"
#include "support/ScannedTree.h"
#include "app/ScanCoordinator.h"
#include "app/support/RecordingModel.h"
#include "ui/support/UiTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

// The program's model over a scan cache of its own, with HOME pointed at a fresh folder
// that the tests fill with the places the measuring screens look at.
class MeasuredHomeTest : public ::testing::Test, protected RecordingModel {
protected:
    void SetUp() override
    {
        model->scan().setRootsProvider([this] { return std::vector<std::string>{home.path()}; });
    }

    // A file of `size` bytes below the home folder (see reserveFile); its full path.
    std::string write(const std::string& relative, std::size_t size) const
    {
        return reserveFile(inHome(relative), static_cast<std::int64_t>(size));
    }
    std::string inHome(const std::string& relative) const { return home.path() + "/" + relative; }
    // A system root without a package cache or journal, so that this machine's never show.
    std::string noSystem() const { return inHome("no system"); }

    void scanHome() { ScannedTree::scanInto(*database, {home.path()}); }
};

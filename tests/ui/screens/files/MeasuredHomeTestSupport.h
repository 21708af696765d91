#pragma once

#include "support/ScannedTree.h"
#include "app/ScanCoordinator.h"
#include "app/support/RecordingModel.h"
#include "ui/support/UiTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <fcntl.h>
#include <unistd.h>

// The program's model over a scan cache of its own, with HOME pointed at a fresh folder
// that the tests fill with the places the measuring screens look at.
class MeasuredHomeTest : public ::testing::Test, protected RecordingModel {
protected:
    void SetUp() override
    {
        model->scan().setRootsProvider([this] { return std::vector<std::string>{home.path()}; });
    }

    // A file of `size` bytes below the home folder, its blocks taken on the disk but never
    // written, so that tens of megabytes cost no time; its full path.
    std::string write(const std::string& relative, std::size_t size) const
    {
        const std::filesystem::path file = std::filesystem::path(home.path()) / relative;
        std::filesystem::create_directories(file.parent_path());
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        EXPECT_GE(fd, 0) << file;
        if (size > 0) {
            EXPECT_EQ(::posix_fallocate(fd, 0, static_cast<off_t>(size)), 0) << file;
        }
        ::close(fd);
        return file.string();
    }
    std::string inHome(const std::string& relative) const { return home.path() + "/" + relative; }
    // A system root without a package cache or journal, so that this machine's never show.
    std::string noSystem() const { return inHome("no system"); }

    void scanHome() { ScannedTree::scanInto(*database, {home.path()}); }
};

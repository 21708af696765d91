#pragma once

#include "ui/UiTestSupport.h"

#include "analysis/VolumeInfo.h"
#include "app/ScanCoordinator.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

inline VolumeInfo rootVolume(std::int64_t total, std::int64_t important, std::int64_t strict)
{
    VolumeInfo info;
    info.name = "Root";
    info.path = "/";
    info.totalCapacity = total;
    info.availableForImportantUsage = important;
    info.availableStrict = strict;
    return info;
}

// The program's model over a scan cache and settings of their own; scans read
// only the test's tree under "disk".
class OverviewModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        useOwnSettings(settings);
        database = std::make_shared<StorageDatabase>(cache.file("ScanCache.sqlite"));
        model = std::make_unique<AppModel>(database, emptyApplicationsStore(settings.path()));
        model->scan().setRootsProvider([this] { return std::vector<std::string>{tree.file("disk")}; });
    }

    TempDir settings;
    TempDir cache;
    TempDir tree;
    std::shared_ptr<StorageDatabase> database;
    std::unique_ptr<AppModel> model;
};

#pragma once

#include "ui/support/UiTestSupport.h"

#include "app/support/RecordingModel.h"

#include "analysis/VolumeInfo.h"
#include "app/ScanCoordinator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Without `used`, a volume with no administrator's reserve: all that is not available is used.
inline VolumeInfo rootVolume(std::int64_t total, std::int64_t important, std::int64_t strict,
                             std::optional<std::int64_t> used = std::nullopt)
{
    VolumeInfo info;
    info.name = "Root";
    info.path = "/";
    info.totalCapacity = total;
    info.availableForImportantUsage = important;
    info.availableStrict = strict;
    info.usedCapacity = used.value_or(std::max<std::int64_t>(0, total - std::max(important, strict)));
    return info;
}

// The program's model over a scan cache and settings of their own; scans read
// only the test's tree under "disk".
class OverviewModelTest : public ::testing::Test, protected RecordingModel {
protected:
    void SetUp() override
    {
        model->scan().setRootsProvider([this] { return std::vector<std::string>{tree.file("disk")}; });
    }

    TempDir tree;
};

#include "ui/support/UiTestSupport.h"

#include <gtest/gtest.h>

namespace {

class UiApplication : public ::testing::Environment {
public:
    void SetUp() override { ensureApplication(); }
};

[[maybe_unused]] const ::testing::Environment* const uiApplication =
    ::testing::AddGlobalTestEnvironment(new UiApplication);

} // namespace

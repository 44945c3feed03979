// Filtering, routing and the once-only configuration load of LogCore.
#include <gtest/gtest.h>

#include "core/LogCore.h"
#include "tests/support/FakePlatform.h"

namespace VTLogAdapter::Testing {
namespace {

TEST(Dispatch, EmptyFormatWritesNothing) {
    FakePlatform platform;
    LogCore core(platform);
    EXPECT_EQ(0, core.LogEx(nullptr, nullptr, 0, VT_LOG_INFO, nullptr, u""));
    EXPECT_EQ(0, core.LogEx(nullptr, nullptr, 0, VT_LOG_INFO, nullptr, nullptr));
    EXPECT_EQ(0, core.Config()->loaded);
}

}  // namespace
}  // namespace VTLogAdapter::Testing

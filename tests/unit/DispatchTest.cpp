// Filtering, routing and the once-only configuration load of LogCore.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/LogCore.h"
#include "tests/support/ConfigFiles.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/TempFolder.h"

namespace VTLogAdapter::Testing {
namespace {

// Debugger output only, so every admitted message is one captured line and no file is made.
class DispatchTest : public ::testing::Test {
protected:
    void Configure(int logLevel) {
        InstallConfig(platform, temp, EnabledConfig(temp, logLevel, /*fileOutput=*/0,
                                                    /*debugOutput=*/1));
    }
    int Log(int level, const char16_t* operation, const char16_t* format = u"%s") {
        return core.LogEx(u"src/file.cpp", u"Fn", 7, static_cast<VT_LOGLEVEL>(level), operation,
                          format, u"message");
    }

    TempFolder temp;
    FakePlatform platform;
    LogCore core{platform};
};

TEST_F(DispatchTest, EmptyOrNullFormatWritesNothingAndDoesNotLoad) {
    Configure(0);
    EXPECT_EQ(0, core.LogEx(nullptr, nullptr, 0, VT_LOG_INFO, nullptr, u""));
    EXPECT_EQ(0, core.LogEx(nullptr, nullptr, 0, VT_LOG_INFO, nullptr, nullptr));
    EXPECT_EQ(0, core.Config()->loaded);
    EXPECT_EQ(0, platform.registryReads.load());
}

TEST_F(DispatchTest, NothingIsWrittenWithoutConfiguration) {
    EXPECT_EQ(0, Log(VT_LOG_FATAL, nullptr));
    EXPECT_EQ(1, core.Config()->loaded);
    EXPECT_TRUE(platform.DebugLines().empty());
}

TEST_F(DispatchTest, FirstCallLoadsEvenWhenItsLevelIsFiltered) {
    Configure(3);
    EXPECT_EQ(0, Log(VT_LOG_INFO, nullptr));
    EXPECT_EQ(1, core.Config()->loaded);
    EXPECT_EQ(1, core.Config()->enable);
    EXPECT_EQ(3, core.Config()->logLevel);
    EXPECT_EQ(1, platform.registryReads.load());
    Log(VT_LOG_FATAL, nullptr);
    EXPECT_EQ(1, platform.registryReads.load()) << "the configuration is read once";
}

TEST_F(DispatchTest, LevelThresholdIsASignedComparison) {
    struct Case {
        int threshold;
        int level;
        int written;
    };
    const Case cases[] = {
        {2, 0, 0}, {2, 1, 0}, {2, 2, 1}, {2, 3, 1}, {2, 4, 1}, {2, -1, 0}, {2, 7, 1},
        {-5, -1, 1}, {-5, -6, 0}, {0, 0, 1}, {0, -1, 0}, {5, 4, 0}, {5, 5, 1},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        FakePlatform fake;
        InstallConfig(fake, folder, EnabledConfig(folder, c.threshold, 0, 1));
        LogCore engine(fake);
        const int result = engine.LogEx(nullptr, nullptr, 0, static_cast<VT_LOGLEVEL>(c.level),
                                        nullptr, u"x");
        EXPECT_EQ(c.written, result) << "threshold " << c.threshold << " level " << c.level;
        EXPECT_EQ(static_cast<std::size_t>(c.written), fake.DebugLines().size())
            << "threshold " << c.threshold << " level " << c.level;
    }
}

TEST(IsEnabledTest, AnswersWhetherARecordWouldReachAnOutput) {
    struct Case {
        bool configured;
        int masterSwitch;
        int threshold;
        int fileOutput;
        int debugOutput;
        int level;
        int enabled;
    };
    const Case cases[] = {
        {true, 1, 2, 1, 0, 2, 1},  {true, 1, 2, 0, 1, 4, 1},  {true, 1, 2, 1, 1, 1, 0},
        {true, 1, 2, 0, 0, 4, 0},  {true, 0, 0, 1, 1, 4, 0},  {true, 1, 0, 1, 0, 0, 1},
        {true, 1, 0, 1, 0, -1, 0}, {false, 0, 0, 0, 0, 4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        TempFolder folder;
        FakePlatform fake;
        if (c.configured) {
            std::string xml = EnabledConfig(folder, c.threshold, c.fileOutput, c.debugOutput);
            if (c.masterSwitch == 0) xml.replace(xml.find("enable=\"1\""), 10, "enable=\"0\"");
            InstallConfig(fake, folder, xml);
        }
        LogCore engine(fake);
        EXPECT_EQ(c.enabled, engine.IsEnabled(c.level));
        EXPECT_EQ(1, engine.Config()->loaded) << "the first question loads the configuration";
        EXPECT_EQ(c.enabled, engine.IsEnabled(c.level)) << "the answer holds after the load";
    }
}

TEST_F(DispatchTest, EmptyOperationGoesToTheGeneralLogNamedOnesToTheirOwnFilesUntilClosed) {
    InstallConfig(platform, temp, EnabledConfig(temp, 0, /*fileOutput=*/1, /*debugOutput=*/0));
    EXPECT_EQ(1, Log(VT_LOG_INFO, nullptr));
    EXPECT_EQ(1, Log(VT_LOG_INFO, u""));
    EXPECT_EQ(1, Log(VT_LOG_INFO, u"Login"));
    const std::vector<std::string> files = ListFiles(temp.Join("logs"));
    ASSERT_EQ(2u, files.size());
    EXPECT_EQ("2026-12-07/Login.dat", files[0]);
    EXPECT_EQ("2026-12-07/app.exe.dat", files[1]);
    EXPECT_EQ(2u, SplitLines(ReadFile(temp.Join("logs/2026-12-07/app.exe.dat"))).size());
    EXPECT_EQ(1u, SplitLines(ReadFile(temp.Join("logs/2026-12-07/Login.dat"))).size());

    // Once closed (the library unloading), a line is dropped and reopens no file.
    core.Close();
    EXPECT_EQ(0, Log(VT_LOG_INFO, nullptr));
    EXPECT_EQ(0, Log(VT_LOG_INFO, u"Login"));
    EXPECT_EQ(2u, SplitLines(ReadFile(temp.Join("logs/2026-12-07/app.exe.dat"))).size());
    EXPECT_EQ(1u, SplitLines(ReadFile(temp.Join("logs/2026-12-07/Login.dat"))).size());
}

TEST_F(DispatchTest, MessageIsFormattedFromItsArguments) {
    Configure(0);
    core.LogEx(nullptr, nullptr, 0, VT_LOG_WARN, nullptr, u"%d%% of %hs", 42, "disk");
    const std::vector<std::string> lines = platform.DebugLines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("\"42% of disk\""));
}

TEST_F(DispatchTest, PlainTextFormatPassesTheTextThroughVerbatim) {
    Configure(0);
    core.LogEx(nullptr, nullptr, 0, VT_LOG_WARN, nullptr, u"%s", u"100%d %s done");
    core.LogEx(nullptr, nullptr, 0, VT_LOG_WARN, nullptr, u"%s", static_cast<char16_t*>(nullptr));
    core.LogEx(nullptr, nullptr, 0, VT_LOG_WARN, nullptr, u"%s", u"");
    const std::vector<std::string> lines = platform.DebugLines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("\"100%d %s done\""));
    EXPECT_NE(std::string::npos, lines[1].find("\"(null)\""));
    EXPECT_NE(std::string::npos, lines[2].find("\"\""));
}

TEST_F(DispatchTest, RacingFirstCallsLoadOnceAndNoneSeesAHalfFilledRecord) {
    Configure(0);
    // A slow registry read keeps the load open while the other threads arrive.
    platform.onRegistryRead = [] { std::this_thread::sleep_for(std::chrono::milliseconds(50)); };
    std::atomic<bool> go{false};
    std::atomic<int> written{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&] {
            while (!go.load()) std::this_thread::yield();
            written += Log(VT_LOG_INFO, nullptr);
        });
    }
    go = true;
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(1, platform.registryReads.load());
    EXPECT_EQ(8, written.load());
    EXPECT_EQ(8u, platform.DebugLines().size());
}

}  // namespace
}  // namespace VTLogAdapter::Testing

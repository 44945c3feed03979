// Opening log files in the day folder, exclusive creation, and roll-over by day and size.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/FakePlatform.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WriterTesting.h"

namespace VTLogAdapter::Testing {
namespace {

using Files = std::vector<std::string>;

class RollOverTest : public ::testing::Test {
protected:
    TempFolder temp;
    FakePlatform platform;
    std::unique_ptr<LogConfig> config = WritingConfig(platform, temp.Path());
};

TEST_F(RollOverTest, FirstWriteMakesTheDayFolderAndALaterWriterTakesTheNextNumber) {
    TestWriter first(config.get(), platform);
    first.Write("one\n");
    first.Write("two\n");
    EXPECT_STREQ("2026-12-07", first.currentDay);
    TestWriter second(config.get(), platform);
    second.Write("three\n");
    TestWriter third(config.get(), platform);
    third.Write("four\n");
    EXPECT_EQ((Files{"2026-12-07/trace.dat", "2026-12-07/trace_1.dat", "2026-12-07/trace_2.dat"}),
              ListFiles(temp.Path()));
    EXPECT_EQ("one\ntwo\n", ReadFile(temp.Join("2026-12-07/trace.dat")));
    EXPECT_EQ("three\n", ReadFile(temp.Join("2026-12-07/trace_1.dat")));
}

TEST_F(RollOverTest, NameTakenBetweenScanAndCreateMovesToTheNextNumber) {
    // Another process wins the race for the first two names the scan found free.
    int stolen = 0;
    platform.allowCreate = [&](const char* path) {
        if (stolen < 2) {
            ++stolen;
            std::ofstream(path) << "theirs\n";
        }
        return true;
    };
    TestWriter writer(config.get(), platform);
    writer.Write("mine\n");
    EXPECT_EQ((Files{"2026-12-07/trace.dat", "2026-12-07/trace_1.dat", "2026-12-07/trace_2.dat"}),
              ListFiles(temp.Path()));
    EXPECT_EQ("theirs\n", ReadFile(temp.Join("2026-12-07/trace.dat")));
    EXPECT_EQ("theirs\n", ReadFile(temp.Join("2026-12-07/trace_1.dat")));
    EXPECT_EQ("mine\n", ReadFile(temp.Join("2026-12-07/trace_2.dat")));
}

TEST_F(RollOverTest, FailedCreateLosesTheLineAndIsTriedAgainInTheNextSecond) {
    bool allow = false;
    int tries = 0;
    platform.allowCreate = [&](const char*) {
        ++tries;
        return allow;
    };
    TestWriter writer(config.get(), platform);
    writer.Write("lost\n");
    allow = true;
    writer.Write("lost too: same second\n");
    EXPECT_EQ(1, tries);
    EXPECT_EQ(nullptr, writer.file.file);
    platform.SetTime(2026, 12, 7, 14, 3, 8);
    writer.Write("kept\n");
    EXPECT_EQ((Files{"2026-12-07/trace.dat"}), ListFiles(temp.Path()));
    EXPECT_EQ("kept\n", ReadFile(temp.Join("2026-12-07/trace.dat")));
}

TEST_F(RollOverTest, SizeLimitIsStrictAndSixtyFourBit) {
    struct Case {
        double limitMegabytes;
        std::int64_t length;
        bool rolls;
    };
    const std::int64_t gib = std::int64_t{1} << 30;
    const Case cases[] = {
        {0.1, 104857, false}, {0.1, 104858, true},   {1.0, 1048576, false},
        {1.0, 1048577, true}, {10.0, 2 * gib, true}, {10.0, 5 * gib, true},
        {4096.0, 3 * gib, false}, {0.1, -1, false},  // an unreadable length never rolls
    };
    for (const Case& c : cases) {
        TempFolder folder;
        FakePlatform fake;
        auto settings = WritingConfig(fake, folder.Path());
        settings->generalLog.fileSizeLimit = c.limitMegabytes;
        TestWriter writer(settings.get(), fake);
        writer.Write("first\n");
        fake.fileLengthOverride = [&](LogFile*) { return c.length; };
        writer.Write("second\n");
        const Files expected = c.rolls ? Files{"2026-12-07/trace.dat", "2026-12-07/trace_1.dat"}
                                       : Files{"2026-12-07/trace.dat"};
        EXPECT_EQ(expected, ListFiles(folder.Path())) << c.limitMegabytes << " " << c.length;
    }
}

TEST_F(RollOverTest, LineThatCrossesTheLimitStaysInTheOldFile) {
    config->generalLog.fileSizeLimit = 0.1;
    TestWriter writer(config.get(), platform);
    const std::string first = std::string(104000, 'a') + "\n";
    writer.Write(first);
    const std::string crossing = std::string(999, 'b') + "\n";
    writer.Write(crossing);
    writer.Write("next\n");
    EXPECT_EQ(StoredSize(first + crossing),
              std::filesystem::file_size(temp.Join("2026-12-07/trace.dat")));
    EXPECT_EQ(crossing, ReadFile(temp.Join("2026-12-07/trace.dat")).substr(104001));
    EXPECT_EQ("next\n", ReadFile(temp.Join("2026-12-07/trace_1.dat")));
}

TEST_F(RollOverTest, MidnightMovesToTheNewDayFolder) {
    platform.SetTime(2026, 12, 7, 23, 59, 59, 999);
    TestWriter writer(config.get(), platform);
    writer.Write("before\n");
    platform.SetTime(2026, 12, 8, 0, 0, 0, 1);
    writer.Write("after\n");
    EXPECT_STREQ("2026-12-08", writer.currentDay);
    EXPECT_EQ((Files{"2026-12-07/trace.dat", "2026-12-08/trace.dat"}), ListFiles(temp.Path()));
    EXPECT_EQ("after\n", ReadFile(temp.Join("2026-12-08/trace.dat")));
}

TEST_F(RollOverTest, PathsTooLongForTheBufferAreSkippedNotCut) {
    // Folder + day folder fit, folder + name part does not.
    const std::string longFolder = temp.Join(std::string(210 - temp.Path().size(), 'f'));
    std::filesystem::create_directories(longFolder);
    std::snprintf(config->generalLog.filePath, kPathCapacity, "%s%c", longFolder.c_str(),
                  kPathSeparator);
    TestWriter writer(config.get(), platform);
    const std::string name(40, 'n');
    writer.Write("x\n", name.c_str());
    EXPECT_EQ(nullptr, writer.file.file);
    EXPECT_TRUE(ListFiles(temp.Path()).empty());
    platform.SetTime(2026, 12, 7, 14, 3, 8);   // past the second of the failed open

    // A name that fits only without a number: the first file is made, a roll-over is not.
    const std::string fitting(259 - (longFolder.size() + 12) - 4, 'n');
    writer.Write("first\n", fitting.c_str());
    ASSERT_NE(nullptr, writer.file.file);
    platform.fileLengthOverride = [](LogFile*) { return std::int64_t{1} << 40; };
    writer.Write("second\n", fitting.c_str());
    EXPECT_EQ(nullptr, writer.file.file);
    const Files files = ListFiles(temp.Path());
    ASSERT_EQ(1u, files.size());
    EXPECT_EQ("first\n", ReadFile(temp.Join(files[0])));
}

}  // namespace
}  // namespace VTLogAdapter::Testing

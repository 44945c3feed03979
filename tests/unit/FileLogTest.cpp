// The general log: filtering, output switches, file naming and the lines it writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/FakePlatform.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WriterTesting.h"
#include "writers/FileLog.h"

namespace VTLogAdapter::Testing {
namespace {

using Files = std::vector<std::string>;

class FileLogTest : public ::testing::Test {
protected:
    int Write(FileLog& log, int level = 1, const char16_t* message = u"Ready") {
        return log.WriteRecord(u"src/capture.cpp", u"Init", 120, level, message);
    }
    // The line FileLog must produce for Write(level, message) at the fake clock's time.
    std::string Expected(const FileLog& log, int level = 1, const char16_t* message = u"Ready") {
        char line[kLineCapacity];
        log.FormatLine(line, message, u"src/capture.cpp", u"Init", 120, level,
                       platform.GetLocalTime());
        return line;
    }

    TempFolder temp;
    FakePlatform platform;
    std::unique_ptr<LogConfig> config = WritingConfig(platform, temp.Path());
};

TEST_F(FileLogTest, FilteredRecordsTouchNothing) {
    FileLog noConfig(nullptr, platform);
    EXPECT_EQ(0, Write(noConfig));

    config->debugOutput = 1;
    config->logLevel = 2;
    FileLog log(config.get(), platform);
    EXPECT_EQ(0, Write(log, 1));
    EXPECT_EQ(0, Write(log, -1));
    config->logLevel = 0;
    config->enable = 0;
    EXPECT_EQ(0, Write(log, 4));
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
    EXPECT_TRUE(platform.DebugLines().empty());
}

TEST_F(FileLogTest, OutputSwitches) {
    struct Case {
        int fileOutput;
        int debugOutput;
    };
    for (const Case c : {Case{1, 1}, Case{1, 0}, Case{0, 1}, Case{0, 0}}) {
        TempFolder folder;
        FakePlatform fake;
        auto settings = WritingConfig(fake, folder.Path());
        settings->fileOutput = c.fileOutput;
        settings->debugOutput = c.debugOutput;
        FileLog log(settings.get(), fake);
        EXPECT_EQ(1, log.WriteRecord(nullptr, nullptr, 0, 3, u"one"));
        EXPECT_EQ(1, log.WriteRecord(nullptr, nullptr, 0, 3, u"two"));
        EXPECT_EQ(c.debugOutput != 0 ? 2u : 0u, fake.DebugLines().size());
        if (c.fileOutput != 0) {
            EXPECT_EQ(Files{"2026-12-07/Performance_Vantiro.dat"}, ListFiles(folder.Path()));
        } else {
            EXPECT_TRUE(std::filesystem::is_empty(folder.Path())) << "no folder either";
        }
    }
}

TEST_F(FileLogTest, FileAndDebuggerReceiveTheSameWholeLine) {
    config->debugOutput = 1;
    FileLog log(config.get(), platform);
    EXPECT_EQ(1, Write(log, 2, u"say \"hi\""));
    const std::string first = Expected(log, 2, u"say \"hi\"");
    platform.SetTime(2026, 12, 7, 14, 3, 8, 1);
    EXPECT_EQ(1, Write(log, 3));
    const std::string second = Expected(log, 3);
    EXPECT_EQ(first + second, ReadFile(temp.Join("2026-12-07/Performance_Vantiro.dat")));
    EXPECT_EQ((std::vector<std::string>{first, second}), platform.DebugLines());
}

TEST_F(FileLogTest, DefaultFileNameFollowsTheExecutable) {
    config->generalLog.useDefaultFileName = 1;
    FileLog first(config.get(), platform);
    FileLog second(config.get(), platform);   // as a second process of the same program would
    Write(first);
    Write(second);
    EXPECT_EQ((Files{"2026-12-07/app.exe.dat", "2026-12-07/app.exe_1.dat"}),
              ListFiles(temp.Path()));
}

TEST_F(FileLogTest, ConfiguredFileNameLosesItsExtensionAndRollsOverBySize) {
    std::snprintf(config->generalLog.fileName, kPathCapacity, "general.log");
    config->generalLog.fileSizeLimit = 0.1;
    FileLog log(config.get(), platform);
    Write(log);
    platform.fileLengthOverride = [](LogFile*) { return std::int64_t{104858}; };
    Write(log);
    EXPECT_EQ((Files{"2026-12-07/general.dat", "2026-12-07/general_1.dat"}),
              ListFiles(temp.Path()));
}

TEST_F(FileLogTest, ExecutableNameTooLongForAnyPathGetsNoFile) {
    platform.executablePath = Native(u"/b/") + std::u16string(255, u'e');
    config->generalLog.useDefaultFileName = 1;
    config->debugOutput = 1;
    FileLog log(config.get(), platform);
    EXPECT_EQ(1, Write(log));
    EXPECT_TRUE(ListFiles(temp.Path()).empty());
    EXPECT_EQ(1u, platform.DebugLines().size());
}

TEST_F(FileLogTest, PointInTheConfiguredFolderDoesNotCutThePath) {
    const std::string folder = temp.Join(Native("x/john.doe/logs"));
    std::snprintf(config->generalLog.filePath, kPathCapacity, "%s%c", folder.c_str(),
                  kPathSeparator);
    std::snprintf(config->generalLog.fileName, kPathCapacity, "general");
    FileLog first(config.get(), platform);
    FileLog second(config.get(), platform);
    Write(first);
    Write(second);
    EXPECT_EQ((Files{"x/john.doe/logs/2026-12-07/general.dat",
                     "x/john.doe/logs/2026-12-07/general_1.dat"}),
              ListFiles(temp.Path()));
}

}  // namespace
}  // namespace VTLogAdapter::Testing

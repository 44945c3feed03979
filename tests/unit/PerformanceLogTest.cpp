// The performance log: one file series per operation, names that may not get a file, the
// day change seen by one operation at a time, and what destruction releases.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/FakePlatform.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WriterTesting.h"
#include "writers/PerformanceLog.h"

namespace VTLogAdapter::Testing {
namespace {

using Files = std::vector<std::string>;

class PerformanceLogTest : public ::testing::Test {
protected:
    int Write(const char16_t* operation, const char16_t* message = u"Ready", int level = 1) {
        return log.WriteRecord(u"src/capture.cpp", u"Init", 120, level, operation, message);
    }
    std::string Expected(const char16_t* message = u"Ready", int level = 1) {
        char line[kLineCapacity];
        log.FormatLine(line, message, u"src/capture.cpp", u"Init", 120, level,
                       platform.GetLocalTime());
        return line;
    }
    std::string Day(const std::string& file) const {
        return ReadFile(temp.Join("2026-12-07" + std::string(1, kPathSeparator) + file));
    }

    TempFolder temp;
    FakePlatform platform;
    std::unique_ptr<LogConfig> config = WritingConfig(platform, temp.Path());
    PerformanceLog log{config.get(), platform};
};

TEST_F(PerformanceLogTest, EachOperationWritesItsOwnFileWithoutItsName) {
    EXPECT_EQ(1, Write(u"Login", u"first"));
    EXPECT_EQ(1, Write(u"Verify", u"second"));
    EXPECT_EQ(1, Write(u"Login", u"third"));   // a second instance of the same name
    EXPECT_EQ((Files{"2026-12-07/Login.dat", "2026-12-07/Verify.dat"}), ListFiles(temp.Path()));
    EXPECT_EQ(Expected(u"first") + Expected(u"third"), Day("Login.dat"));
    EXPECT_EQ(Expected(u"second"), Day("Verify.dat"));
}

TEST_F(PerformanceLogTest, EarlierFilesPushANewProcessToTheNextNumber) {
    temp.WriteFile("2026-12-07/Login.dat", "earlier run\n");
    temp.WriteFile("2026-12-07/Verify.dat", "earlier run\n");
    temp.WriteFile("2026-12-07/Verify_1.dat", "earlier run\n");
    Write(u"Login");
    Write(u"Verify");
    EXPECT_EQ(Expected(), Day("Login_1.dat"));
    EXPECT_EQ(Expected(), Day("Verify_2.dat"));
    EXPECT_EQ("earlier run\n", Day("Login.dat"));
}

TEST_F(PerformanceLogTest, WhichNamesGetWhichFile) {
    struct Case {
        std::u16string operation;
        std::string file;   // relative to the day folder; empty: no file, debugger only
    };
    std::vector<Case> cases = {
        {u"Auth.Step", "Auth.dat"},
        {u"login", "login.dat"},
        {Native(u"Auth/Login"), ""},   // its sub-folder does not exist
        {Native(u"Sub/Login"), "Sub/Login.dat"},
        {Native(u"../escape"), ""},
        {Native(u"Sub/../../escape"), ""},
        {Native(u"/abs"), ""},
        {u"C:evil", ""},
        {u"..", ""},
        {std::u16string(260, u'x'), ""},         // 260 bytes of UTF-8
        {std::u16string(130, u'\u00E9'), ""},    // 260 bytes of UTF-8 from 130 characters
    };
    // Windows hands the UTF-8 bytes to the file system through the ANSI code page, so the name
    // reads back differently there; elsewhere the bytes are the name.
    if (kPathSeparator == '/') cases.push_back({u"Gr\u00FC\u00DFe", "Gr\xC3\xBC\xC3\x9F" "e.dat"});
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        TempFolder folder;
        FakePlatform fake;
        auto settings = WritingConfig(fake, folder.Path());
        settings->debugOutput = 1;
        std::filesystem::create_directories(folder.Join("2026-12-07/Sub"));
        PerformanceLog writer(settings.get(), fake);
        EXPECT_EQ(1, writer.WriteRecord(nullptr, nullptr, 0, 1, c.operation.c_str(), u"m"))
            << "case " << i;
        EXPECT_EQ(1u, fake.DebugLines().size()) << "case " << i;
        const Files expected = c.file.empty() ? Files{} : Files{"2026-12-07/" + c.file};
        EXPECT_EQ(expected, ListFiles(folder.Path())) << "case " << i;
    }
}

TEST_F(PerformanceLogTest, NamesDifferingOnlyInCaseAreSeparateOperations) {
    Write(u"login", u"lower");
    Write(u"Login", u"upper");
    const Files files = ListFiles(temp.Path());
    ASSERT_EQ(2u, files.size());
    // On a file system that ignores case the second one is numbered instead.
    EXPECT_EQ(Expected(u"lower"), ReadFile(temp.Join(files[1])));
}

TEST_F(PerformanceLogTest, BackslashInANameIsAFileNameCharacterOnPosix) {
    if (kPathSeparator == '\\') GTEST_SKIP() << "a folder separator here";
    Write(u"Auth\\Login");
    Write(u"\\lead");
    EXPECT_EQ((Files{"2026-12-07/Auth\\Login.dat", "2026-12-07/\\lead.dat"}),
              ListFiles(temp.Path()));
}

TEST_F(PerformanceLogTest, EveryOperationMovesToTheNewDayAtItsOwnFirstLine) {
    platform.SetTime(2026, 12, 7, 23, 59, 59, 998);
    Write(u"A");
    Write(u"B");
    platform.SetTime(2026, 12, 7, 23, 59, 59, 999);
    Write(u"B");   // stamped before midnight: still the old day's file
    platform.SetTime(2026, 12, 8, 0, 0, 1);
    Write(u"A");
    Write(u"B");
    EXPECT_EQ((Files{"2026-12-07/A.dat", "2026-12-07/B.dat", "2026-12-08/A.dat",
                     "2026-12-08/B.dat"}),
              ListFiles(temp.Path()));
    EXPECT_EQ(2u, SplitLines(Day("B.dat")).size());
}

TEST_F(PerformanceLogTest, OutputSwitchesAndFilter) {
    config->fileOutput = 0;
    config->debugOutput = 1;
    EXPECT_EQ(1, Write(u"Login"));
    EXPECT_EQ(1u, platform.DebugLines().size());
    config->debugOutput = 0;
    EXPECT_EQ(1, Write(u"Login"));
    EXPECT_EQ(1u, platform.DebugLines().size());
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path())) << "no folder either";

    config->fileOutput = 1;
    config->logLevel = 2;
    EXPECT_EQ(0, Write(u"Login", u"m", 1));
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
    PerformanceLog noConfig(nullptr, platform);
    EXPECT_EQ(0, noConfig.WriteRecord(nullptr, nullptr, 0, 4, u"Login", u"m"));
}

TEST_F(PerformanceLogTest, LinesWithoutAFileStillReachTheDebuggerOutput) {
    bool allow = false;
    platform.allowCreate = [&](const char*) { return allow; };
    config->debugOutput = 1;
    EXPECT_EQ(1, Write(u"Login", u"lost"));
    allow = true;
    platform.SetTime(2026, 12, 7, 14, 3, 8, 45);
    EXPECT_EQ(1, Write(u"Login", u"kept"));
    EXPECT_EQ(Expected(u"kept"), Day("Login.dat"));
    EXPECT_EQ(2u, platform.DebugLines().size());
}

TEST_F(PerformanceLogTest, DestructionClosesEveryFile) {
    const std::filesystem::path descriptors("/proc/self/fd");
    if (!std::filesystem::is_directory(descriptors)) GTEST_SKIP() << "no /proc/self/fd";
    auto count = [&] {
        return std::distance(std::filesystem::directory_iterator(descriptors),
                             std::filesystem::directory_iterator());
    };
    const auto before = count();
    {
        PerformanceLog writer(config.get(), platform);
        for (const char16_t* operation : {u"A", u"B", u"C", u"A"}) {
            writer.WriteRecord(nullptr, nullptr, 0, 1, operation, u"m");
        }
        EXPECT_EQ(before + 3, count());
    }
    EXPECT_EQ(before, count());
}

}  // namespace
}  // namespace VTLogAdapter::Testing

// The writer base: process identity, the file mutex's life, and folder creation.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/LogCore.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WriterTesting.h"
#include "writers/FileLog.h"
#include "writers/PerformanceLog.h"

namespace VTLogAdapter::Testing {
namespace {

TEST(WriterBase, IdentityFromExecutablePathAndSession) {
    struct Case {
        std::u16string executable;
        std::uint32_t session;
        bool lookupFails;
        bool remote;
        std::string module;
        std::string tag;
    };
    const Case cases[] = {
        {Native(u"/opt/apps/app.exe"), 1, false, false, "app.exe", " SL(1) "},
        {Native(u"/opt/apps/app.exe"), 3, false, true, "app.exe", " SR(3) "},
        {Native(u"/opt/apps/app.exe"), 7, true, false, "app.exe", " SL(0) "},
        {Native(u"/opt/apps/app.exe"), 7, true, true, "app.exe", " SR(0) "},
        {Native(u"/opt/apps/app.exe"), 4000000000u, false, false, "app.exe", " SL(4000000000) "},
        {u"app.exe", 0, false, false, "app.exe", " SL(0) "},
        // The first character is never taken for the separator.
        {Native(u"/app.exe"), 0, false, false, Native("/app.exe"), " SL(0) "},
        {Native(u"/opt/apps/"), 0, false, false, "", " SL(0) "},
        {u"", 0, false, false, "", " SL(0) "},
        {Native(u"/opt/Gr\u00FC\u00DFe/pr\u00FCf\U0001F600.exe"), 0, false, false,
         "pr\xC3\xBC" "f\xF0\x9F\x98\x80.exe", " SL(0) "},
    };
    for (const Case& c : cases) {
        FakePlatform platform;
        platform.processId = 977;
        platform.executablePath = c.executable;
        platform.sessionId = c.session;
        platform.sessionLookupFails = c.lookupFails;
        platform.remoteSession = c.remote;
        TestWriter writer(nullptr, platform);
        EXPECT_EQ(c.module, writer.moduleFileName) << c.tag;
        EXPECT_EQ(c.tag, writer.sessionTag);
        EXPECT_EQ(977u, writer.processIdentifier);
        EXPECT_STREQ("", writer.currentDay);
    }
}

TEST(WriterBase, MutexIsCreatedOncePerWriterAndClosedAtDestruction) {
    FakePlatform platform;
    {
        LogConfig config(platform);
        FileLog fileLog(&config, platform);
        PerformanceLog performanceLog(&config, platform);
        EXPECT_EQ(2, platform.mutexesCreated.load());
        EXPECT_EQ(0, platform.mutexesClosed.load());
        fileLog.Close();
        EXPECT_EQ(1, platform.mutexesClosed.load());
    }
    EXPECT_EQ(2, platform.mutexesClosed.load()) << "Close() already released FileLog's handle";

    { LogCore core(platform); }
    EXPECT_EQ(4, platform.mutexesCreated.load());
    EXPECT_EQ(4, platform.mutexesClosed.load());
}

TEST(WriterBase, WritersWorkWithoutTheMutex) {
    TempFolder temp;
    FakePlatform platform;
    platform.mutexFails = true;
    {
        auto config = WritingConfig(platform, temp.Path());
        TestWriter writer(config.get(), platform);
        EXPECT_EQ(nullptr, writer.fileMutex);
        writer.Write("line\n");
    }
    EXPECT_EQ(0, platform.mutexesClosed.load());
    EXPECT_EQ("line\n", ReadFile(temp.Join("2026-12-07/trace.dat")));
}

TEST(WriterBase, CreateDirectoriesMakesEveryFolderEndingInASeparator) {
    TempFolder temp;
    FakePlatform platform;
    TestWriter writer(nullptr, platform);
    writer.CreateDirectories((temp.Path() + Native("/a/b.c/d/name")).c_str());
    EXPECT_TRUE(std::filesystem::is_directory(temp.Join("a/b.c/d")));
    EXPECT_FALSE(std::filesystem::exists(temp.Join("a/b.c/d/name")));

    // Far beyond a path buffer: folders are made as far as the buffer reaches, nothing more.
    const std::string deep = temp.Path() + Native("/" + std::string(200, 'x') + "/" +
                                                  std::string(200, 'y') + "/");
    writer.CreateDirectories(deep.c_str());
    EXPECT_TRUE(std::filesystem::is_directory(temp.Join(std::string(200, 'x'))));
    EXPECT_FALSE(std::filesystem::exists(
        temp.Join(std::string(200, 'x') + Native("/") + std::string(200, 'y'))));
}

}  // namespace
}  // namespace VTLogAdapter::Testing

// Day folder names, name stems, numbered names and unique names among real files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/FakePlatform.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WriterTesting.h"
#include "writers/FileNaming.h"

namespace VTLogAdapter::Testing {
namespace {

TEST(FileNaming, DayFolderName) {
    struct Case {
        int year, month, day;
        const char* expected;
    };
    const Case cases[] = {
        {2026, 12, 7, "2026-12-07"}, {2027, 1, 1, "2027-01-01"}, {999, 10, 31, "999-10-31"}};
    for (const Case& c : cases) {
        LocalTime time;
        time.year = c.year;
        time.month = c.month;
        time.day = c.day;
        char buffer[kPathCapacity];
        ASSERT_TRUE(FormatDayFolderName(time, buffer, sizeof buffer));
        EXPECT_STREQ(c.expected, buffer);
    }
    LocalTime time;
    time.year = 2026;
    char small[10];
    EXPECT_FALSE(FormatDayFolderName(time, small, sizeof small));
    EXPECT_STREQ("", small);
}

TEST(FileNaming, StemEndsAtTheLastPointOfTheLastComponent) {
    struct Case {
        std::string path;
        std::string stem;
    };
    const Case cases[] = {
        {"/logs/trace.log", "/logs/trace"},
        {"/logs/trace", "/logs/trace"},
        {"/logs/app.exe.dat", "/logs/app.exe"},
        {"/logs/Auth.Step", "/logs/Auth"},
        {"/home/john.doe/logs/2026-12-07/trace", "/home/john.doe/logs/2026-12-07/trace"},
        {"/tmp/x/john.doe/logs/2026-12-07/a.b/c", "/tmp/x/john.doe/logs/2026-12-07/a.b/c"},
        {".hidden", ".hidden"},   // the first character is never the point
        {"name.", "name"},
        {"", ""},
    };
    for (const Case& c : cases) {
        const std::string path = Native(c.path);
        EXPECT_EQ(Native(c.stem), path.substr(0, FileStemLength(path.c_str()))) << c.path;
    }
}

TEST(FileNaming, NumberedNamesAndTheirBound) {
    char buffer[kPathCapacity];
    ASSERT_TRUE(FormatNumberedFileName("/logs/trace.x", 11, 0, buffer, sizeof buffer));
    EXPECT_STREQ("/logs/trace.dat", buffer);
    ASSERT_TRUE(FormatNumberedFileName("/logs/trace", 11, 12, buffer, sizeof buffer));
    EXPECT_STREQ("/logs/trace_12.dat", buffer);

    // 255 + ".dat" is the longest name that fits 260 bytes; "_1" makes it too long.
    const std::string stem(255, 's');
    EXPECT_TRUE(FormatNumberedFileName(stem.c_str(), stem.size(), 0, buffer, sizeof buffer));
    EXPECT_EQ(259u, std::strlen(buffer));
    EXPECT_FALSE(FormatNumberedFileName(stem.c_str(), stem.size(), 1, buffer, sizeof buffer));
    EXPECT_STREQ("", buffer);
}

TEST(FileNaming, NamesThatStayInTheirFolder) {
    struct Case {
        std::string name;
        bool stays;
    };
    const Case cases[] = {
        {"Login", true},      {"Auth.Step", true},  {"Auth/Login", true}, {"..x", true},
        {"x..", true},        {"a/./b", true},      {"...", true},
        {"", false},          {"..", false},        {"../x", false},      {"a/../b", false},
        {"a/..", false},      {"/x", false},        {"C:x", false},       {"x:y", false},
        {":", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.stays, NameStaysInFolder(Native(c.name).c_str())) << c.name;
    }
    // A backslash separates folders only on Windows; on POSIX it is part of a file name.
    const bool backslashSeparates = kPathSeparator == '\\';
    EXPECT_EQ(!backslashSeparates, NameStaysInFolder("..\\x"));
    EXPECT_EQ(!backslashSeparates, NameStaysInFolder("\\x"));
    EXPECT_TRUE(NameStaysInFolder("a\\b"));
}

TEST(FileNaming, UniqueNameTakesTheFirstFreeNumber) {
    struct Case {
        std::vector<std::string> existing;   // files, or folders when ending in '/'
        std::string name;
        std::string expected;
    };
    const Case cases[] = {
        {{}, "trace.log", "trace.dat"},
        {{}, "trace", "trace.dat"},
        {{}, "app.exe.dat", "app.exe.dat"},
        {{"app.exe.dat"}, "app.exe.dat", "app.exe_1.dat"},
        {{"app.exe.dat", "app.exe_1.dat"}, "app.exe.dat", "app.exe_2.dat"},
        {{"name.dat", "name_2.dat"}, "name", "name_1.dat"},          // a gap is filled
        {{"name_1.dat"}, "name", "name.dat"},
        {{"name.dat/"}, "name", "name_1.dat"},                       // a folder counts too
        {{"john.doe/"}, "john.doe/trace", "john.doe/trace.dat"},     // point in the folder
        {{"john.doe/x.dat"}, "john.doe/x", "john.doe/x_1.dat"},
    };
    for (const Case& c : cases) {
        TempFolder temp;
        for (const std::string& entry : c.existing) {
            if (entry.back() == '/') {
                std::filesystem::create_directories(temp.Join(entry));
            } else {
                temp.WriteFile(entry, "old");
            }
        }
        FakePlatform platform;
        TestWriter writer(nullptr, platform);
        char path[kPathCapacity];
        std::snprintf(path, sizeof path, "%s", temp.Join(Native(c.name)).c_str());
        ASSERT_TRUE(writer.MakeUniqueFileName(path)) << c.name;
        EXPECT_EQ(temp.Join(Native(c.expected)), path) << c.name;
    }
}

TEST(FileNaming, UniqueNameThatCannotFitLeavesThePathAlone) {
    TempFolder temp;
    FakePlatform platform;
    TestWriter writer(nullptr, platform);
    // The plain name fits exactly and exists; a numbered one would be cut, so there is none.
    const std::size_t room = kPathCapacity - 1 - temp.Path().size() - 1 - 4;
    const std::string name(room, 'n');
    temp.WriteFile(name + ".dat", "old");
    char path[kPathCapacity];
    std::snprintf(path, sizeof path, "%s", temp.Join(name).c_str());
    const std::string before = path;
    EXPECT_FALSE(writer.MakeUniqueFileName(path));
    EXPECT_EQ(before, path);
}

}  // namespace
}  // namespace VTLogAdapter::Testing

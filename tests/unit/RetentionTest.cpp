// Retention of old day folders: the naming and selection rules, then whole engines cleaning a
// real folder by the fake clock, alone, two at once, and beside another process's writer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/LogCore.h"
#include "tests/support/ConfigFiles.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WriterTesting.h"
#include "writers/Retention.h"

#ifndef VTLOG_SOURCE_DIR
#error "the tests need VTLOG_SOURCE_DIR"
#endif

namespace VTLogAdapter::Testing {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kToday = 20794;   // 2026-12-07, the fake clock's date

TEST(RetentionRules, NamesTheEngineMakes) {
    struct Case {
        const char* name;
        bool dayFolder;
        std::int64_t dayNumber;
        bool logFile;
    };
    const Case cases[] = {
        {"2026-12-07", true, kToday, false},
        {"2024-02-29", true, 19782, false},
        {"2000-03-01", true, 11017, false},
        {"1900-03-01", true, -25508, false},
        {"1900-02-29", false, 0, false},
        {"2023-02-29", false, 0, false},
        {"2026-13-01", false, 0, false},
        {"2026-12-7", false, 0, false},
        {"02026-12-07", false, 0, false},
        {"2026-12-07.dat", false, 0, true},
        {"-2026-12-07", false, 0, false},
        {"", false, 0, false},
        {"app.exe.dat", false, 0, true},
        {"Login_3.dat", false, 0, true},
        {".x.dat", false, 0, true},
        {".dat", false, 0, false},
        {"x.DAT", false, 0, false},
        {"x.dat.tmp", false, 0, false},
        {"a:b.dat", false, 0, false},
    };
    for (const Case& c : cases) {
        std::int64_t day = 0;
        EXPECT_EQ(c.dayFolder, ParseDayFolderName(c.name, day)) << c.name;
        if (c.dayFolder) {
            EXPECT_EQ(c.dayNumber, day) << c.name;
        }
        EXPECT_EQ(c.logFile, IsLogFileName(c.name)) << c.name;
    }
    EXPECT_EQ(1, DayNumber(2027, 1, 1) - DayNumber(2026, 12, 31));
}

TEST(RetentionRules, SelectsByAgeThenOldestFirstBySize) {
    struct Case {
        const char* rule;
        std::vector<DayFolderUsage> folders;   // day numbers relative to today
        RetentionLimits limits;
        std::vector<std::size_t> removed;
    };
    const std::uint64_t MB = 1024 * 1024;
    const Case cases[] = {
        {"days 1 keeps today and yesterday", {{-1, 0}, {-2, 0}, {0, 0}, {-3, 0}}, {1, 0},
         {3, 1}},
        {"oldest first until the rest fits",
         {{-1, 10 * MB}, {-3, 10 * MB}, {0, 15 * MB}, {-2, 10 * MB}}, {0, 30 * MB}, {1, 3}},
        {"never today's folder nor a later one", {{1, 4 * MB}, {0, 5 * MB}, {-1, 2 * MB}},
         {0, 1 * MB}, {2}},
        {"what the age rule took counts no more", {{-5, 50 * MB}, {-2, 10 * MB}, {0, 1 * MB}},
         {3, 12 * MB}, {0}},
        {"exactly at the limit fits", {{-1, 5 * MB}, {0, 5 * MB}}, {0, 10 * MB}, {}},
        {"no limits", {{-400, 9 * MB}, {0, 1}}, {0, 0}, {}},
    };
    for (const Case& c : cases) {
        std::vector<DayFolderUsage> folders = c.folders;
        for (DayFolderUsage& folder : folders) folder.dayNumber += kToday;
        EXPECT_EQ(c.removed, SelectDayFoldersToRemove(folders, kToday, c.limits)) << c.rule;
    }
}

// One engine as a process has it: its own fake clock and identity, the shared configuration.
struct Engine {
    Engine(const TempFolder& temp, const std::string& xml) {
        platform.specialFolders[SpecialFolder::CommonAppData] = temp.Join("appdata");
        InstallConfig(platform, temp, xml);
    }
    void At(int month, int day, int hour = 12, int minute = 0, int second = 0) {
        platform.SetTime(2026, month, day, hour, minute, second);
    }
    void Line(const char16_t* operation = nullptr, VT_LOGLEVEL level = VT_LOG_INFO) {
        core.LogEx(u"f.cpp", u"F", 1, level, operation, u"%s", u"line");
    }
    FakePlatform platform;
    LogCore core{platform};
};

// Files, links ("@") and empty folders ("/") below the temporary folder but the installation.
std::vector<std::string> Entries(const std::string& root) {
    std::vector<std::string> entries;
    std::error_code error;
    for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
         it.increment(error)) {
        // Lexically: fs::relative would resolve the links it is to show.
        const std::string name = it->path().lexically_relative(root).generic_string();
        if (name.rfind("install", 0) == 0) continue;
        if (it->is_symlink()) {
            entries.push_back(name + "@");
        } else if (it->is_directory()) {
            std::error_code empty;
            if (fs::is_empty(it->path(), empty) && !empty) entries.push_back(name + "/");
        } else {
            entries.push_back(name);
        }
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

struct Host {
    explicit Host(const std::string& attributes) {
        std::string xml = EnabledConfig(temp);
        xml.replace(xml.find("<log "), 5, "<log " + attributes + " ");
        a = std::make_unique<Engine>(temp, xml);
        b = std::make_unique<Engine>(temp, xml);
    }
    // Files of `size` bytes, links ("name->target", relative to the link's folder) and
    // folders ("name/") below logs/.
    void Make(const std::vector<std::string>& entries) const {
        for (const std::string& entry : entries) {
            const std::size_t arrow = entry.find("->");
            const fs::path path = fs::path(temp.Join("logs")) / entry.substr(0, arrow);
            fs::create_directories(path.parent_path());
            if (arrow != std::string::npos) {
                const fs::path target = entry.substr(arrow + 2);
                if (fs::is_directory(path.parent_path() / target)) {
                    fs::create_directory_symlink(target, path);
                } else {
                    fs::create_symlink(target, path);
                }
            } else if (entry.back() == '/') {
                fs::create_directories(path);
            } else {
                std::ofstream(path, std::ios::binary) << std::string(1000, 'x');
            }
        }
    }
    bool Exists(const std::string& entry) const {
        return fs::exists(fs::path(temp.Join("logs")) / entry);
    }
    TempFolder temp;
    std::unique_ptr<Engine> a;
    std::unique_ptr<Engine> b;
    std::thread other;
    std::atomic<bool> otherDone{false};
};

struct CleaningCase {
    const char* rule;
    const char* attributes;
    std::vector<std::string> before;   // below logs/, files of 1000 bytes
    std::function<void(Host&)> act;
    std::vector<std::string> after;    // below the temporary folder
};

void FirstLine(Host& h) { h.a->Line(); }

// Both engines start on 2026-12-07, with `before` in place.
void ExpectCleaning(const CleaningCase& c) {
    Host host(c.attributes);
    host.a->At(12, 7);
    host.b->At(12, 7);
    host.Make(c.before);
    c.act(host);
    EXPECT_EQ(c.after, Entries(host.temp.Path())) << c.rule;
}

TEST(Retention, EnginesCleanTheirLogFolder) {
    const CleaningCase cases[] = {
        {"age: retaindays 1 keeps today's and yesterday's folders", "retaindays=\"1\"",
         {"2026-12-04/app.exe.dat", "2026-12-05/Login_2.dat", "2026-12-06/app.exe.dat"},
         FirstLine,
         {"logs/2026-12-06/app.exe.dat", "logs/2026-12-07/app.exe.dat"}},
        {"size: whole folders, oldest first, until the rest fits",
         "retainsizelimit=\"0.0025\"",
         {"2026-12-03/a.dat", "2026-12-04/a.dat", "2026-12-05/a.dat", "2026-12-06/a.dat"},
         FirstLine,
         {"logs/2026-12-05/a.dat", "logs/2026-12-06/a.dat", "logs/2026-12-07/app.exe.dat"}},
        {"size: never today's folder, nor a later one", "retainsizelimit=\"0.001\"",
         {"2026-12-06/a.dat", "2026-12-07/b.dat", "2026-12-07/c.dat", "2026-12-08/d.dat"},
         FirstLine,
         {"logs/2026-12-07/app.exe.dat", "logs/2026-12-07/b.dat", "logs/2026-12-07/c.dat",
          "logs/2026-12-08/d.dat"}},
        {"only names the engine makes go; the folder stays while anything else is in it",
         "retaindays=\"1\"",
         {"2026-12-01/app.exe.dat", "2026-12-01/notes.txt", "2026-12-01/X.DAT",
          "2026-12-01/sub/a.dat", "2026-12-02/a_1.dat", "2026-12-02/empty/", "backup/a.dat",
          "2026-1-01/a.dat", "02026-12-01/a.dat", "2026-12-01.old/a.dat"},
         FirstLine,
         {"logs/02026-12-01/a.dat", "logs/2026-1-01/a.dat", "logs/2026-12-01.old/a.dat",
          "logs/2026-12-01/X.DAT", "logs/2026-12-01/notes.txt", "logs/2026-12-01/sub/a.dat",
          "logs/2026-12-02/empty/", "logs/2026-12-07/app.exe.dat", "logs/backup/a.dat"}},
        {"a value that is no number, or a negative one, removes nothing",
         "retaindays=\"soon\" retainsizelimit=\"-5\"", {"2020-01-01/a.dat"}, FirstLine,
         {"logs/2020-01-01/a.dat", "logs/2026-12-07/app.exe.dat"}},
        {"days are capped at 36,500", "retaindays=\"1e9\"",
         {"1926-12-31/a.dat", "1927-01-01/a.dat"}, FirstLine,
         {"logs/1927-01-01/a.dat", "logs/2026-12-07/app.exe.dat"}},
        {"once a day, at its first open: not again that day, again after midnight",
         "retaindays=\"1\"", {},
         [](Host& h) {
             h.a->Line();
             h.Make({"2026-12-05/a.dat"});
             h.a->At(12, 7, 18);
             h.a->Line(u"Op");
             EXPECT_TRUE(h.Exists("2026-12-05/a.dat")) << "cleaned twice on one day";
             h.a->At(12, 8, 0);
             h.a->Line();
         },
         {"logs/2026-12-07/Op.dat", "logs/2026-12-07/app.exe.dat",
          "logs/2026-12-08/app.exe.dat"}},
        {"the engine closes its own files in a folder before removing it", "retaindays=\"1\"",
         {},
         [](Host& h) {
             h.a->At(12, 5);
             h.a->Line(u"Op");
             h.a->At(12, 7);
             h.a->Line();
             EXPECT_EQ(1, h.a->platform.openLogFiles.load()) << "Op.dat of 12-05 kept open";
             h.a->Line(u"Op");
         },
         {"logs/2026-12-07/Op.dat", "logs/2026-12-07/app.exe.dat"}},
        {"two engines cleaning the same folder at once", "retaindays=\"1\"",
         {"2026-11-01/a.dat", "2026-11-01/b.dat", "2026-11-02/a.dat", "2026-11-02/b.dat",
          "2026-11-03/a.dat"},
         [](Host& h) {
             // b cleans the whole folder while a is between its listing and its first removal.
             bool once = false;
             h.a->platform.beforeRemoveFile = [&](const char*) {
                 if (!once) h.b->Line();
                 once = true;
             };
             h.a->Line();
         },
         {"logs/2026-12-07/app.exe.dat", "logs/2026-12-07/app.exe_1.dat"}},
        {"other threads keep logging while the clean-up runs", "retaindays=\"1\"",
         {"2026-11-01/a.dat"},
         [](Host& h) {
             h.a->platform.beforeRemoveFile = [&h](const char*) {
                 h.other = std::thread([&h] {
                     h.a->Line(u"Other");
                     h.otherDone = true;
                 });
                 const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                 while (!h.otherDone && std::chrono::steady_clock::now() < deadline) {
                     std::this_thread::sleep_for(std::chrono::milliseconds(1));
                 }
                 EXPECT_TRUE(h.otherDone) << "a line waited for the clean-up";
             };
             h.a->Line();
             h.other.join();
         },
         {"logs/2026-12-07/Other.dat", "logs/2026-12-07/app.exe.dat"}},
        {"two engines on two threads", "retaindays=\"1\"",
         {"2026-11-01/a.dat", "2026-11-02/a.dat", "2026-11-03/a.dat", "2026-11-04/a.dat"},
         [](Host& h) {
             std::thread other([&] { h.b->Line(); });
             h.a->Line();
             other.join();
         },
         {"logs/2026-12-07/app.exe.dat", "logs/2026-12-07/app.exe_1.dat"}},
    };
    for (const CleaningCase& c : cases) ExpectCleaning(c);
}

// The two cases the Windows build cannot set up, kept apart so the others still run there.
TEST(Retention, LinksAndAFolderRemovedUnderAWriter) {
    if (kPathSeparator == '\\') {
        GTEST_SKIP() << "the Windows build cannot make a symbolic link (mingw-w64's "
                        "std::filesystem: not implemented), and Wine keeps a deleted open "
                        "file's name, so its folder, until the writer's last handle closes";
    }
    const CleaningCase cases[] = {
        {"links are never followed nor removed", "retaindays=\"1\"",
         {"../outside/a.dat", "../outside/b.dat", "2026-11-30->../outside",
          "2026-12-01/link.dat->../../outside/b.dat", "2026-12-01/a.dat"},
         FirstLine,
         {"logs/2026-11-30@", "logs/2026-12-01/link.dat@", "logs/2026-12-07/app.exe.dat",
          "outside/a.dat", "outside/b.dat"}},
        {"another process's writer in a removed folder moves to a new file within a second",
         "retainsizelimit=\"0.000001\"", {},
         [](Host& h) {
             h.b->At(12, 7, 23, 59, 58);
             h.b->Line();
             h.a->At(12, 8, 0, 0, 5);
             h.a->Line();
             EXPECT_FALSE(h.Exists("2026-12-07")) << "b's file was not removed";
             h.b->Line();   // same second: not looked at yet, the line is lost
             h.b->At(12, 7, 23, 59, 59);
             h.b->Line();
         },
         {"logs/2026-12-07/app.exe_1.dat", "logs/2026-12-08/app.exe.dat"}},
    };
    for (const CleaningCase& c : cases) ExpectCleaning(c);
}

// The configuration the README shows, which sets neither attribute: nothing is removed, however
// old, however large, at start-up or after midnight.
TEST(Retention, TheReadmeConfigurationRemovesNothing) {
    std::ifstream readme(std::string(VTLOG_SOURCE_DIR) + "/README.md");
    std::string text((std::istreambuf_iterator<char>(readme)), std::istreambuf_iterator<char>());
    const std::size_t start = text.find("<LogConfigure");
    const std::size_t end = text.find("</LogConfigure>", start);
    ASSERT_NE(std::string::npos, end) << "the README shows no configuration";
    std::string xml = text.substr(start, end + 15 - start);
    EXPECT_EQ(std::string::npos, xml.find("retain")) << "the README's example sets retention";

    TempFolder temp;
    Engine engine(temp, xml);
    ASSERT_EQ(1, engine.core.IsEnabled(VT_LOG_FATAL));
    const std::string logs = engine.core.Config()->generalLog.filePath;
    ASSERT_EQ(0u, logs.rfind(temp.Path(), 0)) << logs;
    for (const char* old : {"1990-01-01", "2026-12-05", "2026-12-06"}) {
        fs::create_directories(logs + old);
        std::ofstream(logs + old + kPathSeparator + "app.exe.dat") << std::string(1 << 20, 'x');
    }
    engine.Line(nullptr, VT_LOG_TRACE);
    engine.At(12, 8, 0);
    engine.Line(nullptr, VT_LOG_TRACE);
    for (const char* day : {"1990-01-01", "2026-12-05", "2026-12-06", "2026-12-07", "2026-12-08"}) {
        EXPECT_TRUE(fs::exists(logs + day + kPathSeparator + "app.exe.dat")) << day;
    }
}

}  // namespace
}  // namespace VTLogAdapter::Testing

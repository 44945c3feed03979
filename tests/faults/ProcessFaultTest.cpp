// Faults a host process inflicts on the library's own engine: fork under load, exit while
// threads log, a low descriptor limit, a file-size limit, a full disk. Each case runs in a
// child process, which loads the configuration afresh and may die without taking the suite.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/LogCore.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WriterTesting.h"
#include "writers/FileLog.h"

namespace VTLogAdapter::Testing {
namespace {

namespace fs = std::filesystem;

// Points the library (through the emulated registry) at a configuration that writes every
// field into <temp>/logs. Only for children: the engine loads its settings once per process.
void UseLibraryConfig(const TempFolder& temp, const std::string& sizeLimit = "10",
                      const std::string& level = "0") {
    temp.WriteFile("registry/HKEY_LOCAL_MACHINE/SOFTWARE/Corvessa/Vantiro/ZLM_HOME",
                   temp.Join("install/bin"));
    temp.WriteFile("install/LogConfigure.xml",
                   "<LogConfigure enable=\"1\"><global processid=\"1\" threadid=\"1\""
                   " modulename=\"1\" sourcefileinfo=\"1\" sessioninfo=\"1\" excelmode=\"0\">"
                   "<output name=\"file\" enable=\"1\"/>"
                   "<output name=\"outputdebugwindows\" enable=\"0\"/></global>"
                   "<log filepath=\"" + temp.Join("logs") + "/\" filesizelimit=\"" + sizeLimit +
                   "\" loglevel=\"" + level + "\" usedefaultfilename=\"1\"/></LogConfigure>");
    setenv("VTLOGADAPTER_REGISTRY_ROOT", temp.Join("registry").c_str(), 1);
}

int Log(const char16_t* operation, const std::u16string& text) {
    return LogEx(u"fault.cpp", u"Run", 1, VT_LOG_TRACE, operation, u"%s", text.c_str());
}

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Runs `body` in a child that is killed after `seconds`; true when it exited with 0. With
// `exitHandlers` the child leaves through exit(), running the library's unload work.
bool InChild(const std::function<int()>& body, bool exitHandlers = false, unsigned seconds = 20) {
    std::fflush(nullptr);   // or buffered output would be written twice
    const pid_t child = fork();
    if (child == 0) {
        alarm(seconds);
        const int code = body();
        if (exitHandlers) std::exit(code);
        _exit(code);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct Line {
    std::string file;
    std::string text;
};

// Every line of every file under `folder`; a line that does not start like a record, or a
// file that does not end with a line break, fails the test.
std::vector<Line> WholeLines(const std::string& folder) {
    static const std::regex record(R"(^\d\d:\d\d:\d\d:\d\d\d .*" $)");
    std::vector<Line> lines;
    for (const std::string& file : ListFiles(folder)) {
        const std::string text = ReadFile(folder + "/" + file);
        EXPECT_TRUE(text.empty() || text.back() == '\n') << file << " ends in half a line";
        for (const std::string& line : SplitLines(text)) {
            EXPECT_TRUE(std::regex_match(line, record)) << file << ": " << line;
            lines.push_back({file, line});
        }
    }
    return lines;
}

std::string Field(const std::string& line, const std::string& key) {
    const std::size_t at = line.find(key + "=");
    if (at == std::string::npos) return "";
    return line.substr(at + key.size() + 1, line.find(' ', at) - at - key.size() - 1);
}

// Threads that log until stopped.
struct Load {
    explicit Load(int threads) {
        for (int i = 0; i < threads; ++i) {
            workers.emplace_back([this] {
                while (!stop.load()) Log(u"Load", u"busy");
            });
        }
    }
    ~Load() {
        stop.store(true);
        for (std::thread& worker : workers) worker.join();
    }
    std::atomic<bool> stop{false};
    std::vector<std::thread> workers;
};

// The library's variadic entry tests the level before it touches its arguments: what it passes
// on must be the caller's call unchanged, arguments on the stack and in vector registers too.
TEST(ProcessFault, LibraryEntryDropsBelowTheLevelAndPassesEveryArgumentOn) {
    TempFolder temp;
    ASSERT_TRUE(InChild([&] {
        UseLibraryConfig(temp, "10", "2");
        // The first call loads the settings; the second is told by the published level alone.
        for (int i = 0; i < 2; ++i) {
            if (LogEx(u"fault.cpp", u"Run", 1, VT_LOG_TRACE, u"Entry", u"%d", i) != 0) return 1;
        }
        return LogEx(u"fault.cpp", u"Run", 1, VT_LOG_WARN, u"Entry", u"%d %s %.2f %x %c %s %d %d",
                     7, u"seven", 2.5, 255, u'z', u"more", -1, 9) == 1
                   ? 0
                   : 1;
    }));
    const std::vector<Line> lines = WholeLines(temp.Join("logs"));
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].text.find("\"7 seven 2.50 ff z more -1 9\""))
        << lines[0].text;
}

TEST(ProcessFault, ForkWhileOtherThreadsLogGivesTheChildItsOwnFile) {
    TempFolder temp;
    constexpr int kForks = 20;
    ASSERT_TRUE(InChild([&] {
        UseLibraryConfig(temp);
        Load load(4);
        for (int i = 0; i < kForks; ++i) {
            // A child that deadlocks on its first line is killed by its alarm and fails here.
            // No allocation in the child: a sanitizer's allocator may not survive the fork.
            const auto child = [] {
                return LogEx(u"fault.cpp", u"Run", 1, VT_LOG_TRACE, u"Load", u"%s", u"child") == 1
                           ? 0
                           : 1;
            };
            if (!InChild(child, false, 10)) {
                return 1;
            }
        }
        return 0;
    }));
    std::map<std::string, std::set<std::string>> pidsPerFile;
    int children = 0;
    for (const Line& line : WholeLines(temp.Join("logs"))) {
        pidsPerFile[line.file].insert(Field(line.text, "PID"));
        if (line.text.find("\"child\"") == std::string::npos) continue;
        ++children;
        // The forking thread goes on in the child as its only thread, under the child's id.
        EXPECT_EQ(Field(line.text, "PID"), Field(line.text, "TID")) << line.text;
    }
    EXPECT_EQ(kForks, children);
    for (const auto& [file, pids] : pidsPerFile) EXPECT_EQ(1u, pids.size()) << file;
}

TEST(ProcessFault, ExitWhileThreadsLogNeitherCrashesNorHangs) {
    for (int run = 0; run < 5; ++run) {
        TempFolder temp;
        EXPECT_TRUE(InChild(
            [&] {
                UseLibraryConfig(temp);
                Log(u"Load", u"first");
                auto* load = new Load(6);   // still logging when exit() unloads the library
                (void)load;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                return 0;
            },
            true, 20))
            << "run " << run;
        WholeLines(temp.Join("logs"));
    }
}

TEST(ProcessFault, ManyNamesUnderALowDescriptorLimitLoseNoLine) {
    TempFolder temp;
    constexpr int kNames = 500;
    ASSERT_TRUE(InChild([&] {
        UseLibraryConfig(temp);
        const rlimit limit{100, 100};
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return 2;
        for (int round = 0; round < 2; ++round) {
            for (int i = 0; i < kNames; ++i) {
                Log(Wide("name" + std::to_string(i)).c_str(), u"line");
            }
        }
        return 0;
    }));
    const std::vector<Line> lines = WholeLines(temp.Join("logs"));
    std::map<std::string, int> perFile;
    for (const Line& line : lines) ++perFile[line.file];
    EXPECT_EQ(static_cast<std::size_t>(kNames), perFile.size());
    for (const auto& [file, count] : perFile) EXPECT_EQ(2, count) << file;
}

TEST(ProcessFault, FileSizeLimitOfTheProcessIsNeverPassed) {
    TempFolder temp;
    constexpr int kLines = 300;
    constexpr rlim_t kLimit = 8000;
    ASSERT_TRUE(InChild([&] {
        UseLibraryConfig(temp);
        const rlimit limit{kLimit, kLimit};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
        for (int i = 0; i < kLines; ++i) Log(nullptr, Wide("line " + std::to_string(i)));
        return 0;
    })) << "killed by SIGXFSZ?";
    const std::vector<Line> lines = WholeLines(temp.Join("logs"));
    EXPECT_EQ(static_cast<std::size_t>(kLines), lines.size());
    for (const std::string& file : ListFiles(temp.Join("logs"))) {
        EXPECT_LE(fs::file_size(temp.Join("logs/" + file)), kLimit) << file;
    }
}

TEST(ProcessFault, FullDiskLeavesOnlyWholeLines) {
    TempFolder temp;
    const std::string disk = temp.Join("disk");
    fs::create_directories(disk);
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "mounting a small tmpfs needs root; the file-size limit case covers "
                        "failing writes";
    }
    {
        FakePlatform platform;
        auto config = WritingConfig(platform, disk);
        FileLog log(config.get(), platform);
        const std::u16string text(150, u'x');
        int second = 0;
        for (int i = 0; i < 1000; ++i) {
            if (i % 100 == 0) platform.SetTime(2026, 12, 7, 14, 3, second++);
            log.WriteRecord(nullptr, nullptr, 0, 1, text.c_str());
            if (i == 600) fs::remove(temp.Join("disk/filler"));
            if (i == 0) {
                // Fill what is left but for a few hundred bytes, so lines are cut mid-way.
                std::ofstream filler(temp.Join("disk/filler"));
                filler << std::string(60 * 1024 - 600, 'f');
            }
        }
    }
    fs::remove(temp.Join("disk/filler"));
    const std::vector<Line> lines = WholeLines(disk);
    umount(disk.c_str());
    EXPECT_GT(lines.size(), 100u) << "space came back: lines were written again";
}

}  // namespace
}  // namespace VTLogAdapter::Testing

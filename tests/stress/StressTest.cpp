// Threads of several processes write one operation name through their own LogCore with the
// smallest size limit, so files roll over every thousand lines or so. Afterwards every line must
// be on disk exactly once and whole, each file must hold one process's lines only, and each
// thread's lines must keep their order across the roll-overs.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/LogCore.h"
#include "tests/support/ConfigFiles.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/TempFolder.h"

namespace VTLogAdapter::Testing {
namespace {

constexpr int kThreads = 8;
constexpr int kLinesPerThread = VTLOG_STRESS_LINES_PER_THREAD;
constexpr char kDay[] = "2026-12-07";   // the fake clock's day
// "filesizelimit" below the minimum is raised to it: 0.1 MB.
constexpr double kSmallestLimit = 0.1 * 1024 * 1024;

std::string SmallLimitConfig(const TempFolder& temp) {
    return "<LogConfigure enable=\"1\">"
           "<global processid=\"1\" threadid=\"1\" modulename=\"1\" sourcefileinfo=\"1\""
           " sessioninfo=\"1\" excelmode=\"0\">"
           "<output name=\"file\" enable=\"1\"/><output name=\"outputdebugwindows\" enable=\"0\"/>"
           "</global>"
           "<log filepath=\"" + temp.Join("logs") + "\" filesizelimit=\"0.001\" loglevel=\"0\""
           " usedefaultfilename=\"1\"/>"
           "</LogConfigure>";
}

// Logs kLinesPerThread lines "p<process> t<thread> n<number>" from each of kThreads threads.
// Returns the size limit the engine ended up with.
double WriteLines(FakePlatform& platform, int process) {
    LogCore core(platform);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&core, process, t] {
            for (int n = 0; n < kLinesPerThread; ++n) {
                core.LogEx(u"src/stress.cpp", u"Run", 42, VT_LOG_INFO, u"stress",
                           u"p%d t%d n%d", process, t, n);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    return core.Config()->generalLog.fileSizeLimit * 1024 * 1024;
}

struct Figures {
    std::size_t lines = 0;
    std::size_t files = 0;
};

// A broken run would otherwise report each of a million lines: count them all, show a few.
class Problems {
public:
    std::ostream& Add() {
        ++count;
        return count <= 10 ? first : discard;
    }
    void Expect() const { EXPECT_EQ(0u, count) << first.str(); }

private:
    std::size_t count = 0;
    std::ostringstream first;
    std::ostringstream discard;
};

// Checks the day folder against `pids` (process number -> process id). Files are named
// stress.dat, stress_1.dat, ...: one process takes its numbers in increasing order.
Figures CheckFiles(const TempFolder& temp, const std::vector<std::uint32_t>& pids) {
    const int processes = static_cast<int>(pids.size());
    std::vector<unsigned char> seen(
        static_cast<std::size_t>(processes) * kThreads * kLinesPerThread, 0);
    std::map<int, std::string> byNumber;
    const std::string folder = temp.Join("logs");
    const std::string prefix = std::string(kDay) + "/stress";
    for (const std::string& file : ListFiles(folder)) {
        const std::string rest = file.substr(std::min(file.size(), prefix.size()));
        const int number = rest == ".dat" ? 0 : std::atoi(rest.c_str() + (rest.empty() ? 0 : 1));
        const std::string expected =
            prefix + (number == 0 ? ".dat" : "_" + std::to_string(number) + ".dat");
        if (file != expected) {
            ADD_FAILURE() << "unexpected file " << file;
            continue;
        }
        byNumber[number] = file;
    }

    // Per process: the last number seen of each thread, and the file it wrote last.
    std::vector<std::vector<int>> last(static_cast<std::size_t>(processes),
                                       std::vector<int>(kThreads, -1));
    std::vector<std::string> openFile(static_cast<std::size_t>(processes));
    Figures figures;
    Problems problems;
    for (const auto& [number, file] : byNumber) {
        const std::string text = ReadFile(temp.Join("logs/" + file));
        ++figures.files;
        if (text.empty() || text.back() != '\n') problems.Add() << file << " ends inside a line\n";
        if (static_cast<double>(text.size()) > kSmallestLimit + 2048) {
            problems.Add() << file << " grew to " << text.size() << " bytes\n";
        }
        int owner = -1;
        for (const std::string& line : SplitLines(text)) {
            unsigned pid = 0;
            int p = -1, t = -1, n = -1;
            const std::size_t at = line.find("PID=");
            const std::size_t quote = line.find('"');
            char close = 0;
            if (at == std::string::npos || quote == std::string::npos ||
                std::sscanf(line.c_str() + at, "PID=%u", &pid) != 1 ||
                std::sscanf(line.c_str() + quote, "\"p%d t%d n%d%c", &p, &t, &n, &close) != 4 ||
                close != '"' || line.compare(line.size() - 2, 2, "\" ") != 0 || p < 0 ||
                p >= processes || t < 0 || t >= kThreads || n < 0 || n >= kLinesPerThread) {
                problems.Add() << file << ": torn or foreign line: " << line << "\n";
                continue;
            }
            ++figures.lines;
            if (pids[static_cast<std::size_t>(p)] != pid) {
                problems.Add() << file << ": wrong PID: " << line << "\n";
            }
            if (owner < 0) {
                owner = p;
                // A process moves on only when its previous file passed the limit.
                const std::string& previous = openFile[static_cast<std::size_t>(p)];
                if (!previous.empty() &&
                    static_cast<double>(ReadFile(temp.Join("logs/" + previous)).size()) <=
                        kSmallestLimit) {
                    problems.Add() << previous << " was left before it was full\n";
                }
                openFile[static_cast<std::size_t>(p)] = file;
            }
            if (owner != p) problems.Add() << file << " holds lines of two processes\n";
            int& previous = last[static_cast<std::size_t>(p)][static_cast<std::size_t>(t)];
            if (previous >= n) problems.Add() << file << ": out of order: " << line << "\n";
            previous = n;
            unsigned char& count =
                seen[(static_cast<std::size_t>(p) * kThreads + static_cast<std::size_t>(t)) *
                         kLinesPerThread +
                     static_cast<std::size_t>(n)];
            if (count++ == 1) problems.Add() << "written twice: " << line << "\n";
        }
    }
    std::size_t missing = 0;
    for (const unsigned char count : seen) missing += count == 0 ? 1 : 0;
    EXPECT_EQ(0u, missing) << "lines never written";
    problems.Expect();
    return figures;
}

void Report(int processes, const Figures& figures, std::chrono::steady_clock::duration took) {
    std::printf("stress: %zu lines from %d processes x %d threads in %zu files "
                "(%zu roll-overs), %.1f s\n",
                figures.lines, processes, kThreads, figures.files,
                figures.files - static_cast<std::size_t>(processes),
                std::chrono::duration<double>(took).count());
}

TEST(Stress, ThreadsShareOneOperation) {
    TempFolder temp;
    FakePlatform platform;
    InstallConfig(platform, temp, SmallLimitConfig(temp));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(kSmallestLimit, WriteLines(platform, 0));
    const Figures figures = CheckFiles(temp, {platform.processId});
    Report(1, figures, std::chrono::steady_clock::now() - start);
    EXPECT_EQ(static_cast<std::size_t>(kThreads) * kLinesPerThread, figures.lines);
}

// Each child forks before it starts a thread, as a process that logs from its first line would.
TEST(Stress, ForkedProcessesAndThreadsShareOneOperation) {
    constexpr int kProcesses = 4;
    TempFolder temp;
    FakePlatform platform;
    InstallConfig(platform, temp, SmallLimitConfig(temp));
    const auto start = std::chrono::steady_clock::now();
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = fork();
        if (child == 0) {
            platform.processId = static_cast<std::uint32_t>(getpid());
            _exit(WriteLines(platform, p) == kSmallestLimit ? 0 : 1);
        }
        ASSERT_GT(child, 0);
        children.push_back(child);
    }
    std::vector<std::uint32_t> pids;
    for (const pid_t child : children) {
        int status = 0;
        EXPECT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child " << child;
        pids.push_back(static_cast<std::uint32_t>(child));
    }
    const Figures figures = CheckFiles(temp, pids);
    Report(kProcesses, figures, std::chrono::steady_clock::now() - start);
    EXPECT_EQ(static_cast<std::size_t>(kProcesses) * kThreads * kLinesPerThread, figures.lines);
}

}  // namespace
}  // namespace VTLogAdapter::Testing

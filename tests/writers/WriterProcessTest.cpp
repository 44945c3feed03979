// Processes that open log files in the same day folder at the same moment: each must end up in
// a file of its own, whatever the order in which they found their names free.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/FakePlatform.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WriterTesting.h"
#include "writers/FileLog.h"

namespace VTLogAdapter::Testing {
namespace {

constexpr int kLinesPerProcess = 200;

// A counter in memory shared with the children.
struct SharedCounter {
    SharedCounter() {
        void* memory = mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE,
                            MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (memory != MAP_FAILED) value = new (memory) std::atomic<int>(0);
    }
    ~SharedCounter() {
        if (value != nullptr) munmap(value, sizeof(std::atomic<int>));
    }
    std::atomic<int>* value = nullptr;
};

// In the child: logs kLinesPerProcess lines as `process`. With `arrived`, the first create
// waits until every process has found its first name free, so all of them race for one name.
[[noreturn]] void RunChild(const TempFolder& temp, int process, std::atomic<int>* arrived,
                           int processes) {
    FakePlatform platform;
    platform.processId = static_cast<std::uint32_t>(getpid());
    bool waited = arrived == nullptr;
    platform.allowCreate = [&](const char*) {
        if (!waited) {
            waited = true;
            arrived->fetch_add(1);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (arrived->load() < processes && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
        return true;
    };
    auto config = WritingConfig(platform, temp.Path());
    config->generalLog.useDefaultFileName = 1;
    {
        FileLog log(config.get(), platform);
        for (int i = 0; i < kLinesPerProcess; ++i) {
            const std::string line =
                "process " + std::to_string(process) + " line " + std::to_string(i) + "\n";
            log.WriteText(line.c_str());
        }
    }
    _exit(0);
}

// Forks `processes` children at once and waits for them; false when one failed.
bool RunProcesses(const TempFolder& temp, int processes, std::atomic<int>* arrived) {
    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        const pid_t child = fork();
        if (child == 0) RunChild(temp, p, arrived, processes);
        if (child < 0) return false;
        children.push_back(child);
    }
    bool ok = true;
    for (const pid_t child : children) {
        int status = 0;
        ok = waitpid(child, &status, 0) == child && WIFEXITED(status) &&
             WEXITSTATUS(status) == 0 && ok;
    }
    return ok;
}

// The files of the day folder, each expected to hold exactly one process's lines in order.
std::vector<int> OwnersOfFiles(const TempFolder& temp) {
    std::vector<int> owners;
    for (const std::string& file : ListFiles(temp.Path())) {
        const std::vector<std::string> lines = SplitLines(ReadFile(temp.Join(file)));
        EXPECT_EQ(static_cast<std::size_t>(kLinesPerProcess), lines.size()) << file;
        if (lines.empty()) continue;
        const int owner = std::stoi(lines[0].substr(8));
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ("process " + std::to_string(owner) + " line " + std::to_string(i),
                      lines[i])
                << file;
        }
        owners.push_back(owner);
    }
    std::sort(owners.begin(), owners.end());
    return owners;
}

TEST(WriterProcesses, ProcessesRacingForOneNameGetFilesOfTheirOwn) {
    for (const int processes : {2, 4}) {
        TempFolder temp;
        SharedCounter arrived;
        ASSERT_NE(nullptr, arrived.value);
        ASSERT_TRUE(RunProcesses(temp, processes, arrived.value));
        EXPECT_EQ(processes, arrived.value->load()) << "every process found app.exe.dat free";

        std::vector<int> everyone(static_cast<std::size_t>(processes));
        for (int p = 0; p < processes; ++p) everyone[static_cast<std::size_t>(p)] = p;
        EXPECT_EQ(everyone, OwnersOfFiles(temp));
        std::vector<std::string> expected = {"2026-12-07/app.exe.dat"};
        for (int n = 1; n < processes; ++n) {
            expected.push_back("2026-12-07/app.exe_" + std::to_string(n) + ".dat");
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, ListFiles(temp.Path()));
    }
}

TEST(WriterProcesses, LaterProcessOfTheSameProgramTakesTheNextNumber) {
    TempFolder temp;
    ASSERT_TRUE(RunProcesses(temp, 1, nullptr));
    ASSERT_TRUE(RunProcesses(temp, 1, nullptr));
    EXPECT_EQ((std::vector<std::string>{"2026-12-07/app.exe.dat", "2026-12-07/app.exe_1.dat"}),
              ListFiles(temp.Path()));
    EXPECT_EQ((std::vector<int>{0, 0}), OwnersOfFiles(temp));
}

}  // namespace
}  // namespace VTLogAdapter::Testing

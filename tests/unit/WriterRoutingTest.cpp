// Messages routed through LogCore to the right writer and file, and many threads writing
// through one LogCore without losing, doubling or mixing lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/LogCore.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WriterTesting.h"

namespace VTLogAdapter::Testing {
namespace {

using Files = std::vector<std::string>;

// Runs the first (filtered) dispatch so the configuration load is behind us, then opens up the
// settings for the test to write into `folder`.
LogConfig& LoadedSettings(LogCore& core, const TempFolder& folder) {
    core.Dispatch(nullptr, nullptr, 0, 0, nullptr, u"before load");
    LogConfig& settings = *const_cast<LogConfig*>(core.Config());
    settings.enable = 1;
    settings.logLevel = 0;
    settings.fileOutput = 1;
    settings.debugOutput = 0;
    settings.generalLog.useDefaultFileName = 1;
    settings.generalLog.fileSizeLimit = 100.0;
    std::snprintf(settings.generalLog.filePath, kPathCapacity, "%s%c", folder.Path().c_str(),
                  kPathSeparator);
    return settings;
}

// The message between the quotation marks of a line; empty when the line is not whole.
std::string MessageOf(const std::string& line) {
    const std::size_t open = line.find('"');
    if (open == std::string::npos || line.size() < open + 3) return "";
    if (line.compare(line.size() - 2, 2, "\" ") != 0) return "";
    return line.substr(open + 1, line.size() - open - 3);
}

TEST(WriterRouting, OperationChoosesTheWriterAndTheFile) {
    TempFolder temp;
    FakePlatform platform;
    LogCore core(platform);
    LogConfig& settings = LoadedSettings(core, temp);
    std::filesystem::create_directories(temp.Join("2026-12-07/Sub"));
    settings.debugOutput = 1;

    const std::u16string sub = Native(u"Sub/Step");
    const std::u16string escape = Native(u"../Escape");
    const char16_t* operations[] = {nullptr,     u"",         u"Login",    u"login",
                                    u"Auth.Step", sub.c_str(), escape.c_str(), u"Login"};
    for (const char16_t* operation : operations) {
        EXPECT_EQ(1, core.Dispatch(nullptr, nullptr, 0, 1, operation, u"m"));
    }
    // Where the file system ignores case (Windows), login is a second file of the same name.
    const std::string lower = kPathSeparator == '\\' ? "2026-12-07/login_1.dat"
                                                      : "2026-12-07/login.dat";
    EXPECT_EQ((Files{"2026-12-07/Auth.dat", "2026-12-07/Login.dat", "2026-12-07/Sub/Step.dat",
                     "2026-12-07/app.exe.dat", lower}),
              ListFiles(temp.Path()));
    EXPECT_EQ(2u, SplitLines(ReadFile(temp.Join("2026-12-07/app.exe.dat"))).size());
    EXPECT_EQ(2u, SplitLines(ReadFile(temp.Join("2026-12-07/Login.dat"))).size());
    EXPECT_EQ(8u, platform.DebugLines().size()) << "every line, the escaping one included";
}

TEST(WriterRouting, WithoutFileOutputNoFolderIsMade) {
    for (const int debugOutput : {0, 1}) {
        TempFolder temp;
        FakePlatform platform;
        LogCore core(platform);
        LogConfig& settings = LoadedSettings(core, temp);
        settings.fileOutput = 0;
        settings.debugOutput = debugOutput;
        EXPECT_EQ(1, core.Dispatch(nullptr, nullptr, 0, 1, nullptr, u"general"));
        EXPECT_EQ(1, core.Dispatch(nullptr, nullptr, 0, 1, u"Login", u"named"));
        EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
        EXPECT_EQ(debugOutput != 0 ? 2u : 0u, platform.DebugLines().size());
    }
}

TEST(WriterRouting, ManyThreadsEveryLineOnceWholeAndInOrder) {
    TempFolder temp;
    FakePlatform platform;
    LogCore core(platform);
    LoadedSettings(core, temp);

    constexpr int kThreads = 8;
    constexpr int kLines = 5000;
    // Even lines go to the general log, odd ones to one of three operations.
    const char16_t* const operations[] = {u"OpA", u"OpB", u"OpC"};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&core, &operations, t] {
            for (int i = 0; i < kLines; ++i) {
                char16_t message[32];
                char text[32];
                const int length = std::snprintf(text, sizeof text, "t%d-%d", t, i);
                for (int k = 0; k <= length; ++k) message[k] = static_cast<char16_t>(text[k]);
                const char16_t* operation = i % 2 == 0 ? nullptr : operations[(t + i) % 3];
                core.Dispatch(u"src/worker.cpp", u"Run", i, 1, operation, message);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    const std::map<std::string, std::string> fileOf = {
        {"", "2026-12-07/app.exe.dat"},
        {"OpA", "2026-12-07/OpA.dat"},
        {"OpB", "2026-12-07/OpB.dat"},
        {"OpC", "2026-12-07/OpC.dat"},
    };
    Files expectedFiles;
    for (const auto& entry : fileOf) expectedFiles.push_back(entry.second);
    std::sort(expectedFiles.begin(), expectedFiles.end());
    ASSERT_EQ(expectedFiles, ListFiles(temp.Path()));

    // Where each message landed, and its order within its thread and file.
    std::map<std::string, std::string> landedIn;
    std::size_t total = 0;
    for (const auto& entry : fileOf) {
        const std::string content = ReadFile(temp.Join(entry.second));
        ASSERT_FALSE(content.empty());
        ASSERT_EQ('\n', content.back());
        std::vector<int> lastOfThread(kThreads, -1);
        for (const std::string& line : SplitLines(content)) {
            const std::string message = MessageOf(line);
            int t = -1;
            int i = -1;
            ASSERT_EQ(2, std::sscanf(message.c_str(), "t%d-%d", &t, &i)) << line;
            ASSERT_TRUE(t >= 0 && t < kThreads && i >= 0 && i < kLines) << line;
            EXPECT_LT(lastOfThread[t], i) << "out of order in " << entry.second;
            lastOfThread[t] = i;
            EXPECT_TRUE(landedIn.emplace(message, entry.first).second) << "twice: " << message;
            ++total;
        }
    }
    EXPECT_EQ(static_cast<std::size_t>(kThreads * kLines), total);
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kLines; ++i) {
            const std::string message = "t" + std::to_string(t) + "-" + std::to_string(i);
            const auto found = landedIn.find(message);
            ASSERT_NE(landedIn.end(), found) << "missing " << message;
            const std::string expected =
                i % 2 == 0 ? "" : std::string("Op") + static_cast<char>('A' + (t + i) % 3);
            EXPECT_EQ(expected, found->second) << message;
        }
    }
}

}  // namespace
}  // namespace VTLogAdapter::Testing

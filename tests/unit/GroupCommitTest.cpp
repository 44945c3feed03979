// Lines that share one write must land exactly as if written one by one: same files, same
// roll-overs, every line once and each thread's lines in their order.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

using Contents = std::map<std::string, std::string>;

constexpr int kThreads = 8;           // half of them to a named log
constexpr int kLinesPerThread = 1000;   // fewer than ten files a series: names sort by number

Contents FilesIn(const TempFolder& temp) {
    Contents contents;
    for (const std::string& file : ListFiles(temp.Path())) contents[file] = ReadFile(temp.Join(file));
    return contents;
}

LocalTime At(int day, int hour, int minute, int second, int milliseconds = 0) {
    LocalTime time;
    time.year = 2026;
    time.month = 12;
    time.day = day;
    time.hour = hour;
    time.minute = minute;
    time.second = second;
    time.milliseconds = milliseconds;
    return time;
}

TEST(GroupCommit, ABatchLandsAsItsLinesWouldOneByOne) {
    const std::string line = std::string(3999, 'b') + "\n";   // four to a write
    struct Line {
        LocalTime now;
        std::string text;
    };
    struct Case {
        const char* rule;
        std::vector<Line> lines;
        std::size_t files;
    };
    const Case cases[] = {
        {"the size limit crossed inside the batch", 
         std::vector<Line>(30, {At(7, 14, 3, 7), line}),
         2},
        {"midnight inside the batch, the stamp deciding the day",
         {{At(7, 23, 59, 59, 998), "1\n"}, {At(7, 23, 59, 59, 999), "2\n"},
          {At(8, 0, 0, 0, 0), "3\n"}, {At(8, 0, 0, 0, 1), "4\n"}},
         2},
        {"a new second inside the batch",
         {{At(7, 14, 3, 7), "1\n"}, {At(7, 14, 3, 8), "2\n"}, {At(7, 14, 3, 8), "3\n"}},
         1},
    };
    for (const Case& c : cases) {
        Contents results[2];
        for (int batched = 0; batched < 2; ++batched) {
            TempFolder temp;
            FakePlatform platform;
            auto config = WritingConfig(platform, temp.Path());
            config->generalLog.fileSizeLimit = 0.1;
            FileLog log(config.get(), platform);
            std::vector<LineToWrite> lines;
            for (const Line& line : c.lines) {
                lines.push_back({line.text.c_str(), line.text.size(), line.now});
            }
            if (batched == 1) {
                std::vector<const LineToWrite*> batch;
                for (const LineToWrite& line : lines) batch.push_back(&line);
                log.WriteLines(batch.data(), batch.size());
            } else {
                for (const LineToWrite& line : lines) log.WriteText(line.text, line.now);
            }
            results[batched] = FilesIn(temp);
        }
        EXPECT_EQ(results[0], results[1]) << c.rule;
        EXPECT_EQ(c.files, results[1].size()) << c.rule;
    }
}

// Eight threads through one core, half of them to a named log; the files it leaves, and in
// `writes` the writes it made.
Contents WriteFromEightThreads(bool groupCommit, int& writes) {
    TempFolder temp;
    FakePlatform platform;
    platform.threadId = 77;   // so that both ways write the same bytes
    // A slow disk: threads queue behind the write, so batches of many lines form.
    std::atomic<int> made{0};
    platform.bytesWritten = [&made](std::size_t length) {
        ++made;
        std::this_thread::sleep_for(std::chrono::microseconds(10));
        return length;
    };
    LogCore core(platform);
    core.SetGroupCommit(groupCommit);
    auto* config = const_cast<LogConfig*>(core.Config());
    *config = *WritingConfig(platform, temp.Path());
    config->generalLog.fileSizeLimit = 0.1;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kLinesPerThread; ++i) {
                const std::string text = std::string(40, 'p') + " " +
                                         static_cast<char>('A' + t) + "#" + std::to_string(i);
                const std::u16string message(text.begin(), text.end());
                core.Dispatch(nullptr, nullptr, 0, 1, t % 2 == 0 ? u"Even" : nullptr,
                              message.c_str());
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    writes = made;
    return FilesIn(temp);
}

TEST(GroupCommit, EightThreadsLeaveTheLinesOfLineByLineWriting) {
    // Each series' lines, sorted: the order among threads is free, so which file of a series
    // holds a line may differ, but not which series.
    std::map<std::string, std::multiset<std::string>> series[2];
    for (const bool groupCommit : {false, true}) {
        // Files of one series come in name order; within them, one thread's lines in order.
        std::map<char, int> next;
        int writes = 0;
        const Contents files = WriteFromEightThreads(groupCommit, writes);
        // A write per line, or batches of them: else the test compares a way with itself.
        if (groupCommit) {
            EXPECT_LT(writes, kThreads * kLinesPerThread);
        } else {
            EXPECT_EQ(kThreads * kLinesPerThread, writes);
        }
        for (const auto& [file, text] : files) {
            const std::vector<std::string> lines = SplitLines(text);
            const std::size_t beforeLast = text.size() - lines.back().size() - 1;
            EXPECT_LE(beforeLast, 104858u) << file << " went on past the limit";
            const std::string stem = std::regex_replace(file, std::regex("(_[0-9]+)?\\.dat$"), "");
            for (const std::string& line : lines) {
                series[groupCommit][stem].insert(line);
                const std::size_t mark = line.find('#');
                ASSERT_NE(std::string::npos, mark) << line;
                const int number = std::stoi(line.substr(mark + 1));
                EXPECT_LE(next[line[mark - 1]], number) << file << ": " << line;
                next[line[mark - 1]] = number + 1;
            }
        }
    }
    ASSERT_EQ(2u, series[0].size());
    EXPECT_EQ(series[0], series[1]);
    for (const auto& [stem, lines] : series[1]) {
        EXPECT_EQ(static_cast<std::size_t>(kThreads / 2 * kLinesPerThread), lines.size()) << stem;
    }
}

}  // namespace
}  // namespace VTLogAdapter::Testing

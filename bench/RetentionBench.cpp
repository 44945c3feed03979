// What the daily clean-up of old day folders costs: a year of day folders (365 x 20 files)
// removed by age, the same year only measured against a size limit it fits, and the cost of a
// line on another thread while a clean-up runs, next to a line with no clean-up.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "OsPlatform.h"
#include "core/LogCore.h"
#include "writers/FileNaming.h"
#include "writers/Retention.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kDays = 365;
constexpr int kFilesPerDay = 20;
const char16_t kMessage[] = u"Order 1234 accepted for customer 5678 after 3 checks";

// The real OS, except that the registry points at a private installation folder.
class BenchPlatform : public VTLogAdapter::OsPlatform {
public:
    explicit BenchPlatform(std::string installDir) : installDir(std::move(installDir)) {}
    bool ReadMachineRegistryString(const char*, const char*, VTLogAdapter::RegistryView,
                                   char* buffer, std::size_t capacity) const override {
        if (installDir.size() + 1 > capacity) return false;
        std::memcpy(buffer, installDir.c_str(), installDir.size() + 1);
        return true;
    }

private:
    std::string installDir;
};

// A private log folder with its own engine, configured with `retention` on the log element.
class Workspace {
public:
    explicit Workspace(const std::string& retention) {
        char pattern[] = "/tmp/vtlog-retention-bench-XXXXXX";
        root = mkdtemp(pattern);
        fs::create_directories(root / "install");
        std::ofstream(root / "install" / "LogConfigure.xml")
            << "<LogConfigure enable=\"1\"><global><output name=\"outputdebugwindows\""
               " enable=\"0\"/></global><log filepath=\""
            << (root / "logs").string() << "\" loglevel=\"1\" filesizelimit=\"64\" "
            << retention << " usedefaultfilename=\"1\"/></LogConfigure>";
        platform = new BenchPlatform((root / "install" / "bin").string());
        core = new VTLogAdapter::LogCore(*platform);
        // The day's own clean-up runs here, on a folder with nothing old in it yet.
        Line();
        const VTLogAdapter::LocalTime now = platform->GetLocalTime();
        today = VTLogAdapter::DayNumber(now.year, now.month, now.day);
    }
    ~Workspace() {
        delete core;
        delete platform;
        std::error_code error;
        fs::remove_all(root, error);
    }

    void Line() {
        core->LogEx(u"./app.cpp", u"Trace", 46, VTLogAdapter::VT_LOG_TRACE, nullptr, u"%s",
                    kMessage);
    }
    // kDays day folders, the newest two days before today, with kFilesPerDay files of a few
    // lines each.
    void MakeOldYear() const {
        const std::string content(4000, 'x');
        const std::time_t now = std::time(nullptr);
        for (int day = 2; day < kDays + 2; ++day) {
            const std::time_t then = now - static_cast<std::time_t>(day) * 86400;
            std::tm parts{};
            localtime_r(&then, &parts);
            VTLogAdapter::LocalTime date;
            date.year = parts.tm_year + 1900;
            date.month = parts.tm_mon + 1;
            date.day = parts.tm_mday;
            char name[VTLogAdapter::kPathCapacity];
            VTLogAdapter::FormatDayFolderName(date, name, sizeof name);
            const fs::path folder = root / "logs" / name;
            fs::create_directories(folder);
            for (int file = 0; file < kFilesPerDay; ++file) {
                std::ofstream(folder / ("Operation" + std::to_string(file) + ".dat"),
                              std::ios::binary)
                    << content;
            }
        }
    }

    fs::path root;
    BenchPlatform* platform;
    VTLogAdapter::LogCore* core;
    std::int64_t today;
};

// A year of folders, all older than retaindays="1": every file and folder goes.
void BM_CleanUp_RemoveYear(benchmark::State& state) {
    Workspace workspace("retaindays=\"1\"");
    for (auto _ : state) {
        state.PauseTiming();
        workspace.MakeOldYear();
        state.ResumeTiming();
        workspace.core->CleanUp(workspace.today);
    }
    state.counters["files"] = kDays * kFilesPerDay;
}

// A year of folders within a size limit: every file is looked at, nothing goes; the daily
// cost of a size limit that is not reached.
void BM_CleanUp_MeasureYear(benchmark::State& state) {
    Workspace workspace("retainsizelimit=\"100000\"");
    workspace.MakeOldYear();
    for (auto _ : state) workspace.core->CleanUp(workspace.today);
    state.counters["files"] = kDays * kFilesPerDay;
}

// Lines on this thread while another thread removes a year of folders (only the time while it
// runs counts), or with no clean-up at all.
void BM_Line_DuringCleanUp(benchmark::State& state) {
    const bool cleaning = state.range(0) != 0;
    Workspace workspace("retaindays=\"1\"");
    double lines = 0;
    double slowest = 0;
    for (auto _ : state) {
        if (cleaning) workspace.MakeOldYear();
        std::atomic<bool> done{false};
        std::thread cleaner;
        if (cleaning) {
            cleaner = std::thread([&] {
                workspace.core->CleanUp(workspace.today);
                done = true;
            });
        }
        const Clock::time_point start = Clock::now();
        long count = 0;
        // Without a clean-up, about as long as one takes.
        const Clock::time_point end = start + std::chrono::milliseconds(200);
        while (cleaning ? !done.load() : Clock::now() < end) {
            const Clock::time_point before = Clock::now();
            workspace.Line();
            const double took = std::chrono::duration<double>(Clock::now() - before).count();
            slowest = std::max(slowest, took);
            ++count;
        }
        if (cleaner.joinable()) cleaner.join();
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(elapsed / static_cast<double>(std::max(count, 1L)));
        lines += static_cast<double>(count);
    }
    state.counters["lines/run"] =
        benchmark::Counter(lines, benchmark::Counter::kAvgIterations);
    state.counters["slowest_us"] = slowest * 1e6;
}

BENCHMARK(BM_CleanUp_RemoveYear)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_CleanUp_MeasureYear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Line_DuringCleanUp)
    ->ArgName("cleaning")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(5);

}  // namespace

BENCHMARK_MAIN();

// Throughput and allocations of the engine against the cheapest possible flushed logger: a
// preformatted line appended with one write() to an O_APPEND file. Every result is printed as a
// ratio to that baseline, measured in the same run, so the numbers survive a noisy machine.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <string>

#include "OsPlatform.h"
#include "core/LogCore.h"

namespace {

std::atomic<long> allocations{0};

namespace fs = std::filesystem;

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

struct Workspace {
    fs::path root;
    Workspace() {
        char pattern[] = "/tmp/vtlog-bench-XXXXXX";
        root = mkdtemp(pattern);
        fs::create_directories(root / "install");
        std::ofstream(root / "install" / "LogConfigure.xml")
            << "<LogConfigure enable=\"1\"><global><output name=\"outputdebugwindows\""
               " enable=\"0\"/></global><log filepath=\""
            << (root / "logs").string()
            << "\" loglevel=\"1\" filesizelimit=\"64\" usedefaultfilename=\"1\"/></LogConfigure>";
    }
    ~Workspace() {
        std::error_code error;
        fs::remove_all(root, error);
    }
    std::string InstallDir() const { return (root / "install" / "bin").string(); }
};

Workspace& SharedWorkspace() {
    static Workspace workspace;
    return workspace;
}

VTLogAdapter::LogCore& SharedCore() {
    static BenchPlatform platform(SharedWorkspace().InstallDir());
    static VTLogAdapter::LogCore core(platform);
    return core;
}

const char16_t kMessage[] = u"Order 1234 accepted for customer 5678 after 3 checks";

void BM_Baseline_WriteFlushedLine(benchmark::State& state) {
    static int descriptor = -1;
    if (state.thread_index() == 0) {
        const std::string path = (SharedWorkspace().root / "baseline.dat").string();
        descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    }
    char line[256];
    for (auto _ : state) {
        const int length = std::snprintf(line, sizeof line,
                                         "%02d:%02d:%02d:%03d  app  SL(1)  PID=%d  TID=%d  TRACE"
                                         "  ./app.cpp(46)::Trace  \"%s\" \n",
                                         12, 0, 0, 0, 4242, 77,
                                         "Order 1234 accepted for customer 5678 after 3 checks");
        benchmark::DoNotOptimize(write(descriptor, line, static_cast<std::size_t>(length)));
    }
    if (state.thread_index() == 0) close(descriptor);
}

// Logs kMessage through the shared engine and reports heap allocations per call.
void RunLogEx(benchmark::State& state, VTLogAdapter::VT_LOGLEVEL level, const char16_t* operation) {
    VTLogAdapter::LogCore& core = SharedCore();
    const long before = allocations.load();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            core.LogEx(u"./app.cpp", u"Trace", 46, level, operation, u"%s", kMessage));
    }
    state.counters["allocs/line"] = benchmark::Counter(
        static_cast<double>(allocations.load() - before), benchmark::Counter::kAvgIterations);
}

void BM_LogEx_GeneralLog(benchmark::State& state) {
    RunLogEx(state, VTLogAdapter::VT_LOG_TRACE, nullptr);
}

void BM_LogEx_PerformanceLog(benchmark::State& state) {
    RunLogEx(state, VTLogAdapter::VT_LOG_TRACE, u"Checkout");
}

// The configured threshold is TRACE, so INFO is dropped.
void BM_LogEx_FilteredOut(benchmark::State& state) {
    RunLogEx(state, VTLogAdapter::VT_LOG_INFO, nullptr);
}

BENCHMARK(BM_Baseline_WriteFlushedLine)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_LogEx_GeneralLog)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_LogEx_PerformanceLog)->Threads(1)->Threads(2)->UseRealTime();
BENCHMARK(BM_LogEx_FilteredOut)->Threads(1)->UseRealTime();

// Prints the usual table, then every result as a multiple of the baseline with the same
// number of threads.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const double perIteration = run.GetAdjustedRealTime();
            if (run.run_name.function_name.find("Baseline") != std::string::npos) {
                baselines[run.threads] = perIteration;
            }
            results.emplace_back(run.benchmark_name(), run.threads, perIteration);
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nTime per line relative to the flushed-write baseline (lower is better):\n");
        for (const auto& [name, threads, time] : results) {
            const auto baseline = baselines.find(threads);
            if (baseline == baselines.end() || baseline->second <= 0) continue;
            std::printf("  %-52s %6.2fx\n", name.c_str(), time / baseline->second);
        }
    }

private:
    std::map<int, double> baselines;
    std::vector<std::tuple<std::string, int, double>> results;
};

}  // namespace

// Counting every allocation lets the benchmark report heap use per line.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    ++allocations;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    ++allocations;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
#pragma GCC diagnostic pop

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}

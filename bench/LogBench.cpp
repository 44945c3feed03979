// The line path against the cheapest possible flushed logger: one write() of a finished line of
// the same length to an O_APPEND file (the floor). Every result is also printed as a ratio to the
// floor measured with the same thread count in the same round, so the numbers survive a noisy
// machine. The library is reached as an application reaches it: VTLogNet and LogEx over the
// process-wide engine, configured through a private registry tree and LogConfigure.xml.
//
//   vtlog_bench [OPTIONS] [GOOGLE-BENCHMARK-FLAGS]  written lines: floor, Trace, LogEx, spdlog,
//                                                   and Trace with group commit off
//   vtlog_bench --filtered [OPTIONS] [...]          calls below the threshold
//       OPTIONS: --rounds N (default 21) rounds of every case at 1, 2 and 8 threads, each case
//       run for --round-time SECONDS (default 0.07) in each; medians over the rounds
//   vtlog_bench --count CASE LINES                  a warm-up, then LINES calls of CASE and
//                                                   nothing else: for instruction counts
//   vtlog_bench --list                              the names --count accepts
//   vtlog_bench --memory LINES                      LINES lines with files rolling over every
//                                                   megabyte; memory, heap allocations and
//                                                   descriptors sampled ten times, then "flat"
//                                                   or "GROWING" (exit status 1)
//
// The engine reads its configuration once per process, so the written and the filtered cases
// (whose threshold is above Trace's fixed level) run in separate processes.
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <new>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "VTLogAdapter.h"
#include "core/LogCore.h"

#if defined(VTLOG_BENCH_SPDLOG)
#include <spdlog/logger.h>
#include <spdlog/sinks/basic_file_sink.h>
#endif

namespace {

namespace fs = std::filesystem;

// Heap allocations of the calling thread, so each benchmark thread reports its own.
thread_local long threadAllocations = 0;

// 40 characters each: printable ASCII, and text that is non-ASCII throughout (two UTF-8 bytes
// per character), the two cases the conversion to UTF-8 treats differently.
constexpr char16_t kAsciiMessage[] = u"Order 1234 accepted for customer 5678 ok";
constexpr char kAsciiMessageUtf8[] = "Order 1234 accepted for customer 5678 ok";
constexpr char16_t kNonAsciiMessage[] = u"ЗаказПринятДляКлиентаПослеТрехПроверокОК";
static_assert(std::size(kAsciiMessage) == 41 && std::size(kAsciiMessageUtf8) == 41);
static_assert(std::size(kNonAsciiMessage) == 41);
// What the calls pass, read through volatile pointers as an application's own texts would be
// opaque: with link-time optimisation the compiler would otherwise make copies of the library's
// functions specialised for these constants.
const char16_t* volatile asciiMessage = kAsciiMessage;
const char* volatile asciiMessageUtf8 = kAsciiMessageUtf8;
const char16_t* volatile nonAsciiMessage = kNonAsciiMessage;
// The ASCII message as a message and a parameter, which Trace joins into the same text.
const char16_t* volatile messageHead = u"Order 1234 accepted for customer ";
const char16_t* volatile messageParameter = u"5678 ok";

// Calls made before a counted run, so that opening files and loading the configuration stay
// out of the count.
constexpr long kWarmUpCalls = 2000;

// A private installation: the registry tree the engine reads through VTLOGADAPTER_REGISTRY_ROOT,
// the configuration with every field on, and the log folder. Must exist before the first call.
class Workspace {
public:
    // `fileSizeLimit` in megabytes, as the configuration gives it.
    explicit Workspace(int logLevel, double fileSizeLimit = 64) {
        char pattern[] = "/tmp/vtlog-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        root = pattern;
        const fs::path key = root / "registry/HKEY_LOCAL_MACHINE/SOFTWARE/Corvessa/Vantiro";
        fs::create_directories(key);
        fs::create_directories(root / "install/bin");
        fs::create_directories(Logs());
        std::ofstream(key / "ZLM_HOME") << (root / "install/bin").string();
        // No debugger output (syslog on Linux). The default size limit is high enough that
        // roll-over is rare, as with spdlog's single file.
        std::ofstream(root / "install/LogConfigure.xml")
            << "<LogConfigure enable=\"1\"><global processid=\"1\" threadid=\"1\""
               " modulename=\"1\" sourcefileinfo=\"1\" sessioninfo=\"1\" excelmode=\"0\">"
               "<output name=\"file\" enable=\"1\"/>"
               "<output name=\"outputdebugwindows\" enable=\"0\"/></global>"
               "<log filepath=\""
            << Logs().string() << "/\" filesizelimit=\"" << fileSizeLimit << "\" loglevel=\""
            << logLevel << "\" usedefaultfilename=\"1\"/></LogConfigure>";
        setenv("VTLOGADAPTER_REGISTRY_ROOT", (root / "registry").c_str(), 1);
    }
    ~Workspace() {
        std::error_code error;
        fs::remove_all(root, error);
    }
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    fs::path Logs() const { return root / "logs"; }
    fs::path Others() const { return root / "others"; }

    // Cuts every file written so far to nothing, so a long run does not fill the disk. Files
    // stay open and are appended to, so the loggers notice nothing but an earlier roll-over.
    void EmptyFiles() const {
        for (const fs::path& folder : {Logs(), Others()}) {
            std::error_code error;
            for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
                 it.increment(error)) {
                std::error_code ignored;
                if (it->is_regular_file(ignored)) fs::resize_file(it->path(), 0, ignored);
            }
        }
    }

private:
    fs::path root;
};

Workspace* workspace = nullptr;

// What the cases call, built once per process in Prepare().
VTLogAdapter::VTLogNet* named = nullptr;
VTLogAdapter::VTLogNet* unnamed = nullptr;
int floorDescriptor = -1;
std::string floorLine;
#if defined(VTLOG_BENCH_SPDLOG)
std::shared_ptr<spdlog::logger> spdlogLogger;
#endif

// The bytes of the last line of the one file under `folder`, or empty.
std::string LastLineOfLog(const fs::path& folder) {
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (!it->is_regular_file(error)) continue;
        std::ifstream file(it->path(), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (text.empty() || text.back() != '\n') continue;
        const std::size_t start = text.rfind('\n', text.size() - 2);
        return text.substr(start == std::string::npos ? 0 : start + 1);
    }
    return {};
}

void Prepare(bool filtered) {
    // Trace logs at level 1 (TRACE); a threshold of 2 (WARN) drops it, and LogEx at TRACE.
    workspace = new Workspace(filtered ? 2 : 1);
    named = new VTLogAdapter::VTLogNet(u"Orders");
    unnamed = new VTLogAdapter::VTLogNet(u"");
    fs::create_directories(workspace->Others());

    // The floor writes a line the engine wrote itself, so both hand the system the same length.
    named->Trace(kAsciiMessage);
    floorLine = LastLineOfLog(workspace->Logs());
    if (floorLine.empty()) floorLine = std::string(150, 'x') + "\n";   // filtered: nothing written
    floorDescriptor = open((workspace->Others() / "floor.dat").c_str(),
                           O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);

#if defined(VTLOG_BENCH_SPDLOG)
    // The fields of an engine line, flushed after every line like the engine.
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(
        (workspace->Others() / "spdlog.log").string());
    spdlogLogger = std::make_shared<spdlog::logger>("vtlog_bench", std::move(sink));
    spdlogLogger->set_pattern("%H:%M:%S:%e  %n  SL(1)  PID=%P  TID=%t  %l  %s(%#)::%! \"%v\" ");
    spdlogLogger->set_level(filtered ? spdlog::level::warn : spdlog::level::trace);
    spdlogLogger->flush_on(spdlog::level::trace);
#endif
}

void Finish() {
    if (floorDescriptor >= 0) close(floorDescriptor);
    delete workspace;   // the engine's files are unlinked while open, which POSIX allows
}

// Where a case's lines go.
enum class Output { Engine, Floor, Spdlog };

// One call of what a case measures.
struct Case {
    const char* name;
    bool filtered;
    Output output;
    void (*call)();
    // `call` made a number of times in a loop that inlines it, so that an instruction count
    // holds the call itself and not a call of the harness around it.
    void (*repeat)(long times);
    // Each thread takes the engine's lock and writes its own line, as a plain mutex would,
    // instead of sharing a write with the threads waiting behind it: what group commit is
    // measured against.
    bool plainLock = false;
};

template <void (*kCall)()>
void Repeat(long times) {
    for (long i = 0; i < times; ++i) kCall();
}

// Bytes in a file, or in every file below a folder.
std::uintmax_t BytesIn(const fs::path& path) {
    std::error_code error;
    if (fs::is_regular_file(path, error)) return fs::file_size(path, error);
    std::uintmax_t bytes = 0;
    for (fs::recursive_directory_iterator it(path, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file(error)) bytes += it->file_size(error);
    }
    return bytes;
}

// A case that silently wrote nothing would look fast, and a filtered one that wrote would
// measure the wrong thing: either is reported, and makes the run fail.
const char* CheckOutput(const Case& measured) {
    const fs::path path = measured.output == Output::Engine ? workspace->Logs()
                          : measured.output == Output::Floor
                              ? workspace->Others() / "floor.dat"
                              : workspace->Others() / "spdlog.log";
    const bool wrote = BytesIn(path) > 0;
    if (measured.filtered && wrote) return "a call below the threshold was written";
    if (!measured.filtered && !wrote) return "nothing was written";
    return nullptr;
}

bool anyCaseFailed = false;

void CallFloor() {
    benchmark::DoNotOptimize(write(floorDescriptor, floorLine.data(), floorLine.size()));
}
void CallTraceNamed() { named->Trace(asciiMessage); }
void CallTraceUnnamed() { unnamed->Trace(asciiMessage); }
void CallTraceNonAscii() { named->Trace(nonAsciiMessage); }
void CallTraceParameter() { named->Trace(messageHead, messageParameter); }
// The variadic entry, as a call with any format reaches it; a call with one text would pick the
// overload that takes it as it is. Read through a volatile pointer, so that link-time
// optimisation cannot make a copy of the entry specialised for this call's constants.
int (*volatile variadicLogEx)(const char16_t*, const char16_t*, int, VTLogAdapter::VT_LOGLEVEL,
                              const char16_t*, const char16_t*, ...) = VTLogAdapter::LogEx;
void CallLogEx() {
    benchmark::DoNotOptimize(variadicLogEx(u"./app.cpp", u"Run", 46, VTLogAdapter::VT_LOG_TRACE,
                                           nullptr, u"%s", asciiMessage));
}
#if defined(VTLOG_BENCH_SPDLOG)
void CallSpdlog() {
    spdlogLogger->log(
        spdlog::source_loc{"./VTLogAdapter.cpp", 46, "VTLogAdapter::VTLogNet::Trace"},
        spdlog::level::trace, "{}", asciiMessageUtf8);
}
#endif

const Case kCases[] = {
    {"Floor", false, Output::Floor, CallFloor, Repeat<CallFloor>},
    {"TraceNamed", false, Output::Engine, CallTraceNamed, Repeat<CallTraceNamed>},
    {"TraceUnnamed", false, Output::Engine, CallTraceUnnamed, Repeat<CallTraceUnnamed>},
    {"TraceNamedNonAscii", false, Output::Engine, CallTraceNonAscii, Repeat<CallTraceNonAscii>},
    {"TraceNamedParameter", false, Output::Engine, CallTraceParameter, Repeat<CallTraceParameter>},
    {"TraceNamedPlainLock", false, Output::Engine, CallTraceNamed, Repeat<CallTraceNamed>, true},
    {"LogEx", false, Output::Engine, CallLogEx, Repeat<CallLogEx>},
#if defined(VTLOG_BENCH_SPDLOG)
    {"Spdlog", false, Output::Spdlog, CallSpdlog, Repeat<CallSpdlog>},
#endif
    {"FilteredTrace", true, Output::Engine, CallTraceNamed, Repeat<CallTraceNamed>},
    {"FilteredLogEx", true, Output::Engine, CallLogEx, Repeat<CallLogEx>},
#if defined(VTLOG_BENCH_SPDLOG)
    {"FilteredSpdlog", true, Output::Spdlog, CallSpdlog, Repeat<CallSpdlog>},
#endif
};

std::size_t CaseIndex(const std::string& name) {
    std::size_t index = 0;
    while (index < std::size(kCases) && name != kCases[index].name) ++index;
    return index;
}

void RunCase(benchmark::State& state, const Case* measured) {
    if (state.thread_index() == 0) {   // the other threads wait at the start of the loop
        workspace->EmptyFiles();
        VTLogAdapter::GetLogCore().SetGroupCommit(!measured->plainLock);
    }
    const long before = threadAllocations;
    for (auto _ : state) measured->call();
    state.counters["allocs/call"] = benchmark::Counter(
        static_cast<double>(threadAllocations - before), benchmark::Counter::kAvgIterations);
    if (state.thread_index() != 0) return;
    if (const char* failure = CheckOutput(*measured)) {
        anyCaseFailed = true;
        state.SkipWithError(failure);
    }
}

// One result line per case and thread count, from rounds of every case (see main): the median
// time per call (for several threads, the wall time divided by the calls of all threads, i.e.
// the inverse of the throughput) and the medians over the rounds of its ratio to the floor of
// the same round with the same thread count and with one thread, with the quartiles of the
// first. A ratio taken within a round compares calls made a second or two apart at most, so a
// slow spell of a shared machine spoils the ratios of the few rounds it falls into, and the
// medians pass over them.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        // With repetitions a round's runs arrive with their aggregates, or (aggregates only)
        // just those: the runs themselves when there are any, else their median.
        const bool anyIteration = std::any_of(runs.begin(), runs.end(), [](const Run& run) {
            return run.run_type == Run::RT_Iteration;
        });
        for (const Run& run : runs) {
            if (run.error_occurred) {
                ConsoleReporter::ReportRuns({run});
                continue;
            }
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (anyIteration ? run.run_type != Run::RT_Iteration : !median) continue;
            const std::string& args = run.run_name.args;
            const std::size_t at = args.find("round:");
            const int round = at == std::string::npos ? 0 : std::atoi(args.c_str() + at + 6);
            Result& result = results[{run.threads, CaseIndex(run.run_name.function_name)}];
            result.name = run.run_name.function_name;
            result.times[round].push_back(run.GetAdjustedRealTime() * 1e9 /
                                          benchmark::GetTimeUnitMultiplier(run.time_unit));
            // The largest of any round, so that even a rare allocation shows.
            const auto allocations = run.counters.find("allocs/call");
            if (allocations != run.counters.end()) {
                result.allocations = std::max(result.allocations, allocations->second.value);
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        // Through the reporter's stream: stdio would not keep its order with it.
        std::ostream& out = GetOutputStream();
        char row[200];
        std::snprintf(row, sizeof row, "\n%-20s %7s %7s %10s %8s %12s %16s %12s\n", "case",
                      "threads", "rounds", "ns/call", "x floor", "quartiles",
                      "x 1-thread floor", "allocs/call");
        out << row;
        const std::size_t floorIndex = CaseIndex("Floor");
        for (const auto& [key, result] : results) {
            const auto floor = results.find({key.first, floorIndex});
            const auto oneThreadFloor = results.find({1, floorIndex});
            std::vector<double> times, ratios, oneThreadRatios;
            for (const auto& [round, own] : result.times) {
                const double time = Median(own);
                times.push_back(time);
                if (floor != results.end()) AddRatio(ratios, time, floor->second, round);
                if (oneThreadFloor != results.end()) {
                    AddRatio(oneThreadRatios, time, oneThreadFloor->second, round);
                }
            }
            std::snprintf(row, sizeof row, "%-20s %7d %7zu %10.1f %8s %12s %16s %12.3g\n",
                          result.name.c_str(), key.first, times.size(), Median(times),
                          Fixed(Median(ratios)).c_str(),
                          ratios.empty() ? "-"
                                         : (Fixed(Quantile(ratios, 0.25)) + "-" +
                                            Fixed(Quantile(ratios, 0.75))).c_str(),
                          Fixed(Median(oneThreadRatios)).c_str(), result.allocations);
            out << row;
        }
        out.flush();
    }

private:
    struct Result {
        std::string name;
        std::map<int, std::vector<double>> times;   // by round
        double allocations = 0;
    };

    static double Quantile(std::vector<double> values, double fraction) {
        if (values.empty()) return 0;
        std::sort(values.begin(), values.end());
        const double index = fraction * static_cast<double>(values.size() - 1) + 0.5;
        return values[static_cast<std::size_t>(index)];
    }
    static double Median(const std::vector<double>& values) { return Quantile(values, 0.5); }
    static std::string Fixed(double value) {
        if (value <= 0) return "-";
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", value);
        return text;
    }
    static void AddRatio(std::vector<double>& ratios, double time, const Result& floor,
                         int round) {
        const auto same = floor.times.find(round);
        if (same != floor.times.end() && Median(same->second) > 0) {
            ratios.push_back(time / Median(same->second));
        }
    }

    // By thread count, then in the order of kCases.
    std::map<std::pair<int, std::size_t>, Result> results;
};

int CountCalls(const char* name, long calls) {
    const Case* found = nullptr;
    for (const Case& candidate : kCases) {
        if (std::strcmp(candidate.name, name) == 0) found = &candidate;
    }
    if (found == nullptr || calls < 0) {
        std::fprintf(stderr, "unknown case %s (see --list)\n", name);
        return 2;
    }
    Prepare(found->filtered);
    VTLogAdapter::GetLogCore().SetGroupCommit(!found->plainLock);
    found->repeat(kWarmUpCalls + calls);
    const char* failure = CheckOutput(*found);
    if (failure != nullptr) std::fprintf(stderr, "%s: %s\n", found->name, failure);
    Finish();
    return failure == nullptr ? 0 : 1;
}

// The memory run samples ten times and judges from the middle sample to the last, within the
// bounds below.
constexpr int kMemorySamples = 10;
constexpr double kMemoryFileSizeLimit = 1;   // megabytes: a roll-over every few thousand lines
// Pages touched late for the first time (a code path, a stack page) stay below this; anything
// kept per line would pass it long before the end of a run.
constexpr long kFlatResidentKiB = 256;
// Opening a file may allocate its handle: a few allocations per file opened are the
// roll-over's own, while one per line would be thousands per file.
constexpr long kAllocationsPerFile = 2;

// What the process holds after a number of lines.
struct MemorySample {
    long lines;
    long residentKiB;
    long allocations;   // by the logging calls; the sampling's own are left out
    long filesOpened;
    long descriptors;
};

long ResidentKiB() {
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Calls `each` with every descriptor the process has open but the listing's own.
template <typename Each>
void ForEachDescriptor(Each each) {
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) return;
    while (const dirent* entry = readdir(folder)) {
        if (entry->d_name[0] == '.') continue;
        const int descriptor = std::atoi(entry->d_name);
        if (descriptor != dirfd(folder)) each(descriptor);
    }
    closedir(folder);
}

long OpenDescriptors() {
    long count = 0;
    ForEachDescriptor([&count](int) { ++count; });
    return count;
}

// Removes every file below the log folder that the process does not hold open: the engine only
// ever appends to the newest file of each log, so the older ones can go, and ten million lines
// need no more disk than a few megabytes. Returns the files removed; `present` gets the ones
// left (the open ones). Folders stay, so no open file loses its day folder.
long RemoveClosedFiles(const fs::path& folder, long& present) {
    std::vector<std::pair<dev_t, ino_t>> open;
    ForEachDescriptor([&open](int descriptor) {
        struct stat info {};
        if (fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode)) {
            open.emplace_back(info.st_dev, info.st_ino);
        }
    });
    long removed = 0;
    present = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        struct stat info {};
        if (stat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        if (std::find(open.begin(), open.end(), std::make_pair(info.st_dev, info.st_ino)) !=
            open.end()) {
            ++present;
            continue;
        }
        std::error_code ignored;
        if (fs::remove(it->path(), ignored)) ++removed;
    }
    return removed;
}

// Half the lines to a named log, the rest to the general log, one in four of them through
// LogEx: both writers and both entries roll over in the same run.
void CallMemoryLine(long line) {
    if (line % 2 == 0) {
        CallTraceNamed();
    } else if (line % 8 == 7) {
        CallLogEx();
    } else {
        CallTraceUnnamed();
    }
}

void PrintSample(const MemorySample& sample) {
    std::printf("%12ld %10ld %12ld %8ld %8ld\n", sample.lines, sample.residentKiB,
                sample.allocations, sample.filesOpened, sample.descriptors);
    std::fflush(stdout);
}

// Judged from the middle of the run to its end, when every buffer and file slot the engine
// keeps has long been made: what still grows then grows with the lines.
bool ReportMemoryVerdict(const std::vector<MemorySample>& samples) {
    const MemorySample& middle = samples[samples.size() / 2];
    const MemorySample& last = samples.back();
    long peakKiB = middle.residentKiB;
    bool sameDescriptors = true;
    for (std::size_t i = samples.size() / 2; i < samples.size(); ++i) {
        peakKiB = std::max(peakKiB, samples[i].residentKiB);
        sameDescriptors = sameDescriptors && samples[i].descriptors == middle.descriptors;
    }
    const long growthKiB = peakKiB - middle.residentKiB;
    const long files = last.filesOpened - middle.filesOpened;
    const long allocations = last.allocations - middle.allocations;
    std::printf("\nfrom %ld to %ld lines: resident %+ld KiB, %ld allocations for %ld files opened,"
                " descriptors %ld -> %ld\n",
                middle.lines, last.lines, growthKiB, allocations, files, middle.descriptors,
                last.descriptors);
    if (files == 0) {
        std::printf("no roll-over in the second half: too few lines to judge\n");
        return false;
    }
    const bool residentFlat = growthKiB <= kFlatResidentKiB;
    const bool allocationsFlat = allocations <= kAllocationsPerFile * files;
    if (residentFlat && allocationsFlat && sameDescriptors) {
        std::printf("flat\n");
        return true;
    }
    std::printf("GROWING:%s%s%s\n", residentFlat ? "" : " resident memory",
                allocationsFlat ? "" : " heap allocations", sameDescriptors ? "" : " descriptors");
    return false;
}

int MeasureMemory(long lines) {
    if (lines < kMemorySamples) {
        std::fprintf(stderr, "--memory needs at least %d lines\n", kMemorySamples);
        return 2;
    }
    workspace = new Workspace(1, kMemoryFileSizeLimit);
    named = new VTLogAdapter::VTLogNet(u"Orders");
    unnamed = new VTLogAdapter::VTLogNet(u"");
    std::vector<MemorySample> samples;
    samples.reserve(kMemorySamples + 1);
    std::printf("%12s %10s %12s %8s %8s\n", "lines", "RSS KiB", "allocations", "files",
                "fds");
    samples.push_back({0, ResidentKiB(), 0, 0, OpenDescriptors()});
    PrintSample(samples.back());
    long allocations = 0;
    long removed = 0;
    long done = 0;
    for (int sample = 1; sample <= kMemorySamples; ++sample) {
        const long until = sample == kMemorySamples ? lines : lines / kMemorySamples * sample;
        const long before = threadAllocations;
        for (; done < until; ++done) CallMemoryLine(done);
        allocations += threadAllocations - before;
        long present = 0;
        removed += RemoveClosedFiles(workspace->Logs(), present);
        samples.push_back({done, ResidentKiB(), allocations, removed + present,
                           OpenDescriptors()});
        PrintSample(samples.back());
    }
    const bool flat = ReportMemoryVerdict(samples);
    Finish();
    return flat ? 0 : 1;
}

}  // namespace

// Counting every allocation lets the benchmark report heap use per call.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    ++threadAllocations;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    ++threadAllocations;
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
    if (argc >= 2 && std::strcmp(argv[1], "--list") == 0) {
        for (const Case& listed : kCases) std::printf("%s\n", listed.name);
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "--count") == 0) {
        return CountCalls(argv[2], std::strtol(argv[3], nullptr, 10));
    }
    if (argc == 3 && std::strcmp(argv[1], "--memory") == 0) {
        return MeasureMemory(std::strtol(argv[2], nullptr, 10));
    }
    const bool filtered = argc >= 2 && std::strcmp(argv[1], "--filtered") == 0;
    if (filtered) {
        argv[1] = argv[0];
        --argc;
        ++argv;
    }
    // Our own options, taken out before Google Benchmark reads the rest.
    long rounds = 21;
    double roundTime = 0.07;
    int kept = 1;
    bool valid = true;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        char* end = nullptr;
        if (std::strcmp(argv[i], "--rounds") == 0 && hasValue) {
            rounds = std::strtol(argv[++i], &end, 10);
            valid = valid && *end == '\0' && rounds >= 1 && rounds <= 10000;
        } else if (std::strcmp(argv[i], "--round-time") == 0 && hasValue) {
            roundTime = std::strtod(argv[++i], &end);
            valid = valid && *end == '\0' && roundTime > 0 && roundTime <= 3600;
        } else if (std::strncmp(argv[i], "--benchmark_min_time", 20) == 0) {
            // Every case's own minimum time (the round time) would override it unseen.
            std::fprintf(stderr, "use --round-time SECONDS instead of --benchmark_min_time\n");
            return 2;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    if (!valid) {
        std::fprintf(stderr, "--rounds takes a whole number from 1 to 10000, "
                             "--round-time seconds above 0\n");
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    Prepare(filtered);
    // Rounds: in each, every thread count in turn, and at each every case once, in an order of
    // the round's own, so that the floor and a case are measured a second or two apart and
    // neither always first. Registered in the order they are to run: without random
    // interleaving Google Benchmark keeps it.
    const int threadCounts[] = {1, 2, 8};
    std::vector<const Case*> cases;
    for (const Case& registered : kCases) {
        if (registered.filtered == filtered) cases.push_back(&registered);
    }
    std::minstd_rand shuffler(20261211);
    for (long round = 0; round < rounds; ++round) {
        for (const int threads : threadCounts) {
            std::shuffle(cases.begin(), cases.end(), shuffler);
            for (const Case* measured : cases) {
                benchmark::RegisterBenchmark(measured->name, RunCase, measured)
                    ->ArgName("round")
                    ->Arg(static_cast<std::int64_t>(round))
                    ->Threads(threads)
                    ->MinTime(roundTime)
                    ->UseRealTime();
            }
        }
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    Finish();
    return anyCaseFailed ? 1 : 0;
}

// The Windows line path against the cheapest possible flushed logger, in one process: one
// WriteFile of a finished line to a file opened for appending only (the floor) against
// VTLogNet::Trace through the DLL. Rounds interleave the two, so both see the same machine,
// and the ratio is the median of the rounds' ratios. Under Wine the ratio tells what the
// library adds to a write there; it says nothing about its cost on Windows.
//
// Wine does not append atomically: several threads' WriteFile calls on one append-only handle
// overwrite each other's lines (420,500 calls left 402,477 lines' worth of bytes). With
// several threads the floor therefore writes under a critical section, as the engine does.
//
//   vtlog_win_line_bench FOLDER [ROUNDS [LINES [THREADS...]]]
//
// FOLDER is the installation the caller configured: LogConfigure.xml must send the log
// (every field on) to FOLDER\logs, and the floor writes FOLDER\floor.dat. Each case writes
// LINES lines per round, shared among its threads (defaults: 7 rounds, 20000 lines, 1 2 8
// threads). The program fails if a case wrote other than one line per call.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "VTLogAdapter.h"

namespace {

namespace fs = std::filesystem;

// The message of the native benchmark, so the two platforms' lines compare.
constexpr char16_t kMessage[] = u"Order 1234 accepted for customer 5678 ok";

// Opening the files and loading the configuration stay out of every round.
constexpr long kWarmUpLines = 500;

VTLogAdapter::VTLogNet* logger = nullptr;
HANDLE floorFile = INVALID_HANDLE_VALUE;
std::string floorLine;
long floorCalls = 0;
long traceCalls = 0;

std::string ReadWhole(const fs::path& path) {
    std::string text;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) text.append(chunk, got);
    CloseHandle(file);
    return text;
}

std::vector<fs::path> FilesBelow(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file(error)) files.push_back(it->path());
    }
    return files;
}

// The last line of the one file the engine has written so far, with its CR LF.
std::string LastLineBelow(const fs::path& folder) {
    for (const fs::path& file : FilesBelow(folder)) {
        const std::string text = ReadWhole(file);
        if (text.size() < 2 || text.back() != '\n') continue;
        const std::size_t start = text.rfind('\n', text.size() - 2);
        return text.substr(start == std::string::npos ? 0 : start + 1);
    }
    return {};
}

long LinesBelow(const fs::path& folder) {
    long lines = 0;
    for (const fs::path& file : FilesBelow(folder)) {
        const std::string text = ReadWhole(file);
        lines += static_cast<long>(std::count(text.begin(), text.end(), '\n'));
    }
    return lines;
}

void WriteFloor(long lines) {
    for (long i = 0; i < lines; ++i) {
        DWORD wrote = 0;
        WriteFile(floorFile, floorLine.data(), static_cast<DWORD>(floorLine.size()), &wrote,
                  nullptr);
    }
}

CRITICAL_SECTION floorLock;

void WriteFloorLocked(long lines) {
    for (long i = 0; i < lines; ++i) {
        EnterCriticalSection(&floorLock);
        DWORD wrote = 0;
        WriteFile(floorFile, floorLine.data(), static_cast<DWORD>(floorLine.size()), &wrote,
                  nullptr);
        LeaveCriticalSection(&floorLock);
    }
}

void WriteTrace(long lines) {
    for (long i = 0; i < lines; ++i) logger->Trace(kMessage);
}

struct Worker {
    void (*write)(long);
    long lines;
    HANDLE start;
};

DWORD WINAPI RunWorker(void* argument) {
    const Worker* worker = static_cast<const Worker*>(argument);
    WaitForSingleObject(worker->start, INFINITE);
    worker->write(worker->lines);
    return 0;
}

double Seconds(LONGLONG ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

// Wall time per line of `threads` threads writing `lines` lines between them. The threads are
// made before the clock starts and released together; one thread runs on the caller's.
double NsPerLine(void (*write)(long), int threads, long lines) {
    const long each = std::max(1L, lines / threads);
    LARGE_INTEGER begin, end;
    if (threads == 1) {
        QueryPerformanceCounter(&begin);
        write(each);
        QueryPerformanceCounter(&end);
    } else {
        HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        Worker worker{write, each, start};
        std::vector<HANDLE> handles;
        for (int i = 0; i < threads; ++i) {
            HANDLE thread = CreateThread(nullptr, 0, RunWorker, &worker, 0, nullptr);
            if (thread == nullptr) {
                std::fprintf(stderr, "CreateThread failed: %lu\n", GetLastError());
                std::exit(1);
            }
            handles.push_back(thread);
        }
        QueryPerformanceCounter(&begin);
        SetEvent(start);
        WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE,
                               INFINITE);
        QueryPerformanceCounter(&end);
        for (HANDLE thread : handles) CloseHandle(thread);
        CloseHandle(start);
    }
    const long written = each * threads;
    (write == WriteTrace ? traceCalls : floorCalls) += written;
    return Seconds(end.QuadPart - begin.QuadPart) * 1e9 / static_cast<double>(written);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

int Usage() {
    std::fprintf(stderr, "usage: vtlog_win_line_bench FOLDER [ROUNDS [LINES [THREADS...]]]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const fs::path folder = argv[1];
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
    const long lines = argc > 3 ? std::atol(argv[3]) : 20000;
    std::vector<int> threadCounts;
    for (int i = 4; i < argc; ++i) threadCounts.push_back(std::atoi(argv[i]));
    if (threadCounts.empty()) threadCounts = {1, 2, 8};
    if (rounds < 1 || lines < 1 ||
        std::any_of(threadCounts.begin(), threadCounts.end(), [](int n) { return n < 1; })) {
        return Usage();
    }
    const fs::path logs = folder / "logs";
    InitializeCriticalSection(&floorLock);

    logger = new VTLogAdapter::VTLogNet(u"Orders");
    logger->Trace(kMessage);
    ++traceCalls;
    // The floor hands the system a line the engine wrote, so both write the same length.
    floorLine = LastLineBelow(logs);
    if (floorLine.empty()) {
        std::fprintf(stderr, "the engine wrote nothing below %s: is LogConfigure.xml set up?\n",
                     logs.string().c_str());
        return 1;
    }
    const fs::path floorPath = folder / "floor.dat";
    floorFile = CreateFileW(floorPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (floorFile == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot create %s: %lu\n", floorPath.string().c_str(),
                     GetLastError());
        return 1;
    }
    WriteFloor(kWarmUpLines);
    WriteTrace(kWarmUpLines);
    floorCalls += kWarmUpLines;
    traceCalls += kWarmUpLines;

    // Per thread count, one entry per round.
    std::vector<std::vector<double>> floorNs(threadCounts.size()), traceNs(threadCounts.size()),
        ratios(threadCounts.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t t = 0; t < threadCounts.size(); ++t) {
            // Which case goes first alternates, so a drift of the machine favours neither.
            void (*const floorWrite)(long) = threadCounts[t] == 1 ? WriteFloor : WriteFloorLocked;
            double floorTime, traceTime;
            if (round % 2 == 0) {
                floorTime = NsPerLine(floorWrite, threadCounts[t], lines);
                traceTime = NsPerLine(WriteTrace, threadCounts[t], lines);
            } else {
                traceTime = NsPerLine(WriteTrace, threadCounts[t], lines);
                floorTime = NsPerLine(floorWrite, threadCounts[t], lines);
            }
            floorNs[t].push_back(floorTime);
            traceNs[t].push_back(traceTime);
            ratios[t].push_back(traceTime / floorTime);
        }
    }
    logger->Dispose();
    CloseHandle(floorFile);

    std::printf("line: %zu bytes; %d round(s) of %ld lines per case; medians\n"
                "floor: one WriteFile per line, under a critical section with several threads\n",
                floorLine.size(), rounds, lines);
    std::printf("%7s %14s %14s %9s %15s\n", "threads", "floor ns/line", "Trace ns/line",
                "x floor", "x floor range");
    for (std::size_t t = 0; t < threadCounts.size(); ++t) {
        const auto range = std::minmax_element(ratios[t].begin(), ratios[t].end());
        std::printf("%7d %14.0f %14.0f %9.2f %7.2f-%-7.2f\n", threadCounts[t],
                    Median(floorNs[t]), Median(traceNs[t]), Median(ratios[t]), *range.first,
                    *range.second);
    }

    // A case that wrote nothing would look fast: every call must have left its line.
    int status = 0;
    const std::string floorText = ReadWhole(floorPath);
    if (floorText.size() != static_cast<std::size_t>(floorCalls) * floorLine.size()) {
        std::fprintf(stderr, "floor: %zu bytes for %ld lines of %zu\n", floorText.size(),
                     floorCalls, floorLine.size());
        status = 1;
    }
    const long traced = LinesBelow(logs);
    if (traced != traceCalls) {
        std::fprintf(stderr, "Trace: %ld lines below %s for %ld calls\n", traced,
                     logs.string().c_str(), traceCalls);
        status = 1;
    }
    return status;
}

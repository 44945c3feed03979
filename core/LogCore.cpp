// Filtering, the once-only configuration load and routing to the two writers.
#include "core/LogCore.h"

#include <climits>
#include <cstring>
#include <new>

#include "core/WideFormat.h"
#include "platform/HotPath.h"
#include "writers/FileLog.h"
#include "writers/FileNaming.h"
#include "writers/PerformanceLog.h"
#include "writers/Retention.h"

namespace VTLogAdapter {

// A caller's line from its formatting until a writer has handed it to the system; it lives
// on the caller's stack, which the caller may leave as soon as it sees `done`: whoever sets
// `done` sets `result` before it and touches the line no more after it.
struct PendingLine {
    LineToWrite line{};
    const char16_t* operation = nullptr;   // null: the general log
    PendingLine* next = nullptr;
    std::atomic<bool> done{false};
    int result = 1;
    char text[kLineCapacity];
};

LogCore::LogCore(Platform& platform)
    : config(new (std::nothrow) LogConfig(platform)),
      fileLog(new (std::nothrow) FileLog(config, platform)),
      performanceLog(new (std::nothrow) PerformanceLog(config, platform)),
      platform(platform) {}

LogCore::~LogCore() {
    Close();
    // Writers hold a pointer to the settings, so they go first.
    delete fileLog;
    fileLog = nullptr;
    delete performanceLog;
    performanceLog = nullptr;
    delete config;
    config = nullptr;
}

void LogCore::Close() {
    CriticalSectionGuard guard(lock);
    if (closed) return;
    closed = true;
    // Threads still waiting for the lock go home without writing.
    PendingLine* waiting = TakeQueue();
    std::int64_t noCleanUp = 0;
    WriteTaken(waiting, noCleanUp);
    MarkDone(waiting);
    if (fileLog != nullptr) fileLog->Close();
    if (performanceLog != nullptr) performanceLog->Close();
}

void LogCore::PrepareFork() {
    // The load never takes `lock`, and a writer never waits for the load while holding it,
    // so this order cannot meet its reverse. Holding `lock`, no write is under way at the
    // fork: the child finds the writers whole.
    loadOnce.Hold();
    lock.Enter();
}

void LogCore::ResumeInParent() {
    lock.Leave();
    loadOnce.Release();
}

void LogCore::ResetInChild() {
    // Only the forking thread lives on in the child, and it holds both locks, so it lets go of
    // them. The threads that queued lines in the parent do not exist here: their lines are not
    // ours to write.
    lock.ResetInChild();
    loadOnce.ResetInChild();
    queue.store(nullptr, std::memory_order_relaxed);
    if (closed) return;
    if (fileLog != nullptr) fileLog->ForgetAfterFork();
    if (performanceLog != nullptr) performanceLog->ForgetAfterFork();
}

// Out of line: the line's path (Dispatch) would otherwise take in the whole configuration reader.
VTLOG_RARE
void LogCore::LoadOnce(void* self) {
    LogCore* core = static_cast<LogCore*>(self);
    const LogConfig& config = *core->config;
    core->config->Load(core->platform);
    const bool written = config.enable != 0;
    const bool output = config.fileOutput != 0 || config.debugOutput != 0;
    const std::int64_t admitted = written ? config.logLevel : kNone;
    const std::int64_t enabled = output ? admitted : kNone;
    // Releasing: whoever reads a settled level sees the whole record (see EnsureLoaded).
    core->admitFrom.store(admitted, std::memory_order_release);
    core->enabledFrom.store(enabled, std::memory_order_relaxed);
    if (core->published != nullptr) {
        core->published->writtenFrom.store(written ? config.logLevel : INT_MAX,
                                           std::memory_order_relaxed);
        core->published->enabledFrom.store(enabled, std::memory_order_relaxed);
    }
}

VTLOG_HOT
void LogCore::EnsureLoaded() {
    // A settled level is stored once the load is done, so seeing one spares the once flag's
    // call. Until then the flag makes latecomers wait for the first load to finish, so no
    // thread ever reads a half-filled record and the file is consulted once however many
    // threads start together.
    if (admitFrom.load(std::memory_order_acquire) != kUnsettled) return;
    loadOnce.Run(&LogCore::LoadOnce, this);
}

VTLOG_HOT
int LogCore::LogExV(const char16_t* sourceFile, const char16_t* function, int line,
                    VT_LOGLEVEL level, const char16_t* operation, const char16_t* format,
                    va_list args) {
    if (!MayAdmit(level)) return 0;
    if (format == nullptr || format[0] == u'\0') return 0;
    if (config == nullptr) return 0;
    // Filtering before formatting spares dropped messages the allocation; Dispatch repeats the
    // test, so the outcome is the same as formatting first.
    EnsureLoaded();
    if (!config->Admits(level)) return 0;

    // "%s" with one text, what the managed class always sends, formats to that text itself:
    // it is passed on as it is, sparing a measuring pass, a copy and an allocation per line.
    if (IsSingleText(format)) {
        return Dispatch(sourceFile, function, line, level, operation,
                        SingleTextMessage(va_arg(args, const char16_t*)));
    }
    char16_t* message = FormatWideAllocV(format, args);
    if (message == nullptr) return 0;
    const int result = Dispatch(sourceFile, function, line, level, operation, message);
    delete[] message;
    return result;
}

int LogCore::LogEx(const char16_t* sourceFile, const char16_t* function, int line,
                   VT_LOGLEVEL level, const char16_t* operation, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = LogExV(sourceFile, function, line, level, operation, format, args);
    va_end(args);
    return result;
}

int LogCore::IsEnabledFirst(int level) {
    if (config == nullptr) return 0;
    EnsureLoaded();
    return config->Admits(level) && (config->fileOutput != 0 || config->debugOutput != 0) ? 1
                                                                                          : 0;
}

// One function from here to the write (in the GCC builds with link-time optimisation, see
// VTLOG_WHOLE): a line crosses a dozen functions in four layers, and each call saved and
// restored registers and moved arguments (TraceNamed 729 -> 636 instructions a line). What only
// some lines need stays out of line: the configuration's load, the batches of threads that meet
// at the lock, digits of values out of range.
VTLOG_HOT VTLOG_WHOLE
int LogCore::Dispatch(const char16_t* sourceFile, const char16_t* function, int line, int level,
                      const char16_t* operation, const char16_t* message) {
    if (config == nullptr) return 0;
    EnsureLoaded();
    if (!config->Admits(level)) return 0;
    const bool named = operation != nullptr && operation[0] != u'\0';
    LogWriterBase* writer = named ? static_cast<LogWriterBase*>(performanceLog) : fileLog;
    if (writer == nullptr) return 0;

    // Built before the lock: formatting reads nothing that another thread writes.
    PendingLine pending;
    pending.line.now = platform.GetLocalTime();
    pending.line.length =
        writer->FormatLineLength(pending.text, message != nullptr ? message : u"", sourceFile,
                                 function, line, level, pending.line.now);
    pending.line.text = pending.text;
    pending.operation = named ? operation : nullptr;
    std::int64_t cleanUpDay = 0;
    const int result = Commit(pending, cleanUpDay);
    if (cleanUpDay != 0) CleanUp(cleanUpDay);
    return result;
}

VTLOG_HOT
std::int64_t LogCore::TakeDueCleanUp() {
    if (fileLog == nullptr || performanceLog == nullptr) return 0;
    const std::int64_t opened = fileLog->LastOpenDay() > performanceLog->LastOpenDay()
                                    ? fileLog->LastOpenDay()
                                    : performanceLog->LastOpenDay();
    if (opened <= cleanedDay) return 0;
    cleanedDay = opened;
    return RetentionLimitsOf(config->generalLog).Any() ? opened : 0;
}

VTLOG_RARE
void LogCore::CleanUp(std::int64_t today) {
    if (config == nullptr) return;
    {
        CriticalSectionGuard guard(lock);
        if (closed) return;
    }
    RemoveOldDayFolders(platform, config->generalLog.filePath, today,
                        RetentionLimitsOf(config->generalLog), &LogCore::CloseFilesIn, this);
}

void LogCore::CloseFilesIn(void* self, const char* day) {
    LogCore* core = static_cast<LogCore*>(self);
    CriticalSectionGuard guard(core->lock);
    if (core->closed) return;
    if (core->fileLog != nullptr) core->fileLog->CloseFilesIn(day);
    if (core->performanceLog != nullptr) core->performanceLog->CloseFilesIn(day);
}

VTLOG_HOT
int LogCore::Commit(PendingLine& pending, std::int64_t& cleanUpDay) {
    // Alone at the lock with nothing queued, the common case of a single thread, the line is
    // written at once: the queue is for lines that would otherwise wait. Without group commit
    // (switched off while idle) nothing is queued and every line comes this way, waiting for the
    // lock if need be.
    if (queue.load(std::memory_order_relaxed) == nullptr &&
        (lock.TryEnter() || (!groupCommit && WaitForLock()))) {
        if (queue.load(std::memory_order_acquire) == nullptr) {
            WriteAlone(pending, cleanUpDay);
        } else {
            Push(pending);
            WriteQueued(pending, cleanUpDay);
        }
        lock.Leave();
        return pending.result;
    }
    Push(pending);
    // Whoever holds the lock writes every queued line with its batch, so a waiting thread
    // watches its own line rather than the lock: once it is written the thread leaves without
    // taking the lock at all. Only a line still queued when the lock comes free makes its
    // thread take it and write the queue itself. It spins for a moment, then yields, so that
    // with more threads than cores the waiting ones leave the cores to the threads formatting
    // lines and the one writing them, without a sleep and a wake-up per line; after a while it
    // sleeps on the lock.
    for (int attempt = 0; attempt < kCommitSpins; ++attempt) {
        if (pending.done.load(std::memory_order_acquire)) return pending.result;
        if (lock.TryEnter()) {
            WriteQueued(pending, cleanUpDay);
            lock.Leave();
            return pending.result;
        }
        if (attempt < kCommitPauses) {
            SpinPause();
        } else {
            YieldToOtherThreads();
        }
    }
    CriticalSectionGuard guard(lock);
    WriteQueued(pending, cleanUpDay);
    return pending.result;
}

VTLOG_RARE
bool LogCore::WaitForLock() {
    lock.Enter();
    return true;
}

void LogCore::Push(PendingLine& pending) {
    pending.next = queue.load(std::memory_order_relaxed);
    while (!queue.compare_exchange_weak(pending.next, &pending, std::memory_order_release,
                                        std::memory_order_relaxed)) {
    }
}

// Out of line: only threads that meet at the lock come here, and the line's path (Dispatch)
// would otherwise carry a copy of the whole batch writer.
VTLOG_APART
void LogCore::WriteQueued(PendingLine& pending, std::int64_t& cleanUpDay) {
    // Done already: a batch taken meanwhile held the line. Else it is still queued, and the
    // batch taken here holds it.
    if (pending.done.load(std::memory_order_relaxed)) return;
    PendingLine* batch = TakeQueue();
    WriteTaken(batch, cleanUpDay);
    MarkDone(batch);
}

VTLOG_HOT
void LogCore::WriteTaken(PendingLine* batch, std::int64_t& cleanUpDay) {
    if (closed) {
        for (PendingLine* dropped = batch; dropped != nullptr; dropped = dropped->next) {
            dropped->result = 0;
        }
    } else {
        WriteBatch(batch);
        // Whichever thread's batch made the day's first open runs the clean-up, once it has
        // let go of the lock.
        if (cleanUpDay == 0) cleanUpDay = TakeDueCleanUp();
    }
}

void LogCore::MarkDone(PendingLine* batch) {
    for (PendingLine* written = batch; written != nullptr;) {
        PendingLine* next = written->next;
        written->done.store(true, std::memory_order_release);
        written = next;
    }
}

PendingLine* LogCore::TakeQueue() {
    // The queue is newest first; turned round, each thread's lines (one at a time) and the
    // threads' arrival keep their order.
    PendingLine* newest = queue.exchange(nullptr, std::memory_order_acquire);
    PendingLine* oldest = nullptr;
    while (newest != nullptr) {
        PendingLine* next = newest->next;
        newest->next = oldest;
        oldest = newest;
        newest = next;
    }
    return oldest;
}

VTLOG_HOT
void LogCore::WriteAlone(PendingLine& pending, std::int64_t& cleanUpDay) {
    if (closed) {
        pending.result = 0;
        return;
    }
    // A batch of one: no grouping of lines by operation to do.
    const LineToWrite* line = &pending.line;
    if (pending.operation != nullptr) {
        performanceLog->WriteLines(pending.operation, &line, 1);
    } else {
        fileLog->WriteLines(&line, 1);
    }
    cleanUpDay = TakeDueCleanUp();
}

VTLOG_HOT
void LogCore::WriteBatch(PendingLine* first) {
    constexpr std::size_t kGroup = 64;
    const LineToWrite* group[kGroup];
    for (PendingLine* pending = first; pending != nullptr;) {
        const char16_t* operation = pending->operation;
        std::size_t count = 0;
        while (pending != nullptr && count < kGroup &&
               SameOperationName(pending->operation, operation)) {
            group[count++] = &pending->line;
            pending = pending->next;
        }
        if (operation != nullptr) {
            performanceLog->WriteLines(operation, group, count);
        } else {
            fileLog->WriteLines(group, count);
        }
    }
}

}  // namespace VTLogAdapter

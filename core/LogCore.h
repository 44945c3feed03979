// The process-wide logger: settings, both writers and the one lock around all writing.
// The library holds one instance that is never destroyed (GetLogCore); tests build their own
// with a double.
#pragma once

#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdint>

#include "config/LogConfig.h"
#include "core/LogLevel.h"
#include "platform/CriticalSection.h"
#include "platform/OnceFlag.h"
#include "platform/Platform.h"

namespace VTLogAdapter {

class FileLog;
class PerformanceLog;
struct PendingLine;

// The levels a core's one-time load settles, kept where entry points read them with one load.
struct PublishedLevels {
    // Below it nothing is written. INT_MIN until the settings are loaded, so every call goes on
    // to the core; INT_MAX when nothing is written, so only a call at INT_MAX goes on, and the
    // core drops it.
    std::atomic<int> writtenFrom{INT_MIN};
    // LogCore::IsEnabled answers 1 from this level up; INT64_MIN until the settings are loaded.
    std::atomic<std::int64_t> enabledFrom{INT64_MIN};
};

class LogCore {
public:
    explicit LogCore(Platform& platform);
    // For cores a test builds: closes, then frees. No thread may still be using the core.
    ~LogCore();
    LogCore(const LogCore&) = delete;
    LogCore& operator=(const LogCore&) = delete;

    // Thread-safe. 0 when nothing was written, else the writer's result.
    int LogExV(const char16_t* sourceFile, const char16_t* function, int line, VT_LOGLEVEL level,
               const char16_t* operation, const char16_t* format, va_list args);
    int LogEx(const char16_t* sourceFile, const char16_t* function, int line, VT_LOGLEVEL level,
              const char16_t* operation, const char16_t* format, ...);
    // True for "%s", which formats its one text argument to that text itself (null counts as
    // "(null)"): such a call may go to Dispatch with the text as the message.
    static bool IsSingleText(const char16_t* format) {
        return format != nullptr && format[0] == u'%' && format[1] == u's' && format[2] == u'\0';
    }
    static const char16_t* SingleTextMessage(const char16_t* text) {
        return text != nullptr ? text : u"(null)";
    }
    // 1 when a record at `level` would reach a file or the debugger output: logging on, the
    // level admitted and at least one output on; else 0. Loads the configuration on the first
    // call; one load and a comparison after that.
    int IsEnabled(int level) {
        const std::int64_t from = enabledFrom.load(std::memory_order_relaxed);
        if (from != kUnsettled) return level >= from ? 1 : 0;
        return IsEnabledFirst(level);
    }
    // False only when the settings, once loaded, filter `level` out: a call that may go on to
    // LogExV, which loads them first. The few instructions a dropped record costs.
    bool MayAdmit(int level) const {
        return level >= admitFrom.load(std::memory_order_relaxed);
    }
    // Routes one formatted message; loads the configuration on the first call.
    int Dispatch(const char16_t* sourceFile, const char16_t* function, int line, int level,
                 const char16_t* operation, const char16_t* message);

    // Removes the day folders the configured retention lets go on the day `today` (a
    // DayNumber), closing this core's own files in them first. The first file open of each
    // day asks for it (see Dispatch); it runs on the calling thread, without holding the
    // lock, so other threads keep logging meanwhile. Does nothing once closed.
    void CleanUp(std::int64_t today);

    // Closes every file and handle under the lock. Whatever comes later, including a thread
    // that was waiting for the lock, finds a valid, closed core and writes nothing.
    void Close();

    // fork() support, for the library's core only (see GetLogCore): before the fork the
    // forking thread takes every lock of the core, so no other thread holds one halfway
    // through its work; the parent then lets go, while the child resets them, forgets the
    // parent's files without writing to them and reads its own identity.
    void PrepareFork();
    void ResumeInParent();
    void ResetInChild();

    // Where the one-time load also stores what it settled, for the library's core: its entry
    // points answer from there without reaching the core. Set before the first record; null
    // (the default) for the cores tests build.
    void PublishLevelsTo(PublishedLevels* target) { published = target; }

    // On (the default), the lines of threads that meet at the lock share one write per file;
    // off, each thread takes the lock and writes its own line, as a plain mutex would, which
    // the benchmark measures against it. Only while no thread is logging.
    void SetGroupCommit(bool on) { groupCommit = on; }

    // Read-only view for tests and diagnostics; null only if creation failed.
    const LogConfig* Config() const { return config; }

private:
    // Below every level: nothing is known yet, so every call goes on to the full test.
    static constexpr std::int64_t kUnsettled = INT64_MIN;
    // Above every level: nothing is admitted.
    static constexpr std::int64_t kNone = INT64_MAX;

    int IsEnabledFirst(int level);
    void EnsureLoaded();
    static void LoadOnce(void* self);
    // Queues a formatted line and returns once a writer has handed it to the system (1), or
    // it was dropped because the core closed (0). Whoever holds the lock writes every line
    // queued by then, so threads that arrive together share one write per file; a thread
    // whose line was written meanwhile sees it done and leaves without taking the lock.
    // `cleanUpDay` receives the day whose clean-up the caller is to run once it returns, or
    // stays 0.
    int Commit(PendingLine& pending, std::int64_t& cleanUpDay);
    // Enters the lock, waiting as long as it takes; true. Out of line, as only a core without
    // group commit calls it.
    bool WaitForLock();
    // Queues a formatted line, without the lock.
    void Push(PendingLine& pending);
    // Holding the lock: writes the queued lines, `pending` among them unless a batch took it
    // already, and marks every line it took done.
    void WriteQueued(PendingLine& pending, std::int64_t& cleanUpDay);
    // Holding the lock: writes `batch` (dropped once the core is closed) and notes a clean-up
    // it made due.
    void WriteTaken(PendingLine* batch, std::int64_t& cleanUpDay);
    // Holding the lock, nothing else queued: writes `pending` alone (drops it once the core is
    // closed) and notes a clean-up it made due.
    void WriteAlone(PendingLine& pending, std::int64_t& cleanUpDay);
    // Holding the lock: tells the threads of a batch taken from the queue that their lines are
    // done; the batch is theirs again from the first store on.
    static void MarkDone(PendingLine* batch);
    // How often a waiting thread looks at its line and tries the lock before it sleeps on it,
    // and how many of those looks come after a pause rather than after a yield.
    static constexpr int kCommitSpins = 200;
    static constexpr int kCommitPauses = 20;
    // Holding the lock: the day of a clean-up that a batch's first open of a day made due, once
    // per day, or 0.
    std::int64_t TakeDueCleanUp();
    // For the clean-up: closes the writers' files in the day folder `day`, under the lock.
    static void CloseFilesIn(void* self, const char* day);
    // Takes every queued line, oldest first.
    PendingLine* TakeQueue();
    // Writes a batch in its order, holding `lock`.
    void WriteBatch(PendingLine* first);

    // Guards the writers and all they hold, `closed`, and every queued line's `done` and
    // result. The settings are written only by the one-time load and read-only after it, so
    // they are read outside the lock; so are the writers' identity fields, which only the load
    // and a forked child (with no other thread) write.
    CriticalSection lock;
    // Formatted lines not yet taken by a writer, newest first; pushed without the lock.
    std::atomic<PendingLine*> queue{nullptr};
    LogConfig* config;
    FileLog* fileLog;
    PerformanceLog* performanceLog;
    bool closed = false;
    bool groupCommit = true;
    // The latest day whose clean-up was started; guarded by `lock`.
    std::int64_t cleanedDay = 0;
    OnceFlag loadOnce;
    // The lowest level written, and the lowest IsEnabled answers 1 for, as the one-time load
    // settles them (kNone when none is); kUnsettled before. The settings never change after
    // that load, so a dropped record is answered from these without a lock or a call.
    std::atomic<std::int64_t> admitFrom{kUnsettled};
    std::atomic<std::int64_t> enabledFrom{kUnsettled};
    PublishedLevels* published = nullptr;
    Platform& platform;
};

// The library's own instance: built when the library loads, closed when it unloads or the
// process exits, never destroyed, so a thread still logging at that moment finds valid memory.
LogCore& GetLogCore();

// LogCore::IsEnabled of the library's core.
int LogIsEnabled(int level);

// The engine's entry point; forwards to the library's LogCore.
int LogEx(const char16_t* sourceFile, const char16_t* function, int line, VT_LOGLEVEL level,
          const char16_t* operation, const char16_t* format, ...);
// The same for a call with one text argument, the managed class's every call: overload
// resolution picks it for such a call, which then needs no va_list.
int LogEx(const char16_t* sourceFile, const char16_t* function, int line, VT_LOGLEVEL level,
          const char16_t* operation, const char16_t* format, const char16_t* text);

}  // namespace VTLogAdapter

// The library's single LogCore and the free entry point that reaches it. Kept apart from
// LogCore.cpp so that programs linking the engine statically (tests) do not build the
// library's instance unless they call LogEx.
#include <atomic>
#include <new>

#include "core/LogCore.h"
#include "platform/HotPath.h"

namespace VTLogAdapter {

namespace {

// The core once BuildCore has made it, else null: the hot entry points read it instead of the
// guard of GetLogCore's static, so a dropped record costs no call.
std::atomic<LogCore*> builtLogCore{nullptr};
// What the core's settings let through, once loaded: a dropped record is told by one load and
// one comparison, before the core's own, complete test.
PublishedLevels published;

void PrepareFork() { GetLogCore().PrepareFork(); }
void ResumeInParent() { GetLogCore().ResumeInParent(); }
void ResetInChild() { GetLogCore().ResetInChild(); }

LogCore* BuildCore(void* storage) {
    LogCore* core = new (storage) LogCore(GetOsPlatform());
    core->PublishLevelsTo(&published);
    GetOsPlatform().RegisterForkHandlers(&PrepareFork, &ResumeInParent, &ResetInChild);
    builtLogCore.store(core, std::memory_order_release);
    return core;
}

// Builds the core when the library loads (its file mutex then exists while the library is
// loaded), and closes it when the library unloads or the process exits, keeping its memory.
struct CoreLifetime {
    CoreLifetime() { GetLogCore(); }
    ~CoreLifetime() {
        LogCore* core = builtLogCore.load(std::memory_order_acquire);
        if (core != nullptr) core->Close();
    }
} coreLifetime;

}  // namespace

LogCore& GetLogCore() {
    // Static storage without a destructor: the core outlives every static object of the
    // library, so a host thread still logging during exit never reaches freed memory.
    alignas(LogCore) static unsigned char storage[sizeof(LogCore)];
    static LogCore* const core = BuildCore(storage);
    return *core;
}

namespace {

// Apart from LogEx so that LogEx makes a single call, at its end, with its own arguments in
// their registers: a dropped record saves, restores and moves no register.
VTLOG_APART VTLOG_HOT
int LogExOn(const char16_t* sourceFile, const char16_t* function, int line, VT_LOGLEVEL level,
            const char16_t* operation, const char16_t* format, va_list args) {
    // Until the core is built (a static object of the host logging before ours was
    // constructed), GetLogCore builds it.
    LogCore* built = builtLogCore.load(std::memory_order_acquire);
    LogCore& core = built != nullptr ? *built : GetLogCore();
    return core.LogExV(sourceFile, function, line, level, operation, format, args);
}

}  // namespace

VTLOG_HOT
int LogIsEnabled(int level) {
    const std::int64_t from = published.enabledFrom.load(std::memory_order_relaxed);
    if (from != INT64_MIN) return level >= from ? 1 : 0;
    LogCore* built = builtLogCore.load(std::memory_order_acquire);
    return (built != nullptr ? *built : GetLogCore()).IsEnabled(level);
}

// x86-64 outside Windows, with GCC or Clang: a variadic function stores its argument registers
// before its first statement, and a dropped record needs none of that. There LogEx is a naked
// entry that compares the level (the fourth argument, in %ecx) with the published one and
// returns 0, or jumps on with every register and the stack as the caller left them, so that
// LogExAdmitted receives the caller's own call. Not with CET's branch tracking, whose entry
// marker the naked entry would lack.
#if defined(__x86_64__) && !defined(_WIN32) && defined(__GNUC__) && !defined(__CET__)
#define VTLOG_LEVEL_TEST_AT_ENTRY 1
#else
#define VTLOG_LEVEL_TEST_AT_ENTRY 0
#endif

#if VTLOG_LEVEL_TEST_AT_ENTRY
namespace {

VTLOG_APART VTLOG_HOT
int LogExAdmitted(const char16_t* sourceFile, const char16_t* function, int line,
                  VT_LOGLEVEL level, const char16_t* operation, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = LogExOn(sourceFile, function, line, level, operation, format, args);
    va_end(args);
    return result;
}

}  // namespace

static_assert(sizeof(VT_LOGLEVEL) == 4 && sizeof(PublishedLevels::writtenFrom) == 4 &&
                  std::atomic<int>::is_always_lock_free,
              "the entry compares 32-bit levels");

// Nothing may run before the asm: the instrumentation of a tracing build (-finstrument-functions)
// calls out with the arguments unsaved, and so does that of a profiling build
// (-fprofile-generate) when an instrumented caller reaches the entry through a pointer.
[[gnu::naked, gnu::no_instrument_function, gnu::no_profile_instrument_function]] VTLOG_HOT
int LogEx(const char16_t*, const char16_t*, int, VT_LOGLEVEL, const char16_t*, const char16_t*,
          ...) {
    asm("cmpl %c0(%%rip), %%ecx\n\t"
        "jl 1f\n\t"
        "jmp %c1\n"
        "1:\n\t"
        "xorl %%eax, %%eax\n\t"
        "ret"
        :
        : "i"(&published.writtenFrom), "i"(&LogExAdmitted));
}
#else
VTLOG_HOT
int LogEx(const char16_t* sourceFile, const char16_t* function, int line, VT_LOGLEVEL level,
          const char16_t* operation, const char16_t* format, ...) {
    if (level < published.writtenFrom.load(std::memory_order_relaxed)) return 0;
    va_list args;
    va_start(args, format);
    const int result = LogExOn(sourceFile, function, line, level, operation, format, args);
    va_end(args);
    return result;
}
#endif

int LogEx(const char16_t* sourceFile, const char16_t* function, int line, VT_LOGLEVEL level,
          const char16_t* operation, const char16_t* format, const char16_t* text) {
    if (level < published.writtenFrom.load(std::memory_order_relaxed)) return 0;
    LogCore* built = builtLogCore.load(std::memory_order_acquire);
    LogCore& core = built != nullptr ? *built : GetLogCore();
    if (!LogCore::IsSingleText(format)) {
        return core.LogEx(sourceFile, function, line, level, operation, format, text);
    }
    return core.Dispatch(sourceFile, function, line, level, operation,
                         LogCore::SingleTextMessage(text));
}

}  // namespace VTLogAdapter

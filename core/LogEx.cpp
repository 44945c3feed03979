// The library's single LogCore and the free entry point that reaches it. Kept apart from
// LogCore.cpp so that programs linking the engine statically (tests) do not build the
// library's instance unless they call LogEx.
#include <atomic>
#include <new>

#include "core/LogCore.h"

namespace VTLogAdapter {

namespace {

// The core once BuildCore has made it, else null: the hot entry points read it instead of the
// guard of GetLogCore's static, so a dropped record costs no call.
std::atomic<LogCore*> builtLogCore{nullptr};

void PrepareFork() { GetLogCore().PrepareFork(); }
void ResumeInParent() { GetLogCore().ResumeInParent(); }
void ResetInChild() { GetLogCore().ResetInChild(); }

LogCore* BuildCore(void* storage) {
    LogCore* core = new (storage) LogCore(GetOsPlatform());
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

// Apart from LogEx so that LogEx makes a single call, at its end: with no call before the
// filter, a dropped record saves and restores no register.
[[gnu::noinline]] int LogExOn(LogCore* built, const char16_t* sourceFile,
                              const char16_t* function, int line, VT_LOGLEVEL level,
                              const char16_t* operation, const char16_t* format, va_list args) {
    LogCore& core = built != nullptr ? *built : GetLogCore();
    return core.LogExV(sourceFile, function, line, level, operation, format, args);
}

}  // namespace

int LogIsEnabled(int level) {
    LogCore* built = builtLogCore.load(std::memory_order_acquire);
    return (built != nullptr ? *built : GetLogCore()).IsEnabled(level);
}

int LogEx(const char16_t* sourceFile, const char16_t* function, int line, VT_LOGLEVEL level,
          const char16_t* operation, const char16_t* format, ...) {
    // Until the core is built (a static object of the host logging before ours was
    // constructed), LogExOn builds it.
    LogCore* built = builtLogCore.load(std::memory_order_acquire);
    if (built != nullptr && !built->MayAdmit(level)) return 0;
    va_list args;
    va_start(args, format);
    const int result =
        LogExOn(built, sourceFile, function, line, level, operation, format, args);
    va_end(args);
    return result;
}

}  // namespace VTLogAdapter

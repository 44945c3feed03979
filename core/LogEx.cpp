// The library's single LogCore and the free entry point that reaches it. Kept apart from
// LogCore.cpp so that programs linking the engine statically (tests) do not build the
// library's instance unless they call LogEx.
#include <atomic>
#include <new>

#include "core/LogCore.h"

namespace VTLogAdapter {

namespace {

std::atomic<LogCore*> builtCore{nullptr};

void PrepareFork() { GetLogCore().PrepareFork(); }
void ResumeInParent() { GetLogCore().ResumeInParent(); }
void ResetInChild() { GetLogCore().ResetInChild(); }

LogCore* BuildCore(void* storage) {
    LogCore* core = new (storage) LogCore(GetOsPlatform());
    GetOsPlatform().RegisterForkHandlers(&PrepareFork, &ResumeInParent, &ResetInChild);
    builtCore.store(core, std::memory_order_release);
    return core;
}

// Builds the core when the library loads (its file mutex then exists while the library is
// loaded), and closes it when the library unloads or the process exits, keeping its memory.
struct CoreLifetime {
    CoreLifetime() { GetLogCore(); }
    ~CoreLifetime() {
        LogCore* core = builtCore.load(std::memory_order_acquire);
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

int LogIsEnabled(int level) { return GetLogCore().IsEnabled(level); }

int LogEx(const char16_t* sourceFile, const char16_t* function, int line, VT_LOGLEVEL level,
          const char16_t* operation, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result =
        GetLogCore().LogExV(sourceFile, function, line, level, operation, format, args);
    va_end(args);
    return result;
}

}  // namespace VTLogAdapter

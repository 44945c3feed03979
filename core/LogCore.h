// The process-wide logger: settings, both writers and the one lock around all writing.
// The library holds one instance for its whole life; tests build their own with a double.
#pragma once

#include <cstdarg>

#include "config/LogConfig.h"
#include "core/LogLevel.h"
#include "platform/CriticalSection.h"
#include "platform/OnceFlag.h"
#include "platform/Platform.h"

namespace VTLogAdapter {

class FileLog;
class PerformanceLog;

class LogCore {
public:
    explicit LogCore(Platform& platform);
    ~LogCore();
    LogCore(const LogCore&) = delete;
    LogCore& operator=(const LogCore&) = delete;

    // Thread-safe. 0 when nothing was written, else the writer's result.
    int LogExV(const char16_t* sourceFile, const char16_t* function, int line, VT_LOGLEVEL level,
               const char16_t* operation, const char16_t* format, va_list args);
    int LogEx(const char16_t* sourceFile, const char16_t* function, int line, VT_LOGLEVEL level,
              const char16_t* operation, const char16_t* format, ...);
    // Routes one formatted message; loads the configuration on the first call.
    int Dispatch(const char16_t* sourceFile, const char16_t* function, int line, int level,
                 const char16_t* operation, const char16_t* message);

    // Thread-safe. 1 when a record at `level` would reach a file or the debugger output (logging
    // on, level admitted, one of the two outputs on), else 0. Loads the configuration on the
    // first call; after that it reads three settings and takes no lock.
    int IsEnabled(int level);

    // Read-only view for tests and diagnostics; null only if creation failed.
    const LogConfig* Config() const { return config; }

private:
    void EnsureLoaded();
    static void LoadOnce(void* self);

    CriticalSection lock;
    LogConfig* config;
    FileLog* fileLog;
    PerformanceLog* performanceLog;
    OnceFlag loadOnce;
    Platform& platform;
};

// The library's own instance, built at load and destroyed at unload.
LogCore& GetLogCore();

// The engine's entry point; forwards to the library's LogCore.
int LogEx(const char16_t* sourceFile, const char16_t* function, int line, VT_LOGLEVEL level,
          const char16_t* operation, const char16_t* format, ...);

// Whether the library's LogCore would write a record at `level`; see LogCore::IsEnabled.
int LogIsEnabled(int level);

}  // namespace VTLogAdapter

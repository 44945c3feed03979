// Filtering, the once-only configuration load and routing to the two writers.
#include "core/LogCore.h"

#include <new>

#include "core/WideFormat.h"
#include "writers/FileLog.h"
#include "writers/PerformanceLog.h"

namespace VTLogAdapter {

LogCore::LogCore(Platform& platform)
    : config(new (std::nothrow) LogConfig(platform)),
      fileLog(new (std::nothrow) FileLog(config, platform)),
      performanceLog(new (std::nothrow) PerformanceLog(config, platform)),
      platform(platform) {}

LogCore::~LogCore() {
    // A host's threads may still log while the library unloads (a process exiting under
    // running threads). Under the lock no line is half written when the writers go, and the
    // cleared pointers turn later calls away instead of into freed memory. Writers hold a
    // pointer to the settings, so they go first.
    CriticalSectionGuard guard(lock);
    delete fileLog;
    fileLog = nullptr;
    delete performanceLog;
    performanceLog = nullptr;
    delete config;
    config = nullptr;
}

void LogCore::LoadOnce(void* self) {
    LogCore* core = static_cast<LogCore*>(self);
    core->config->Load(core->platform);
}

void LogCore::EnsureLoaded() {
    // The once flag makes latecomers wait for the first load to finish, so no thread ever reads
    // a half-filled record and the file is consulted once however many threads start together.
    loadOnce.Run(&LogCore::LoadOnce, this);
}

int LogCore::LogExV(const char16_t* sourceFile, const char16_t* function, int line,
                    VT_LOGLEVEL level, const char16_t* operation, const char16_t* format,
                    va_list args) {
    if (format == nullptr || format[0] == u'\0') return 0;
    if (config == nullptr) return 0;
    // Filtering before formatting spares dropped messages the allocation; Dispatch repeats the
    // test, so the outcome is the same as formatting first.
    EnsureLoaded();
    if (!config->Admits(level)) return 0;

    // "%s" with one text, what the managed class always sends, formats to that text itself:
    // it is passed on as it is, sparing a measuring pass, a copy and an allocation per line.
    if (format[0] == u'%' && format[1] == u's' && format[2] == u'\0') {
        const char16_t* text = va_arg(args, const char16_t*);
        return Dispatch(sourceFile, function, line, level, operation,
                        text != nullptr ? text : u"(null)");
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

int LogCore::IsEnabled(int level) {
    if (config == nullptr) return 0;
    EnsureLoaded();
    // The settings never change after the load, so reading them without the lock is safe.
    return config->Admits(level) && (config->fileOutput != 0 || config->debugOutput != 0) ? 1 : 0;
}

int LogCore::Dispatch(const char16_t* sourceFile, const char16_t* function, int line, int level,
                      const char16_t* operation, const char16_t* message) {
    if (config == nullptr) return 0;
    EnsureLoaded();
    if (!config->Admits(level)) return 0;

    CriticalSectionGuard guard(lock);
    if (config == nullptr) return 0;   // torn down while we waited
    if (operation != nullptr && operation[0] != u'\0') {
        if (performanceLog == nullptr) return 0;
        return performanceLog->WriteRecord(sourceFile, function, line, level, operation, message);
    }
    if (fileLog == nullptr) return 0;
    return fileLog->WriteRecord(sourceFile, function, line, level, message);
}

}  // namespace VTLogAdapter

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
    if (fileLog != nullptr) fileLog->Close();
    if (performanceLog != nullptr) performanceLog->Close();
}

void LogCore::PrepareFork() {
    // The load never takes `lock`, and a writer never waits for the load while holding it,
    // so this order cannot meet its reverse.
    loadOnce.Hold();
    lock.Enter();
}

void LogCore::ResumeInParent() {
    lock.Leave();
    loadOnce.Release();
}

void LogCore::ResetInChild() {
    // Only the forking thread lives on in the child, and it holds both locks: fresh ones
    // free any queue of threads that no longer exist.
    lock.ResetInChild();
    loadOnce.ResetInChild();
    if (closed) return;
    if (fileLog != nullptr) fileLog->ForgetAfterFork();
    if (performanceLog != nullptr) performanceLog->ForgetAfterFork();
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

int LogCore::Dispatch(const char16_t* sourceFile, const char16_t* function, int line, int level,
                      const char16_t* operation, const char16_t* message) {
    if (config == nullptr) return 0;
    EnsureLoaded();
    if (!config->Admits(level)) return 0;

    CriticalSectionGuard guard(lock);
    if (closed) return 0;   // closed at unload while we waited
    if (operation != nullptr && operation[0] != u'\0') {
        if (performanceLog == nullptr) return 0;
        return performanceLog->WriteRecord(sourceFile, function, line, level, operation, message);
    }
    if (fileLog == nullptr) return 0;
    return fileLog->WriteRecord(sourceFile, function, line, level, message);
}

}  // namespace VTLogAdapter

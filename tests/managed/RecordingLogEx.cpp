// Takes the place of the engine's LogEx in the test program.
#include "RecordingLogEx.h"

#include <atomic>
#include <cstdarg>
#include <mutex>

#include "VTLogAdapter.h"
#include "core/LogCore.h"

namespace VTLogAdapter {
namespace {

std::mutex guard;
std::vector<Testing::LogExCall> calls;

std::u16string Text(const char16_t* text) { return text != nullptr ? text : u""; }

}  // namespace

// What the test says, with the level folded in so that a C API passing on the wrong level
// shows: a negative level is never "enabled".
int LogIsEnabled(int level) { return Testing::logEnabled.load() && level >= 0 ? 1 : 0; }

int LogEx(const char16_t* sourceFile, const char16_t* function, int line, VT_LOGLEVEL level,
          const char16_t* operation, const char16_t* format, ...) {
    Testing::LogExCall call;
    call.sourceFile = Text(sourceFile);
    call.function = Text(function);
    call.line = line;
    call.level = level;
    call.operationIsNull = operation == nullptr;
    call.operation = Text(operation);
    call.format = Text(format);

    va_list args;
    va_start(args, format);
    const char16_t* buffer = va_arg(args, const char16_t*);
    va_end(args);
    call.text = Text(buffer);

    std::lock_guard<std::mutex> lock(guard);
    calls.push_back(call);
    return 1;
}

int LogEx(const char16_t* sourceFile, const char16_t* function, int line, VT_LOGLEVEL level,
          const char16_t* operation, const char16_t* format, const char16_t* text) {
    int (*variadic)(const char16_t*, const char16_t*, int, VT_LOGLEVEL, const char16_t*,
                    const char16_t*, ...) = LogEx;
    return variadic(sourceFile, function, line, level, operation, format, text);
}


namespace Testing {

std::atomic<bool> logEnabled{true};

std::vector<LogExCall> TakeLogExCalls() {
    std::lock_guard<std::mutex> lock(guard);
    std::vector<LogExCall> taken;
    taken.swap(calls);
    return taken;
}

}  // namespace Testing
}  // namespace VTLogAdapter

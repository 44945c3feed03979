// Takes the place of the engine's LogEx in the test program.
#include "RecordingLogEx.h"

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
    // The argument is the caller's whole message buffer, so all of it may be read here.
    call.bufferZeroFilled = buffer != nullptr;
    for (std::size_t i = call.text.size(); buffer != nullptr && i < VTLogNet::MessageCapacity;
         ++i) {
        if (buffer[i] != u'\0') call.bufferZeroFilled = false;
    }

    std::lock_guard<std::mutex> lock(guard);
    calls.push_back(call);
    return 1;
}

// A fixed answer the C API must hand back unchanged: WARN and above are "enabled".
int LogIsEnabled(int level) { return level >= VT_LOG_WARN ? 1 : 0; }

namespace Testing {

std::vector<LogExCall> TakeLogExCalls() {
    std::lock_guard<std::mutex> lock(guard);
    std::vector<LogExCall> taken;
    taken.swap(calls);
    return taken;
}

}  // namespace Testing
}  // namespace VTLogAdapter

// A stand-in for the engine's LogEx that records every call, so tests can check exactly what
// VTLogNet hands over. Its LogIsEnabled answers 1 for any level from 0 up while `logEnabled`
// is set, else 0.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "core/LogLevel.h"

namespace VTLogAdapter::Testing {

struct LogExCall {
    std::u16string sourceFile;
    std::u16string function;
    int line = 0;
    VT_LOGLEVEL level = VT_LOG_INFO;
    bool operationIsNull = false;
    std::u16string operation;
    std::u16string format;
    std::u16string text;          // the one variadic argument, read as UTF-16 text
};

// What the stand-in for LogIsEnabled answers (true unless a test says otherwise).
extern std::atomic<bool> logEnabled;

// Returns the calls recorded since the last call and forgets them. Thread-safe.
std::vector<LogExCall> TakeLogExCalls();

}  // namespace VTLogAdapter::Testing

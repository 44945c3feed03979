// Trace without an instance: the log's name comes with each call. The C API's VTLogNet_TraceTo,
// through which the .NET class writes without holding a native object, and so without a
// reference count taken and dropped around each call.
#pragma once

namespace VTLogAdapter {

// What VTLogNet(logName).Trace(...) writes: the name (null counts as empty) is cut as the
// constructor cuts it, the texts as Trace cuts them.
void TraceTo(const char16_t* logName, const char16_t* message);
void TraceTo(const char16_t* logName, const char16_t* message, const char16_t* parameter);

}  // namespace VTLogAdapter

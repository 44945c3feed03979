// Trace without an instance: the log's name comes with each call. For the C API, whose .NET
// class then holds no native object, and so pays for no reference count around each call.
#pragma once

namespace VTLogAdapter {

// What VTLogNet(logName).Trace(...) writes: the name (null counts as empty) is cut as the
// constructor cuts it, the texts as Trace cuts them.
void TraceTo(const char16_t* logName, const char16_t* message);
void TraceTo(const char16_t* logName, const char16_t* message, const char16_t* parameter);

}  // namespace VTLogAdapter

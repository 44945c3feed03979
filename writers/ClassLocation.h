// Where VTLogNet logs from: every line of the class names this source file and function.
// FormatLine recognises these very arrays by address: being constants, their text never
// changes, so a thread may keep the fields it built from them for its next line.
#pragma once

namespace VTLogAdapter {

// Relative and starting with a dot and the separator, so a log line shows the bare file name.
#if defined(_WIN32)
inline constexpr char16_t kClassSourceFile[] = u".\\VTLogAdapter.cpp";
#else
inline constexpr char16_t kClassSourceFile[] = u"./VTLogAdapter.cpp";
#endif
inline constexpr char16_t kClassFunction[] = u"VTLogAdapter::VTLogNet::Trace";

}  // namespace VTLogAdapter

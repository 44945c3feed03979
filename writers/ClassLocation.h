// Where VTLogNet logs from: every line of the class names this source file and function.
// FormatLine recognises these very arrays by address and prints their field from UTF-8 known
// at compile time, sparing each line two conversions and a search for the file name.
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

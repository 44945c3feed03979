// Pure rules for where log files go and what they are called: day folder names, the stem a
// numbered file name is built on, the numbered names themselves, and which name parts stay
// inside their folder. No I/O here.
#pragma once

#include <cstddef>

#include "config/ConfigLoader.h"
#include "platform/Platform.h"
#include "platform/TextConversion.h"

namespace VTLogAdapter {

// The platform's separator; Windows also takes '/', while on POSIX '\\' is an ordinary
// character of a file name.
constexpr bool IsPathSeparator(char c) {
    return c == kPathSeparator || (kPathSeparator == '\\' && c == '/');
}

// "%d-%02d-%02d" of the date, e.g. 7 December 2026 -> "2026-12-07". False when it does not fit
// `capacity` bytes (the buffer then holds an empty text).
bool FormatDayFolderName(const LocalTime& time, char* buffer, std::size_t capacity);

// Length of `path` without its extension: the text before the last '.' of the last path
// component. The first character is never taken for the point, and a point in a folder name
// never counts.
//   "/logs/trace.log" -> 11 ("/logs/trace")     "/logs/app.exe.dat" -> 13 ("/logs/app.exe")
//   "/home/john.doe/logs/x" -> 21 (whole)       ".hidden" -> 7 (whole)
std::size_t FileStemLength(const char* path);

// The file name with `number` for the stem `stem[0, stemLength)`: number 0 gives "stem.dat",
// any other "stem_<number>.dat". False when it would not fit `capacity` bytes.
//   ("/logs/trace", 0) -> "/logs/trace.dat"     ("/logs/trace", 12) -> "/logs/trace_12.dat"
bool FormatNumberedFileName(const char* stem, std::size_t stemLength, int number, char* buffer,
                            std::size_t capacity);

// True when `namePart`, joined to a folder, names something inside that folder: it is not
// empty and has no leading separator, no ".." component and no ':' (drive letters, streams).
//   "Login", "Auth.Step", "Auth/Login", "..x" -> true      "../x", "a/../b", "/x", "C:x" -> false
bool NameStaysInFolder(const char* namePart);

// The last component of a wide path: the text after its last kPathSeparator (only that one,
// unlike IsPathSeparator). The first character is never tested, so a text that only starts
// with a separator is kept whole.
//   "/opt/apps/app.exe" -> "app.exe"     "app.exe" -> "app.exe"     "/app.exe" -> "/app.exe"
const char16_t* LastPathComponent(const char16_t* path);

// True when two operation names are the same text, compared exactly (null counts as no name,
// equal only to another null). Inline: it runs for every line of an operation.
inline bool SameOperationName(const char16_t* a, const char16_t* b) {
    if (a == b) return true;
    if (a == nullptr || b == nullptr) return false;
    return SameUtf16Text(a, b);
}

// Joins up to three texts into `buffer`; false, with an empty buffer, when they do not fit.
bool JoinPath(char* buffer, std::size_t capacity, const char* first, const char* second,
              const char* third = "");

}  // namespace VTLogAdapter

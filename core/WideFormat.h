// printf-style formatting of UTF-16 text, following the Windows wide printf family: %s and %c
// take UTF-16 arguments, %hs/%hc narrow ones, %ls/%lc UTF-16 ones.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace VTLogAdapter {

// Formats into `buffer` (capacity in code units, NUL included) and returns the length the whole
// result has, excluding the NUL, even when it was cut to fit; -1 on a malformed format.
// `buffer` may be null when `capacity` is 0 (measuring).
int FormatWideV(char16_t* buffer, std::size_t capacity, const char16_t* format, va_list args);

// Formats into a new[]-allocated text of exactly the needed size; null on failure.
char16_t* FormatWideAllocV(const char16_t* format, va_list args);

}  // namespace VTLogAdapter

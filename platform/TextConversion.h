// UTF-16 to UTF-8 conversion into fixed buffers.
#pragma once

#include <cstddef>

namespace VTLogAdapter {

// Converts NUL-terminated UTF-16 `text` (null counts as empty) to UTF-8 in `buffer`, always
// NUL-terminated. When the text does not fit, it is cut before the first character that would
// not fit whole; a lone surrogate becomes U+FFFD. Returns the number of bytes written before
// the NUL. `capacity` 0 writes nothing and returns 0.
std::size_t Utf16ToUtf8(const char16_t* text, char* buffer, std::size_t capacity);

// How many code units of `text` (at most `maxUnits`) convert whole into at most `maxBytes`
// bytes of UTF-8; `bytes` receives their UTF-8 length. Shared by every platform's converter.
std::size_t Utf16PrefixFittingUtf8(const char16_t* text, std::size_t maxUnits,
                                   std::size_t maxBytes, std::size_t& bytes);

}  // namespace VTLogAdapter

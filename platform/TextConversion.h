// UTF-16 to UTF-8 conversion into fixed buffers.
#pragma once

#include <cstddef>

namespace VTLogAdapter {

// What a conversion does with the line breaks of the text.
enum class LineBreaks {
    // Copied like any other character.
    Verbatim,
    // Each break (CR LF, LF or CR alone) becomes LF and one tab, so text that spans lines in a
    // log file continues on lines that start with a tab, which no record does.
    // Example: u"a\r\nb\rc" converts to "a\n\tb\n\tc".
    Continued,
};

// Converts NUL-terminated UTF-16 `text` (null counts as empty) to UTF-8 in `buffer`, always
// NUL-terminated. When the text does not fit, it is cut before the first character (or whole
// LF and tab) that would not fit; a lone surrogate becomes U+FFFD. Returns the number of bytes
// written before the NUL. `capacity` 0 writes nothing and returns 0.
std::size_t Utf16ToUtf8(const char16_t* text, char* buffer, std::size_t capacity,
                        LineBreaks breaks = LineBreaks::Verbatim);

// The number of units of NUL-terminated `text` before its terminator, or `maxUnits` when
// there is none among its first `maxUnits`; nothing past those is read as text.
std::size_t Utf16Length(const char16_t* text, std::size_t maxUnits);

// Copies the units of NUL-terminated `text` before its terminator, at most `maxUnits`, to `out`
// and returns how many; nothing past those is read as text. `out` has room for `maxUnits` units,
// and those past the copied ones may be overwritten; no terminator is written. The two must not
// overlap.
std::size_t CopyUtf16(const char16_t* text, char16_t* out, std::size_t maxUnits);

// True when the NUL-terminated texts `a` and `b` hold the same units; nothing past the first
// difference or the terminator is read as text.
bool SameUtf16Text(const char16_t* a, const char16_t* b);

// How many code units of `text` (at most `maxUnits`) convert whole into at most `maxBytes`
// bytes of UTF-8 (line breaks verbatim); `bytes` receives their UTF-8 length.
std::size_t Utf16PrefixFittingUtf8(const char16_t* text, std::size_t maxUnits,
                                   std::size_t maxBytes, std::size_t& bytes);

}  // namespace VTLogAdapter

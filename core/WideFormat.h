// printf-style formatting of UTF-16 text, following the Windows wide printf family.
//
// Directives: %[flags][width][.precision][length]conversion, flags "-+ #0", width and precision
// as digits or '*' (a negative '*' width left-justifies, a negative '*' precision counts as
// none). Conversions d i u x X o c C s S p e E f F g G a A and "%%".
//
// Text arguments, as in the Windows wide functions:
//   %s %c %ls %lc %ws %wc %lS %lC %wS %wC  UTF-16 (const char16_t*, char16_t promoted to int)
//   %hs %hc %S %C %hS %hC                   narrow (const char*, char promoted to int)
// Narrow text is decoded as strict UTF-8 by the library's one decoder (Utf8Decode.h): each
// ill-formed part (overlong form, encoded surrogate, value past U+10FFFF, cut sequence) reads
// as U+FFFD, so the result is well-formed whatever bytes come in. A null string prints "(null)".
// Precision on a UTF-16 string counts code units and on a narrow string bytes; no more than
// that is ever read, so the text need not be terminated. A cut never splits a character: a
// surrogate pair or UTF-8 sequence that does not fit whole is left out. Width counts UTF-16
// units and pads with spaces; only numbers pad with zeros (flag 0).
//
// Length modifiers h hh l ll j z t I I32 I64 on integers read the type they name on the
// compiler that builds us (l is `long`, I is pointer-sized); L and w have no integer meaning
// and are refused. On floats L reads a long double, which is printed with double precision;
// other modifiers are ignored. %p prints 2 * sizeof(void*) upper-case hex digits, no prefix.
//
// Refused formats (result -1, nothing usable written): %n, which would write through an
// argument; an unknown conversion; a directive cut off by the end of the format; a width or
// precision beyond INT_MAX. The Windows functions would call the invalid-parameter handler
// here; a logger must not bring its process down instead.
//
// Only the first kMaxMessageUnits units of a result are kept (one fewer where the cut would
// split a surrogate pair); nothing past them is produced, so "%1000000000d" or "%.300000000e"
// cost no more than a short message. Both functions are thread-safe, never throw and never
// write outside the buffer they are given; formatting allocates nothing.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace VTLogAdapter {

// The longest message the engine keeps, in UTF-16 code units.
constexpr std::size_t kMaxMessageUnits = 2047;

// Formats into `buffer` (capacity in code units, NUL included) as much of the kept message as
// fits, and returns the kept message's length, excluding the NUL, even when the buffer holds
// less; -1 on a malformed format (the buffer then holds an empty text). `buffer` may be null
// when `capacity` is 0 (measuring).
// Examples: (buf, 8, u"%s=%03d", u"id", 7) writes u"id=007", returns 6;
//           (buf, 4, u"%s=%03d", u"id", 7) writes u"id=", returns 6;
//           (buf, 8, u"%5000d", 7) writes 7 blanks, returns 2047.
int FormatWideV(char16_t* buffer, std::size_t capacity, const char16_t* format,
                va_list args) noexcept;

// Formats the kept message into a new[]-allocated text of exactly its size; null on failure.
char16_t* FormatWideAllocV(const char16_t* format, va_list args) noexcept;

}  // namespace VTLogAdapter

// Decoding one UTF-16 character, and the portable converters built on it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace VTLogAdapter {

// Reads one character from `text` (at most `available` units, which is at least 1). Returns the
// units taken; `utf8Width` gets its UTF-8 length. A lone surrogate reads as U+FFFD.
inline std::size_t DecodeUtf16(const char16_t* text, std::size_t available, std::size_t& utf8Width,
                               std::uint32_t* codePointOut = nullptr) {
    std::uint32_t codePoint = text[0];
    std::size_t taken = 1;
    if (codePoint >= 0xD800 && codePoint <= 0xDBFF && available >= 2 && text[1] >= 0xDC00 &&
        text[1] <= 0xDFFF) {
        codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (text[1] - 0xDC00);
        taken = 2;
    } else if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
        codePoint = 0xFFFD;
    }
    utf8Width = codePoint < 0x80 ? 1 : codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
    if (codePointOut != nullptr) *codePointOut = codePoint;
    return taken;
}

// Writes the `width` (1 to 4) UTF-8 bytes of `codePoint` to `out`.
inline void EncodeCodePoint(std::uint32_t codePoint, std::size_t width, char* out) {
    unsigned char* dst = reinterpret_cast<unsigned char*>(out);
    switch (width) {
        case 1:
            dst[0] = static_cast<unsigned char>(codePoint);
            break;
        case 2:
            dst[0] = static_cast<unsigned char>(0xC0 | (codePoint >> 6));
            dst[1] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
            break;
        case 3:
            dst[0] = static_cast<unsigned char>(0xE0 | (codePoint >> 12));
            dst[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
            dst[2] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
            break;
        default:
            dst[0] = static_cast<unsigned char>(0xF0 | (codePoint >> 18));
            dst[1] = static_cast<unsigned char>(0x80 | ((codePoint >> 12) & 0x3F));
            dst[2] = static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F));
            dst[3] = static_cast<unsigned char>(0x80 | (codePoint & 0x3F));
            break;
    }
}

// Writes the UTF-8 form of the first `units` code units (which must end on a character
// boundary) to `out`, without a NUL; returns the bytes written.
std::size_t EncodeUtf16AsUtf8(const char16_t* text, std::size_t units, char* out);

// Converts `length` bytes of UTF-8 (invalid sequences become U+FFFD) into `buffer`, always
// NUL-terminated, cut at a character boundary. Returns the units written before the NUL.
std::size_t Utf8ToUtf16(const char* text, std::size_t length, char16_t* buffer,
                        std::size_t capacity);

}  // namespace VTLogAdapter

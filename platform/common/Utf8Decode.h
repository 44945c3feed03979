// The one UTF-8 and UTF-16 decoder of the library: every conversion, on every platform, reads
// characters through these functions, so all of them agree on what is valid.
#pragma once

#include <cstddef>
#include <cstdint>

namespace VTLogAdapter {

constexpr std::uint32_t kReplacementCharacter = 0xFFFD;
// What DecodeUtf8 reports for a sequence that is valid so far but runs past the bytes it may
// read; the caller decides whether that is an error (end of input) or a cut (a byte limit).
constexpr std::uint32_t kUtf8Incomplete = 0xFFFFFFFF;

// Reads one character from `text`, of which `available` bytes (at least 1) may be read; the
// reading stops at the first byte that cannot continue the sequence, so a NUL ends it too.
// Returns the bytes taken. Strict: an overlong form, an encoded surrogate, a value above
// U+10FFFF and a stray byte read as U+FFFD, one for each maximal ill-formed subpart (the lead
// byte and the continuation bytes that were still allowed after it), so the next character is
// never swallowed. Examples: "\xE0\x80\xAF" reads as three U+FFFD (E0 allows only A0..BF next),
// "\xC0\x80" as two, "\xE2\x82x" as one U+FFFD taking two bytes, then 'x'.
inline std::size_t DecodeUtf8(const unsigned char* text, std::size_t available,
                              std::uint32_t& codePoint) {
    const unsigned char lead = text[0];
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t need = 0;
    // The range the first continuation byte must fall in; it narrows for the leads whose
    // shortest forms, surrogates or values above U+10FFFF would otherwise be reachable.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        codePoint = lead & 0x0Fu;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        codePoint = lead & 0x07u;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        codePoint = kReplacementCharacter;
        return 1;
    }
    for (std::size_t k = 1; k <= need; ++k) {
        if (k >= available) {
            codePoint = kUtf8Incomplete;
            return k;
        }
        const unsigned char next = text[k];
        if (next < low || next > high) {
            codePoint = kReplacementCharacter;
            return k;
        }
        codePoint = (codePoint << 6) | (next & 0x3Fu);
        low = 0x80;
        high = 0xBF;
    }
    return need + 1;
}

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
        codePoint = kReplacementCharacter;
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

// Converts `length` bytes of UTF-8 into `buffer`, always NUL-terminated, cut before a character
// that does not fit whole; ill-formed input decodes as DecodeUtf8 reads it, and a sequence cut
// off by the end of the input is one U+FFFD. Returns the units written before the NUL.
// `capacity` 0 writes nothing.
std::size_t Utf8ToUtf16(const char* text, std::size_t length, char16_t* buffer,
                        std::size_t capacity);

}  // namespace VTLogAdapter

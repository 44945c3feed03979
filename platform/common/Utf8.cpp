// UTF-16 <-> UTF-8 conversion for every platform: one loop each way over the shared decoder.
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/HotPath.h"
#include "platform/TextConversion.h"
#include "platform/common/Utf8Decode.h"

namespace VTLogAdapter {
namespace {

// One comparison leaves out the terminator, line breaks and everything wider than ASCII.
bool IsPrintableAscii(char16_t unit) { return static_cast<char16_t>(unit - 0x20) < 0x5F; }

#if defined(__SSE2__)
// The functions below take eight or 16 units at a time. A text's length is not known
// beforehand, so they read blocks of 16 bytes, or pairs of them, only where these cannot cross
// a page, aligned to their size or checked by StaysInPage: the block that holds the terminator
// is then as readable as the terminator itself (the C library's strlen reads the same way).
// What lies past the terminator, or before the text, is read but never used; the sanitizers
// would count that read as out of bounds, so they leave these functions out.

// True when the `kBytes` from `in` lie within one page.
template <std::uintptr_t kBytes>
bool StaysInPage(const char16_t* in) {
    constexpr std::uintptr_t kPageSize = 4096;
    return (reinterpret_cast<std::uintptr_t>(in) & (kPageSize - 1)) <= kPageSize - kBytes;
}

// The index of the lowest bit set in `mask`, which is not 0.
inline __attribute__((always_inline)) std::size_t LowestBit(unsigned mask) {
    return static_cast<unsigned>(__builtin_ctz(mask));
}

// A byte mask (as _mm_movemask_epi8 gives it) of the units in [first, first + count).
inline __attribute__((always_inline)) unsigned UnitsInRange(__m128i units, short first,
                                                            short count) {
    // SSE2 compares signed: flipping the top bit of both sides makes it an unsigned test.
    const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
    const __m128i shifted = _mm_xor_si128(_mm_sub_epi16(units, _mm_set1_epi16(first)), flip);
    const __m128i limit = _mm_set1_epi16(static_cast<short>(0x8000 + count));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmplt_epi16(shifted, limit)));
}

// Stores the 16 units `low` then `high` as bytes at `out` and returns a bit mask, one bit a
// unit, of those that are printable ASCII. The room always holds all 16 bytes; those from the
// first other unit on are overwritten by what follows or lie past the end of the text.
inline __attribute__((always_inline)) unsigned StoreAsciiBytes(__m128i low, __m128i high,
                                                               char* out) {
    // Saturation turns each unit from 0x100 into 0xFF and each from 0x8000 into 0, neither
    // printable, so the bytes can be tested in place of the units. Compared signed, once ' '
    // moves to -128, the printable bytes are those below -33.
    const __m128i bytes = _mm_packus_epi16(low, high);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    const __m128i shifted = _mm_add_epi8(bytes, _mm_set1_epi8(0x80 - 0x20));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmplt_epi8(shifted, _mm_set1_epi8(-0x80 + 0x5F))));
}

// Printable ASCII from the 16 units at `in`, which is even and whose 32 bytes stay in a page,
// to `out`, with room for 16: true, with `copied` set to the units up to the next boundary of
// 32 bytes, when all of them are printable; else false, with `copied` set to how many are.
__attribute__((no_sanitize("address", "thread")))
VTLOG_HOT
bool CopyFirstPrintablePair(const char16_t* in, char* out, std::size_t& copied) {
    const unsigned printable =
        StoreAsciiBytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)),
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8)), out);
    if (printable != 0xFFFFu) {
        copied = LowestBit(~printable);
        return false;
    }
    // The units up to the boundary were just copied; those after it are copied again, alike.
    copied = (32 - (reinterpret_cast<std::uintptr_t>(in) & 31)) / 2;
    return true;
}

// Printable ASCII from `in + copied`, aligned to 32 bytes, 16 units at a time while `room`
// holds them: true once a unit that is not printable ASCII is met, which `copied` then
// indexes; false when fewer than 16 units of room are left.
__attribute__((no_sanitize("address", "thread")))
VTLOG_HOT
bool CopyPrintableAsciiPairs(const char16_t* in, char* out, std::size_t room,
                             std::size_t& copied) {
    if (room < 16) return false;
    const std::size_t last = room - 16;  // the last start of a pair that fits the room
    while (copied <= last) {
        const __m128i* pair = reinterpret_cast<const __m128i*>(in + copied);
        const unsigned printable =
            StoreAsciiBytes(_mm_load_si128(pair), _mm_load_si128(pair + 1), out + copied);
        if (printable != 0xFFFFu) {
            copied += LowestBit(~printable);
            return true;
        }
        copied += 16;
    }
    return false;
}

// A bit mask, one bit a unit, of the NULs among the 16 units at `pair`, aligned to 32 bytes.
inline __attribute__((always_inline)) unsigned NulsInPair(const __m128i* pair) {
    // Signed saturation makes a byte 0 only of a unit 0, so one byte comparison tests both.
    const __m128i bytes = _mm_packs_epi16(_mm_load_si128(pair), _mm_load_si128(pair + 1));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_setzero_si128())));
}

// Utf16Length of the text at `address`, which is even, for `maxUnits` above 0. It reads aligned
// pairs of blocks from the boundary at or before the text, where an aligned 32 bytes holding
// one unit of the text lie in the page of that unit; the units before the text are left out.
__attribute__((no_sanitize("address", "thread")))
VTLOG_HOT
std::size_t FindTerminatorInPairs(std::uintptr_t address, std::size_t maxUnits) {
    const unsigned before = static_cast<unsigned>(address & 31) / 2;
    // The index in the text of the pair's first unit: below zero, wrapped, for the first pair.
    std::size_t start = 0 - static_cast<std::size_t>(before);
    unsigned nul = NulsInPair(reinterpret_cast<const __m128i*>(address + start * 2)) >> before
                   << before;
    while (nul == 0) {
        start += 16;
        if (start >= maxUnits) return maxUnits;
        nul = NulsInPair(reinterpret_cast<const __m128i*>(address + start * 2));
    }
    const std::size_t length = start + LowestBit(nul);
    return length < maxUnits ? length : maxUnits;
}

// Eight characters of two bytes each (U+0080 to U+07FF) from `in` as 16 bytes of UTF-8 at
// `out`; false, with nothing written, unless all eight are such. `in` need not be aligned, but
// the block must lie within one page (StaysInPage<16>).
__attribute__((no_sanitize("address", "thread")))
VTLOG_HOT
bool StoreTwoByteBlock(const char16_t* in, char* out) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    if (UnitsInRange(units, 0x80, 0x780) != 0xFFFFu) return false;
    // Per unit, little-endian: the lead byte 110xxxxx, then the trail byte 10xxxxxx.
    const __m128i lead = _mm_or_si128(_mm_srli_epi16(units, 6), _mm_set1_epi16(0xC0));
    const __m128i low = _mm_and_si128(units, _mm_set1_epi16(0x3F));
    const __m128i trail =
        _mm_or_si128(_mm_slli_epi16(low, 8), _mm_set1_epi16(static_cast<short>(0x8000)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(lead, trail));
    return true;
}

// CopyUtf16 eight units at a time while the text's blocks stay in their page and `out` has room
// for a whole block; how far it went is left in `index`. True once it copied the terminator's
// block, with `index` then the text's length. Left out by the sanitizers like the reads above,
// so its stores are bounded by `maxUnits` alone, which the tests check with units after it.
__attribute__((no_sanitize("address", "thread")))
VTLOG_HOT
bool CopyBlocks(const char16_t* text, char16_t* out, std::size_t maxUnits, std::size_t& index) {
    const __m128i zero = _mm_setzero_si128();
    while (index + 8 <= maxUnits && StaysInPage<16>(text + index)) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + index));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + index), units);
        const unsigned ends =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(units, zero)));
        if (ends != 0) {
            index += LowestBit(ends) / 2;
            return true;
        }
        index += 8;
    }
    return false;
}

// SameUtf16Text eight units at a time while the blocks of both texts stay in their pages; how
// far they went is left in `index`. 1 or 0 once a difference or the shared terminator decided,
// -1 when a block would cross a page first.
__attribute__((no_sanitize("address", "thread")))
VTLOG_HOT
int CompareBlocks(const char16_t* a, const char16_t* b, std::size_t& index) {
    const __m128i zero = _mm_setzero_si128();
    while (StaysInPage<16>(a + index) && StaysInPage<16>(b + index)) {
        const __m128i left = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + index));
        const __m128i right = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + index));
        const unsigned differ =
            ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(left, right))) & 0xFFFFu;
        const unsigned ends =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(left, zero)));
        // The first unit that differs or ends `a` decides: a terminator both have before any
        // difference means the same text.
        if ((differ | ends) != 0) return (differ >> LowestBit(differ | ends) & 1u) != 0 ? 0 : 1;
        index += 8;
    }
    return -1;
}
#endif

// Copies the printable ASCII that starts `in`, at most `room` units, and returns how many.
// Outside the blocks a unit is read only once the one before it proved not to be the
// terminator.
VTLOG_HOT
std::size_t CopyPrintableAscii(const char16_t* in, char* out, std::size_t room) {
    std::size_t copied = 0;
#if defined(__SSE2__)
    // The first pair is read where it lies when it can be; else, near the end of a page or
    // with little room, unit by unit up to a boundary (an odd address never meets one).
    if (room >= 16 && (reinterpret_cast<std::uintptr_t>(in) & 1) == 0 && StaysInPage<32>(in)) {
        if (!CopyFirstPrintablePair(in, out, copied)) return copied;
    } else {
        while ((reinterpret_cast<std::uintptr_t>(in + copied) & 31) != 0) {
            if (copied == room || !IsPrintableAscii(in[copied])) return copied;
            out[copied] = static_cast<char>(in[copied]);
            ++copied;
        }
    }
    if (CopyPrintableAsciiPairs(in, out, room, copied)) return copied;
#endif
    while (copied < room && IsPrintableAscii(in[copied])) {
        out[copied] = static_cast<char>(in[copied]);
        ++copied;
    }
    return copied;
}

// Runs for every text field of every line, so ASCII, where the line breaks are, is looked at
// first and the full decoder only runs for the rest.
template <LineBreaks kBreaks>
VTLOG_HOT
std::size_t ConvertUtf16ToUtf8(const char16_t* text, char* buffer, std::size_t room) {
    std::size_t written = 0;
    std::size_t index = 0;
    for (;;) {
        // Printable ASCII, nearly every unit of a line, is copied by these loops alone.
        const std::size_t copied =
            CopyPrintableAscii(text + index, buffer + written, room - written);
        written += copied;
        index += copied;
        const char16_t unit = text[index];
        if (unit == u'\0') break;
        if (unit < 0x80) {
            if (kBreaks == LineBreaks::Continued && (unit == u'\n' || unit == u'\r')) {
                if (written + 2 > room) break;
                buffer[written++] = '\n';
                buffer[written++] = '\t';
                index += unit == u'\r' && text[index + 1] == u'\n' ? 2 : 1;
                continue;
            }
            if (written == room) break;
            buffer[written++] = static_cast<char>(unit);
            ++index;
            continue;
        }
        if (unit < 0x800) {
            // Text in a script of two-byte characters (Cyrillic, Greek, Hebrew, Arabic...)
            // tends to come in runs, so a run is taken eight at a time where it can be (reads
            // within a page, as the ASCII blocks do), and in one loop.
#if defined(__SSE2__)
            while (written + 16 <= room && StaysInPage<16>(text + index) &&
                   StoreTwoByteBlock(text + index, buffer + written)) {
                index += 8;
                written += 16;
            }
            if (text[index] < 0x80 || text[index] >= 0x800) continue;
#endif
            char16_t next = text[index];
            do {
                if (written + 2 > room) return written;
                buffer[written++] = static_cast<char>(0xC0 | (next >> 6));
                buffer[written++] = static_cast<char>(0x80 | (next & 0x3F));
                next = text[++index];
            } while (next >= 0x80 && next < 0x800);
            continue;
        }
        if (unit < 0xD800 || unit > 0xDFFF) {
            if (written + 3 > room) break;
            buffer[written++] = static_cast<char>(0xE0 | (unit >> 12));
            buffer[written++] = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            buffer[written++] = static_cast<char>(0x80 | (unit & 0x3F));
            ++index;
            continue;
        }
        std::size_t width = 0;
        std::uint32_t codePoint = 0;
        // Two units are always readable here: a high surrogate is followed at least by the
        // terminating NUL.
        const std::size_t taken = DecodeUtf16(text + index, 2, width, &codePoint);
        if (written + width > room) break;
        EncodeCodePoint(codePoint, width, buffer + written);
        written += width;
        index += taken;
    }
    return written;
}

}  // namespace

VTLOG_HOT
std::size_t Utf16ToUtf8(const char16_t* text, char* buffer, std::size_t capacity,
                        LineBreaks breaks) {
    if (capacity == 0) return 0;
    std::size_t written = 0;
    if (text != nullptr) {
        written = breaks == LineBreaks::Continued
                      ? ConvertUtf16ToUtf8<LineBreaks::Continued>(text, buffer, capacity - 1)
                      : ConvertUtf16ToUtf8<LineBreaks::Verbatim>(text, buffer, capacity - 1);
    }
    buffer[written] = '\0';
    return written;
}

VTLOG_HOT
std::size_t Utf16Length(const char16_t* text, std::size_t maxUnits) {
#if defined(__SSE2__)
    // An odd address splits units across blocks: those texts, and the empty bound, which may
    // not allow a single read, go unit by unit.
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(text);
    if ((address & 1) == 0 && maxUnits != 0) return FindTerminatorInPairs(address, maxUnits);
#endif
    std::size_t units = 0;
    while (units < maxUnits && text[units] != u'\0') ++units;
    return units;
}

VTLOG_HOT
std::size_t CopyUtf16(const char16_t* text, char16_t* out, std::size_t maxUnits) {
    std::size_t index = 0;
#if defined(__SSE2__)
    // Blocks while a block stays in its page; near a page's edge one unit at a time until the
    // next block does (at most seven), then blocks again; the room's last units, fewer than a
    // block, one by one.
    while (!CopyBlocks(text, out, maxUnits, index)) {
        if (index + 8 > maxUnits) break;
        if (text[index] == u'\0') return index;
        out[index] = text[index];
        ++index;
    }
    if (index + 8 <= maxUnits) return index;
#endif
    while (index < maxUnits && text[index] != u'\0') {
        out[index] = text[index];
        ++index;
    }
    return index;
}

VTLOG_HOT
bool SameUtf16Text(const char16_t* a, const char16_t* b) {
    std::size_t index = 0;
#if defined(__SSE2__)
    // A block is read only once every unit before it matched and ended neither text.
    const int decided = CompareBlocks(a, b, index);
    if (decided >= 0) return decided != 0;
#endif
    while (a[index] != u'\0' && a[index] == b[index]) ++index;
    return a[index] == b[index];
}

std::size_t Utf16PrefixFittingUtf8(const char16_t* text, std::size_t maxUnits,
                                   std::size_t maxBytes, std::size_t& bytes) {
    std::size_t units = 0;
    bytes = 0;
    if (text == nullptr) return 0;
    while (units < maxUnits && text[units] != u'\0') {
        std::size_t width = 0;
        const std::size_t taken = DecodeUtf16(text + units, maxUnits - units, width);
        if (bytes + width > maxBytes) break;
        bytes += width;
        units += taken;
    }
    return units;
}

std::size_t Utf8ToUtf16(const char* text, std::size_t length, char16_t* buffer,
                        std::size_t capacity) {
    if (capacity == 0) return 0;
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
    std::size_t index = 0;
    std::size_t written = 0;
    while (index < length) {
        std::uint32_t codePoint = 0;
        const std::size_t taken = DecodeUtf8(in + index, length - index, codePoint);
        if (codePoint == kUtf8Incomplete) codePoint = kReplacementCharacter;
        const std::size_t units = codePoint >= 0x10000 ? 2 : 1;
        if (written + units + 1 > capacity) break;
        if (units == 2) {
            codePoint -= 0x10000;
            buffer[written++] = static_cast<char16_t>(0xD800 + (codePoint >> 10));
            buffer[written++] = static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
        } else {
            buffer[written++] = static_cast<char16_t>(codePoint);
        }
        index += taken;
    }
    buffer[written] = u'\0';
    return written;
}

}  // namespace VTLogAdapter

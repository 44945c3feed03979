// UTF-16 <-> UTF-8 conversion for every platform: one loop each way over the shared decoder.
#include <cstdint>

#include "platform/TextConversion.h"
#include "platform/common/Utf8Decode.h"

namespace VTLogAdapter {
namespace {

// One comparison leaves out the terminator, line breaks and everything wider than ASCII.
bool IsPrintableAscii(char16_t unit) { return static_cast<char16_t>(unit - 0x20) < 0x5F; }

// Copies the printable ASCII that starts `in`, at most `room` units, and returns how many:
// four a round with one bound test. A unit is read only once the one before it proved not to
// be the terminator, so nothing past the text is touched.
std::size_t CopyPrintableAscii(const char16_t* in, char* out, std::size_t room) {
    std::size_t copied = 0;
    while (copied + 4 <= room) {
        if (!IsPrintableAscii(in[copied])) return copied;
        out[copied] = static_cast<char>(in[copied]);
        if (!IsPrintableAscii(in[copied + 1])) return copied + 1;
        out[copied + 1] = static_cast<char>(in[copied + 1]);
        if (!IsPrintableAscii(in[copied + 2])) return copied + 2;
        out[copied + 2] = static_cast<char>(in[copied + 2]);
        if (!IsPrintableAscii(in[copied + 3])) return copied + 3;
        out[copied + 3] = static_cast<char>(in[copied + 3]);
        copied += 4;
    }
    while (copied < room && IsPrintableAscii(in[copied])) {
        out[copied] = static_cast<char>(in[copied]);
        ++copied;
    }
    return copied;
}

// Runs for every text field of every line, so ASCII, where the line breaks are, is looked at
// first and the full decoder only runs for the rest.
template <LineBreaks kBreaks>
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
            if (written + 2 > room) break;
            buffer[written++] = static_cast<char>(0xC0 | (unit >> 6));
            buffer[written++] = static_cast<char>(0x80 | (unit & 0x3F));
            ++index;
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

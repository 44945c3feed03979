// Portable UTF-16 measuring and conversion, shared by every platform's converter.
#include <cstdint>

#include "platform/TextConversion.h"
#include "platform/common/Utf8Decode.h"

namespace VTLogAdapter {

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

std::size_t EncodeUtf16AsUtf8(const char16_t* text, std::size_t units, char* out) {
    std::size_t written = 0;
    std::size_t index = 0;
    while (index < units) {
        std::size_t width = 0;
        std::uint32_t codePoint = 0;
        index += DecodeUtf16(text + index, units - index, width, &codePoint);
        EncodeCodePoint(codePoint, width, out + written);
        written += width;
    }
    return written;
}

std::size_t Utf8ToUtf16(const char* text, std::size_t length, char16_t* buffer,
                        std::size_t capacity) {
    if (capacity == 0) return 0;
    const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
    std::size_t index = 0;
    std::size_t written = 0;
    while (index < length) {
        std::uint32_t codePoint = 0xFFFD;
        std::size_t need = 0;
        const unsigned char lead = in[index];
        if (lead < 0x80) { codePoint = lead; need = 0; }
        else if ((lead & 0xE0) == 0xC0) { codePoint = lead & 0x1F; need = 1; }
        else if ((lead & 0xF0) == 0xE0) { codePoint = lead & 0x0F; need = 2; }
        else if ((lead & 0xF8) == 0xF0) { codePoint = lead & 0x07; need = 3; }
        else { need = 0; codePoint = 0xFFFD; }
        std::size_t consumed = 1;
        bool valid = lead < 0x80 || need > 0;
        for (std::size_t k = 1; valid && k <= need; ++k) {
            if (index + k >= length || (in[index + k] & 0xC0) != 0x80) { valid = false; break; }
            codePoint = (codePoint << 6) | (in[index + k] & 0x3F);
            consumed = k + 1;
        }
        if (!valid || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            codePoint = 0xFFFD;
        }
        index += consumed;
        const std::size_t units = codePoint >= 0x10000 ? 2 : 1;
        if (written + units + 1 > capacity) break;
        if (units == 2) {
            codePoint -= 0x10000;
            buffer[written++] = static_cast<char16_t>(0xD800 + (codePoint >> 10));
            buffer[written++] = static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF));
        } else {
            buffer[written++] = static_cast<char16_t>(codePoint);
        }
    }
    buffer[written] = u'\0';
    return written;
}

}  // namespace VTLogAdapter

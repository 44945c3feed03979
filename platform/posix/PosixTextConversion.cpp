// UTF-16 to UTF-8 on POSIX, in one pass: this runs for every field of every line.
#include <cstdint>

#include "platform/TextConversion.h"
#include "platform/common/Utf8Decode.h"

namespace VTLogAdapter {

std::size_t Utf16ToUtf8(const char16_t* text, char* buffer, std::size_t capacity) {
    if (capacity == 0) return 0;
    std::size_t written = 0;
    if (text != nullptr) {
        const std::size_t room = capacity - 1;
        for (std::size_t index = 0; text[index] != u'\0';) {
            std::size_t width = 0;
            std::uint32_t codePoint = 0;
            // Two units are always readable here: a high surrogate is followed at least by
            // the terminating NUL.
            const std::size_t taken = DecodeUtf16(text + index, 2, width, &codePoint);
            if (written + width > room) break;
            EncodeCodePoint(codePoint, width, buffer + written);
            written += width;
            index += taken;
        }
    }
    buffer[written] = '\0';
    return written;
}

}  // namespace VTLogAdapter

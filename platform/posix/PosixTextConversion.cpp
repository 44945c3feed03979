// UTF-16 to UTF-8 on POSIX: the portable converter does all the work.
#include "platform/TextConversion.h"
#include "platform/common/Utf8Decode.h"

namespace VTLogAdapter {

std::size_t Utf16ToUtf8(const char16_t* text, char* buffer, std::size_t capacity) {
    if (capacity == 0) return 0;
    std::size_t bytes = 0;
    const std::size_t units = Utf16PrefixFittingUtf8(text, static_cast<std::size_t>(-1),
                                                     capacity - 1, bytes);
    EncodeUtf16AsUtf8(text, units, buffer);
    buffer[bytes] = '\0';
    return bytes;
}

}  // namespace VTLogAdapter

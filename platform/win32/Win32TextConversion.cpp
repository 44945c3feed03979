// UTF-16 to UTF-8 on Windows with WideCharToMultiByte, the cut computed by the portable
// measure so it falls on a character boundary.
#include <windows.h>

#include "platform/TextConversion.h"
#include "platform/common/Utf8Decode.h"

namespace VTLogAdapter {

std::size_t Utf16ToUtf8(const char16_t* text, char* buffer, std::size_t capacity) {
    if (capacity == 0) return 0;
    std::size_t bytes = 0;
    const std::size_t units = Utf16PrefixFittingUtf8(text, static_cast<std::size_t>(-1),
                                                     capacity - 1, bytes);
    // Windows (since Vista) and Wine write U+FFFD for a lone surrogate, as the measure assumes.
    // A system that disagrees on the length (older ones drop such units or encode them as they
    // are) gets the portable encoder instead, so the text always ends where it was measured.
    if (units > 0 && units <= 0x7FFFFFFF && bytes <= 0x7FFFFFFF) {
        const int written = WideCharToMultiByte(
            CP_UTF8, 0, reinterpret_cast<const wchar_t*>(text), static_cast<int>(units), buffer,
            static_cast<int>(bytes), nullptr, nullptr);
        if (written >= 0 && static_cast<std::size_t>(written) == bytes) {
            buffer[bytes] = '\0';
            return bytes;
        }
    }
    EncodeUtf16AsUtf8(text, units, buffer);
    buffer[bytes] = '\0';
    return bytes;
}

}  // namespace VTLogAdapter

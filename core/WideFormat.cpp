// Wide printf-style formatting (placeholder until the formatter lands).
#include "core/WideFormat.h"

#include <new>

namespace VTLogAdapter {

int FormatWideV(char16_t* buffer, std::size_t capacity, const char16_t* format, va_list) {
    std::size_t length = 0;
    while (format[length] != u'\0') ++length;
    if (capacity > 0) {
        std::size_t copy = length < capacity - 1 ? length : capacity - 1;
        for (std::size_t i = 0; i < copy; ++i) buffer[i] = format[i];
        buffer[copy] = u'\0';
    }
    return static_cast<int>(length);
}

char16_t* FormatWideAllocV(const char16_t* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    const int length = FormatWideV(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) return nullptr;
    char16_t* text = new (std::nothrow) char16_t[static_cast<std::size_t>(length) + 1];
    if (text == nullptr) return nullptr;
    FormatWideV(text, static_cast<std::size_t>(length) + 1, format, args);
    return text;
}

}  // namespace VTLogAdapter

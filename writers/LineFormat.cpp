// FormatLine (placeholder until the line format lands).
#include "writers/LogWriterBase.h"

namespace VTLogAdapter {

int LogWriterBase::FormatLine(char* buffer, const char16_t*, const char16_t*, const char16_t*,
                              int, int, const LocalTime&) const {
    buffer[0] = '\0';
    return 1;
}

}  // namespace VTLogAdapter

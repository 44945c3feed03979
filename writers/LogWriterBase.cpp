// Writer base (placeholder until the writers land).
#include "writers/LogWriterBase.h"

#include <cstring>

namespace VTLogAdapter {

LogWriterBase::LogWriterBase(Platform& platform)
    : platform(platform), currentDay(), processIdentifier(platform.GetCurrentProcessId()),
      moduleFileName(), sessionTag(), fileMutex(platform.CreateFileMutex()) {}

LogWriterBase::~LogWriterBase() {
    if (fileMutex != nullptr) platform.CloseFileMutex(fileMutex);
    fileMutex = nullptr;
}

int LogWriterBase::FormatLine(char* buffer, const char16_t*, const char16_t*, const char16_t*,
                              int, int, const LocalTime&) const {
    buffer[0] = '\0';
    return 1;
}

}  // namespace VTLogAdapter

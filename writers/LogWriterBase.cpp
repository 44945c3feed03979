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


}  // namespace VTLogAdapter

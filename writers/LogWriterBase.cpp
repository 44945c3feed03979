// The writer base's identity (process, executable, session) and its file mutex.
#include "writers/LogWriterBase.h"

#include <cstdio>

#include "config/ConfigLoader.h"
#include "platform/TextConversion.h"

namespace VTLogAdapter {

LogWriterBase::LogWriterBase(Platform& platform)
    : platform(platform),
      currentDay(),
      processIdentifier(platform.GetCurrentProcessId()),
      moduleFileName(),
      sessionTag(),
      fileMutex(nullptr) {
    char16_t executable[kPathCapacity] = {};
    std::size_t length = platform.GetExecutablePath(executable, kPathCapacity);
    if (length >= kPathCapacity) length = kPathCapacity - 1;
    executable[length] = u'\0';
    // The first character is never taken for the separator, so "\app.exe" stays whole.
    std::size_t start = 0;
    for (std::size_t i = length; i-- > 1;) {
        if (executable[i] == static_cast<char16_t>(kPathSeparator)) {
            start = i + 1;
            break;
        }
    }
    Utf16ToUtf8(executable + start, moduleFileName, sizeof moduleFileName);

    std::uint32_t session = 0;
    if (!platform.ProcessIdToSessionId(processIdentifier, session)) session = 0;
    const unsigned number = session;
    if (platform.IsRemoteSession()) {
        std::snprintf(sessionTag, sizeof sessionTag, " SR(%1u) ", number);
    } else {
        std::snprintf(sessionTag, sizeof sessionTag, " SL(%1u) ", number);
    }

    fileMutex = platform.CreateFileMutex();
}

LogWriterBase::~LogWriterBase() { CloseFileMutex(); }

void LogWriterBase::CloseFileMutex() {
    if (fileMutex != nullptr) platform.CloseFileMutex(fileMutex);
    fileMutex = nullptr;
}

}  // namespace VTLogAdapter

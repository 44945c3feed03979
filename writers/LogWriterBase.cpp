// The writer base's identity (process, executable, session) and its file mutex.
#include "writers/LogWriterBase.h"

#include <cstdio>

#include "platform/TextConversion.h"
#include "writers/FileNaming.h"

namespace VTLogAdapter {

LogWriterBase::LogWriterBase(Platform& platform)
    : platform(platform),
      currentDay(),
      processIdentifier(platform.GetCurrentProcessId()),
      moduleFileName(),
      moduleNameField(),
      sessionTag(),
      fileMutex(nullptr) {
    char16_t executable[kPathCapacity] = {};
    std::size_t length = platform.GetExecutablePath(executable, kPathCapacity);
    if (length >= kPathCapacity) length = kPathCapacity - 1;
    executable[length] = u'\0';
    const char16_t* name = LastPathComponent(executable);
    Utf16ToUtf8(name, moduleFileName, sizeof moduleFileName);
    Utf16ToUtf8(name, moduleNameField, sizeof moduleNameField, LineBreaks::Continued);

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

void LogWriterBase::WriteDebugOutput(const LineToWrite* const* lines, std::size_t count) {
    if (config == nullptr || config->debugOutput == 0) return;
    for (std::size_t i = 0; i < count; ++i) platform.WriteDebugOutput(lines[i]->text);
}

void LogWriterBase::RefreshIdentity() { processIdentifier = platform.GetCurrentProcessId(); }

void LogWriterBase::CloseFileMutex() {
    if (fileMutex != nullptr) platform.CloseFileMutex(fileMutex);
    fileMutex = nullptr;
}

}  // namespace VTLogAdapter

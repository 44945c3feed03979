// The writer base's identity (process, executable, session) and its file mutex.
#include "writers/LogWriterBase.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/HotPath.h"
#include "platform/TextConversion.h"
#include "writers/FileNaming.h"

namespace VTLogAdapter {

LogWriterBase::LogWriterBase(Platform& platform)
    : platform(platform),
      currentDay(),
      moduleFileName(),
      moduleNameField(),
      sessionTag(),
      fileMutex(nullptr),
      batch(new (std::nothrow) char[kBatchCapacity]) {
    SetProcessIdentifier(platform.GetCurrentProcessId());
    char16_t executable[kPathCapacity] = {};
    std::size_t length = platform.GetExecutablePath(executable, kPathCapacity);
    if (length >= kPathCapacity) length = kPathCapacity - 1;
    executable[length] = u'\0';
    const char16_t* name = LastPathComponent(executable);
    Utf16ToUtf8(name, moduleFileName, sizeof moduleFileName);
    char field[kPathCapacity];
    Utf16ToUtf8(name, field, sizeof field, LineBreaks::Continued);
    SetModuleNameField(field);

    std::uint32_t session = 0;
    if (!platform.ProcessIdToSessionId(processIdentifier, session)) session = 0;
    const unsigned number = session;
    char tag[kPathCapacity];
    std::snprintf(tag, sizeof tag, platform.IsRemoteSession() ? " SR(%1u) " : " SL(%1u) ",
                  number);
    SetSessionTag(tag);

    fileMutex = platform.CreateFileMutex();
}

LogWriterBase::~LogWriterBase() { CloseFileMutex(); }

bool LogWriterBase::MakeNamePart(char*) const { return false; }

VTLOG_HOT
void LogWriterBase::WriteDebugOutput(const LineToWrite* const* lines, std::size_t count) {
    if (config == nullptr || config->debugOutput == 0) return;
    for (std::size_t i = 0; i < count; ++i) platform.WriteDebugOutput(lines[i]->text);
}

void LogWriterBase::RefreshIdentity() { SetProcessIdentifier(platform.GetCurrentProcessId()); }

namespace {

std::uint64_t NextIdentityNumber() {
    static std::atomic<std::uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

}  // namespace

void LogWriterBase::SetProcessIdentifier(std::uint32_t identifier) {
    identityNumber = NextIdentityNumber();
    processIdentifier = identifier;
    // Printed as "%d" prints it, like every other number of the line.
    const int printed = std::snprintf(processIdField, sizeof processIdField, "PID=%d",
                                      static_cast<int>(identifier));
    processIdLength = printed > 0 ? static_cast<std::size_t>(printed) : 0;
}

void LogWriterBase::SetModuleNameField(const char* field) {
    identityNumber = NextIdentityNumber();
    moduleNameLength = ::strnlen(field, sizeof moduleNameField - 1);
    std::memcpy(moduleNameField, field, moduleNameLength);
    moduleNameField[moduleNameLength] = '\0';
}

void LogWriterBase::SetSessionTag(const char* tag) {
    identityNumber = NextIdentityNumber();
    sessionTagLength = ::strnlen(tag, sizeof sessionTag - 1);
    std::memcpy(sessionTag, tag, sessionTagLength);
    sessionTag[sessionTagLength] = '\0';
}

void LogWriterBase::CloseFileMutex() {
    if (fileMutex != nullptr) platform.CloseFileMutex(fileMutex);
    fileMutex = nullptr;
}

}  // namespace VTLogAdapter

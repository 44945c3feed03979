#include "tests/support/FakePlatform.h"

#include <algorithm>
#include <cstring>

#include "config/ConfigLoader.h"

namespace VTLogAdapter::Testing {

namespace {
int fakeMutexToken;

bool CopyOut(const std::string& text, char* buffer, std::size_t capacity) {
    if (text.size() + 1 > capacity) return false;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}
}  // namespace

FakePlatform::FakePlatform() {
    SetTime(2026, 12, 7, 14, 3, 7, 45);
    specialFolders[SpecialFolder::CommonAppData] = "/fake/common-appdata";
    specialFolders[SpecialFolder::CommonProgramFiles] = "/fake/common-files";
    specialFolders[SpecialFolder::LocalAppData] = "/fake/local-appdata";
    specialFolders[SpecialFolder::CommonDocuments] = "/fake/common-documents";
    executablePath = u"/opt/apps/app.exe";
    // In the platform's own separator, so the module name is "app.exe" everywhere.
    for (char16_t& c : executablePath) {
        if (c == u'/') c = static_cast<char16_t>(kPathSeparator);
    }
}

void FakePlatform::SetTime(int year, int month, int day, int hour, int minute, int second,
                           int milliseconds) {
    std::lock_guard<std::mutex> lock(guard);
    now.year = year;
    now.month = month;
    now.day = day;
    now.hour = hour;
    now.minute = minute;
    now.second = second;
    now.milliseconds = milliseconds;
}

LocalTime FakePlatform::Now() const {
    std::lock_guard<std::mutex> lock(guard);
    return now;
}

std::vector<std::string> FakePlatform::DebugLines() const {
    std::lock_guard<std::mutex> lock(guard);
    return debugLines;
}

bool FakePlatform::ReadMachineRegistryString(const char* subKey, const char* valueName,
                                             RegistryView view, char* buffer,
                                             std::size_t capacity) const {
    ++registryReads;
    if (onRegistryRead) onRegistryRead();
    registryViewsAsked.push_back(view);
    const auto& values = view == RegistryView::Native ? registry : registry32;
    const auto found = values.find(std::string(subKey) + "\\" + valueName);
    if (found == values.end()) return false;
    return CopyOut(found->second, buffer, capacity);
}

bool FakePlatform::GetSpecialFolderPath(SpecialFolder folder, char* buffer,
                                        std::size_t capacity) const {
    const auto found = specialFolders.find(folder);
    if (found == specialFolders.end()) return false;
    return CopyOut(found->second, buffer, capacity);
}

std::uint32_t FakePlatform::GetCurrentThreadId() const {
    return threadId != 0 ? threadId : OsPlatform::GetCurrentThreadId();
}

bool FakePlatform::ProcessIdToSessionId(std::uint32_t, std::uint32_t& session) const {
    if (sessionLookupFails) return false;
    session = sessionId;
    return true;
}

std::size_t FakePlatform::GetExecutablePath(char16_t* buffer, std::size_t capacity) const {
    if (capacity == 0) return 0;
    const std::size_t length = std::min(executablePath.size(), capacity - 1);
    std::memcpy(buffer, executablePath.data(), length * sizeof(char16_t));
    buffer[length] = u'\0';
    return length;
}

void* FakePlatform::CreateFileMutex() {
    if (mutexFails) return nullptr;
    ++mutexesCreated;
    return &fakeMutexToken;
}

void FakePlatform::CloseFileMutex(void* handle) {
    if (handle == &fakeMutexToken) ++mutexesClosed;
}

CreateResult FakePlatform::CreateNewLogFile(const char* path, LogFile*& file) {
    if (allowCreate && !allowCreate(path)) {
        file = nullptr;
        return CreateResult::Failed;
    }
    const CreateResult result = OsPlatform::CreateNewLogFile(path, file);
    if (result == CreateResult::Created) ++openLogFiles;
    return result;
}

bool FakePlatform::ReopenLogFile(const char* path, const FileIdentity& identity,
                                 std::int64_t length, LogFile*& file) {
    const bool reopened = OsPlatform::ReopenLogFile(path, identity, length, file);
    if (reopened) ++openLogFiles;
    return reopened;
}

void FakePlatform::CloseLogFile(LogFile* file) {
    if (file != nullptr) --openLogFiles;
    OsPlatform::CloseLogFile(file);
}

bool FakePlatform::RemoveFileIn(LogFolder* folder, const char* name) {
    if (beforeRemoveFile) beforeRemoveFile(name);
    return OsPlatform::RemoveFileIn(folder, name);
}

std::int64_t FakePlatform::GetFileLength(LogFile* file) const {
    if (fileLengthOverride) return fileLengthOverride(file);
    return OsPlatform::GetFileLength(file);
}

bool FakePlatform::WriteLogLine(LogFile* file, const char* line, std::size_t length) {
    if (!bytesWritten) return OsPlatform::WriteLogLine(file, line, length);
    const std::size_t taken = std::min(bytesWritten(length), length);
    return OsPlatform::WriteLogLine(file, line, taken) && taken == length;
}

bool FakePlatform::TruncateLogFile(LogFile* file, std::int64_t length) {
    return !truncateFails && OsPlatform::TruncateLogFile(file, length);
}

std::int64_t FakePlatform::GetFileSizeLimit() const {
    return fileSizeLimit >= 0 ? fileSizeLimit : OsPlatform::GetFileSizeLimit();
}

void FakePlatform::WriteDebugOutput(const char* line) {
    std::lock_guard<std::mutex> lock(guard);
    debugLines.emplace_back(line);
}

}  // namespace VTLogAdapter::Testing

// A controllable platform for tests: clock, registry, special folders, identity and executable
// path are set by the test, debugger output is captured; files and folders are real (use a
// TempFolder), with optional fault injection.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "OsPlatform.h"

namespace VTLogAdapter::Testing {

class FakePlatform : public OsPlatform {
public:
    FakePlatform();

    // Registry values under HKLM, keyed by "SubKey\\ValueName" (backslashes as in Windows).
    std::map<std::string, std::string> registry;        // native view
    std::map<std::string, std::string> registry32;      // the 32-bit view
    bool retriesIn32BitView = true;
    mutable std::vector<RegistryView> registryViewsAsked;
    mutable std::atomic<int> registryReads{0};
    // Runs inside every registry read, e.g. to make a load slow enough for threads to meet.
    std::function<void()> onRegistryRead;

    std::map<SpecialFolder, std::string> specialFolders;

    std::uint32_t processId = 4242;
    std::uint32_t threadId = 0;   // 0: the real thread identifier
    std::uint32_t sessionId = 1;
    bool sessionLookupFails = false;
    bool remoteSession = false;
    std::u16string executablePath;

    void SetTime(int year, int month, int day, int hour = 12, int minute = 0, int second = 0,
                 int milliseconds = 0);
    LocalTime Now() const;

    bool mutexFails = false;
    std::atomic<int> mutexesCreated{0};
    std::atomic<int> mutexesClosed{0};

    // Called before every file creation; returning false makes it fail.
    std::function<bool(const char* path)> allowCreate;
    // When set, replaces the real file length.
    std::function<std::int64_t(LogFile*)> fileLengthOverride;
    // When set, a write puts only this many bytes of the line into the file (as a full disk
    // would) and fails if that is less than the whole line.
    std::function<std::size_t(std::size_t lineLength)> bytesWritten;
    bool truncateFails = false;
    // When not negative, replaces the system's file-size limit.
    std::int64_t fileSizeLimit = -1;

    // Log files this platform opened and has not closed yet.
    std::atomic<int> openLogFiles{0};
    // Runs before every file removal of a clean-up, with the file's name, e.g. to let another
    // engine clean the same folder in the middle of this one's clean-up.
    std::function<void(const char* name)> beforeRemoveFile;

    std::vector<std::string> DebugLines() const;

    bool ReadMachineRegistryString(const char* subKey, const char* valueName, RegistryView view,
                                   char* buffer, std::size_t capacity) const override;
    bool RetriesIn32BitRegistryView() const override { return retriesIn32BitView; }
    bool GetSpecialFolderPath(SpecialFolder folder, char* buffer,
                              std::size_t capacity) const override;
    std::uint32_t GetCurrentProcessId() const override { return processId; }
    std::uint32_t GetCurrentThreadId() const override;
    bool ProcessIdToSessionId(std::uint32_t processId, std::uint32_t& sessionId) const override;
    bool IsRemoteSession() const override { return remoteSession; }
    std::size_t GetExecutablePath(char16_t* buffer, std::size_t capacity) const override;
    LocalTime GetLocalTime() const override { return Now(); }
    void* CreateFileMutex() override;
    void CloseFileMutex(void* handle) override;
    CreateResult CreateNewLogFile(const char* path, LogFile*& file) override;
    bool ReopenLogFile(const char* path, const FileIdentity& identity, std::int64_t length,
                       LogFile*& file) override;
    void CloseLogFile(LogFile* file) override;
    bool RemoveFileIn(LogFolder* folder, const char* name) override;
    std::int64_t GetFileLength(LogFile* file) const override;
    bool WriteLogLine(LogFile* file, const char* line, std::size_t length) override;
    bool TruncateLogFile(LogFile* file, std::int64_t length) override;
    std::int64_t GetFileSizeLimit() const override;
    void WriteDebugOutput(const char* line) override;

private:
    mutable std::mutex guard;
    LocalTime now;
    std::vector<std::string> debugLines;
};

}  // namespace VTLogAdapter::Testing

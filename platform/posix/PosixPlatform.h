// The POSIX implementation of the platform seam (Linux and other Unix systems).
#pragma once

#include <sys/un.h>

#include "platform/Platform.h"

namespace VTLogAdapter {

class PosixPlatform : public Platform {
public:
    PosixPlatform();
    bool ReadMachineRegistryString(const char* subKey, const char* valueName, RegistryView view,
                                   char* buffer, std::size_t capacity) const override;
    bool GetSpecialFolderPath(SpecialFolder folder, char* buffer,
                              std::size_t capacity) const override;
    std::uint32_t GetCurrentProcessId() const override;
    std::uint32_t GetCurrentThreadId() const override;
    bool ProcessIdToSessionId(std::uint32_t processId, std::uint32_t& sessionId) const override;
    bool IsRemoteSession() const override;
    std::size_t GetExecutablePath(char16_t* buffer, std::size_t capacity) const override;
    LocalTime GetLocalTime() const override;
    void* CreateFileMutex() override;
    void CloseFileMutex(void* handle) override;
    void CreateFolder(const char* path) override;
    bool PathExists(const char* path) const override;
    CreateResult CreateNewLogFile(const char* path, LogFile*& file) override;
    bool ReopenLogFile(const char* path, const FileIdentity& identity, std::int64_t length,
                       LogFile*& file) override;
    FileIdentity GetLogFileIdentity(LogFile* file) const override;
    bool IsLogFileAtPath(LogFile* file, const char* path) const override;
    std::int64_t GetFileLength(LogFile* file) const override;
    bool WriteLogLine(LogFile* file, const char* line, std::size_t length) override;
    bool TruncateLogFile(LogFile* file, std::int64_t length) override;
    std::int64_t GetFileSizeLimit() const override;
    void CloseLogFile(LogFile* file) override;
    LogFolder* OpenFolder(const char* path) override;
    LogFolder* OpenSubfolder(LogFolder* parent, const char* name) override;
    bool ListFolder(LogFolder* folder, FolderVisitor visit, void* context) override;
    bool RemoveFileIn(LogFolder* folder, const char* name) override;
    bool RemoveEmptyFolderIn(LogFolder* parent, const char* name) override;
    void CloseFolder(LogFolder* folder) override;
    void RegisterForkHandlers(void (*prepare)(), void (*parent)(), void (*child)()) override;
    void WriteDebugOutput(const char* line) override;
    bool ReadConfigurationFile(const char* path, std::size_t maxLength,
                               std::string& content) const override;

private:
    // The syslog daemon's socket: /dev/log, or VTLOGADAPTER_SYSLOG_SOCKET as it was when the
    // platform was built. Read once because the host may call setenv from any thread, and a
    // getenv on every line would race with it. Empty when the path does not fit.
    sockaddr_un syslogAddress{};
};

// The emulated registry lives below this folder: VTLOGADAPTER_REGISTRY_ROOT when set, else
// /etc/vtlogadapter/registry.
const char* RegistryRoot();

// Gives the file at `path` mode 0666, so that every account can open it, unless it is anything
// but a plain file with a single name: the named semaphore lies in a folder every account may
// write to, and a link planted there must not pass the mode on to a file elsewhere. False when
// the mode was left alone.
bool OpenToEveryAccount(const char* path);

}  // namespace VTLogAdapter

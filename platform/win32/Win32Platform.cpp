// Windows implementation of the platform seam. Failures are reported to the caller as results,
// never raised: the engine decides what they mean.
#include "platform/win32/Win32Platform.h"

#include <windows.h>
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace VTLogAdapter {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text is passed to the W functions");

struct LogFile {
    std::FILE* stream;
};

namespace {

constexpr wchar_t kMutexName[] = L"Global\\DIVOVEV_FILE_MUTEX";

// A line with its line feeds stored as CR LF: a log line holds at most 2047 bytes, so it takes
// at most twice that. Longer texts are handed on in pieces of this size.
constexpr std::size_t kTranslatedLine = 4096;
// Stream buffer of every log file, larger than any translated line: each fflush hands the whole
// line to one _write, which in binary mode is one WriteFile.
constexpr std::size_t kStreamBuffer = 2 * kTranslatedLine;

bool CopyText(const char* text, char* buffer, std::size_t capacity) {
    const std::size_t length = std::strlen(text);
    if (length + 1 > capacity) return false;
    std::memcpy(buffer, text, length + 1);
    return true;
}

DWORD ClampToDword(std::size_t value) {
    return value > MAXDWORD ? MAXDWORD : static_cast<DWORD>(value);
}

}  // namespace

bool Win32Platform::ReadMachineRegistryString(const char* subKey, const char* valueName,
                                              RegistryView view, char* buffer,
                                              std::size_t capacity) const {
    if (subKey == nullptr || valueName == nullptr || buffer == nullptr || capacity == 0) {
        return false;
    }
    buffer[0] = '\0';
    REGSAM access = KEY_QUERY_VALUE;
    if (view == RegistryView::Wow64_32) access |= KEY_WOW64_32KEY;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, access, &key) != ERROR_SUCCESS) return false;
    DWORD type = REG_NONE;
    DWORD size = ClampToDword(capacity);
    const LSTATUS status =
        RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    // A value too long for the buffer reports ERROR_MORE_DATA; one stored without its NUL
    // comes back unterminated. Neither may be read as a string.
    const bool text = type == REG_SZ || type == REG_EXPAND_SZ;
    if (status != ERROR_SUCCESS || !text || size == 0 || size > capacity ||
        std::memchr(buffer, '\0', size) == nullptr) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

bool Win32Platform::GetSpecialFolderPath(SpecialFolder folder, char* buffer,
                                         std::size_t capacity) const {
    if (buffer == nullptr || capacity == 0) return false;
    char path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, path, static_cast<int>(folder), FALSE)) return false;
    return CopyText(path, buffer, capacity);
}

std::uint32_t Win32Platform::GetCurrentProcessId() const { return ::GetCurrentProcessId(); }

std::uint32_t Win32Platform::GetCurrentThreadId() const { return ::GetCurrentThreadId(); }

bool Win32Platform::ProcessIdToSessionId(std::uint32_t processId,
                                         std::uint32_t& sessionId) const {
    DWORD session = 0;
    if (!::ProcessIdToSessionId(processId, &session)) return false;
    sessionId = session;
    return true;
}

bool Win32Platform::IsRemoteSession() const { return GetSystemMetrics(SM_REMOTESESSION) != 0; }

std::size_t Win32Platform::GetExecutablePath(char16_t* buffer, std::size_t capacity) const {
    if (buffer == nullptr || capacity == 0) return 0;
    wchar_t* wide = reinterpret_cast<wchar_t*>(buffer);
    DWORD length = GetModuleFileNameW(nullptr, wide, ClampToDword(capacity));
    // A path that does not fit comes back cut, and unterminated on older systems.
    if (length >= capacity) length = static_cast<DWORD>(capacity - 1);
    wide[length] = L'\0';
    return length;
}

LocalTime Win32Platform::GetLocalTime() const {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    LocalTime time;
    time.year = now.wYear;
    time.month = now.wMonth;
    time.day = now.wDay;
    time.hour = now.wHour;
    time.minute = now.wMinute;
    time.second = now.wSecond;
    time.milliseconds = now.wMilliseconds;
    return time;
}

void* Win32Platform::CreateFileMutex() {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, kMutexName);
    // A null DACL opens the mutex to every account, whichever process created it first.
    wchar_t name[sizeof kMutexName / sizeof kMutexName[0]];
    std::memcpy(name, kMutexName, sizeof kMutexName);
    SetNamedSecurityInfoW(name, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          nullptr, nullptr);
    if (mutex == nullptr) mutex = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, kMutexName);
    return mutex;
}

void Win32Platform::CloseFileMutex(void* handle) {
    if (handle != nullptr) CloseHandle(static_cast<HANDLE>(handle));
}

void Win32Platform::CreateFolder(const char* path) { CreateDirectoryA(path, nullptr); }

bool Win32Platform::PathExists(const char* path) const { return _access(path, 0) == 0; }

CreateResult Win32Platform::CreateNewLogFile(const char* path, LogFile*& file) {
    file = nullptr;
    // CREATE_NEW makes the name ours alone: two processes racing for one name never share a
    // file. Append-only access keeps every write at the end even if the CRT's seek were lost.
    HANDLE handle =
        CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A folder of that name fails with access denied rather than "exists".
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || PathExists(path)) {
            return CreateResult::NameTaken;
        }
        return CreateResult::Failed;
    }
    // Device names (NUL, CON, COM1, ...) are reserved in every folder, with any extension on
    // older systems: such a name opens the device, not a new file, and a log line must never
    // go to a serial port or a console. The name counts as taken, so the next number is tried.
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return CreateResult::NameTaken;
    }
    // Binary mode: WriteLogLine stores the line feeds as CR LF itself (see there).
    const int descriptor =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_APPEND | _O_BINARY);
    if (descriptor == -1) {
        CloseHandle(handle);
        return CreateResult::Failed;
    }
    std::FILE* stream = _fdopen(descriptor, "ab");
    if (stream == nullptr) {
        _close(descriptor);
        return CreateResult::Failed;
    }
    std::setvbuf(stream, nullptr, _IOFBF, kStreamBuffer);
    file = new (std::nothrow) LogFile{stream};
    if (file == nullptr) {
        std::fclose(stream);
        return CreateResult::Failed;
    }
    return CreateResult::Created;
}

std::int64_t Win32Platform::GetFileLength(LogFile* file) const {
    if (file == nullptr) return -1;
    const int descriptor = _fileno(file->stream);
    if (descriptor < 0) return -1;
    return _filelengthi64(descriptor);
}

bool Win32Platform::WriteLogLine(LogFile* file, const char* line, std::size_t length) {
    if (file == nullptr || line == nullptr) return false;
    // Every line feed is stored as CR LF, as readers of these files on Windows expect. The C
    // runtime's text mode would do that too, but it translates and writes in chunks of its own
    // (1 KiB in msvcrt), so a long line would reach the file in several writes: half a line
    // for a reader, and for good if the process ends in between.
    char translated[kTranslatedLine];
    std::size_t used = 0;
    bool written = true;
    for (std::size_t i = 0; i < length; ++i) {
        if (used + 2 > sizeof translated) {
            written = std::fwrite(translated, 1, used, file->stream) == used && written;
            used = 0;
        }
        if (line[i] == '\n') translated[used++] = '\r';
        translated[used++] = line[i];
    }
    written = std::fwrite(translated, 1, used, file->stream) == used && written;
    return std::fflush(file->stream) == 0 && written;
}

void Win32Platform::CloseLogFile(LogFile* file) {
    if (file == nullptr) return;
    std::fclose(file->stream);
    delete file;
}

void Win32Platform::WriteDebugOutput(const char* line) {
    if (line != nullptr) OutputDebugStringA(line);
}

bool Win32Platform::ReadConfigurationFile(const char* path, std::size_t maxLength,
                                          std::string& content) const {
    content.clear();
    if (path == nullptr) return false;
    // The path comes from the registry's ANSI interface, like every path of the engine.
    HANDLE handle = CreateFileA(path, GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    // A pipe or a device behind the name would block the read: only a disk file is read.
    // (A folder does not open at all without FILE_FLAG_BACKUP_SEMANTICS.)
    LARGE_INTEGER size{};
    bool complete = false;
    if (GetFileType(handle) == FILE_TYPE_DISK && GetFileSizeEx(handle, &size) &&
        size.QuadPart >= 0 && static_cast<unsigned long long>(size.QuadPart) <= maxLength) {
        try {
            // One byte beyond the measured size tells a file that grew meanwhile; it is read on
            // to its end, up to one byte beyond the bound.
            const std::size_t bound = maxLength + 1;
            content.resize(static_cast<std::size_t>(size.QuadPart) + 1);
            std::size_t total = 0;
            for (;;) {
                DWORD got = 0;
                if (!ReadFile(handle, &content[total], ClampToDword(content.size() - total), &got,
                              nullptr)) {
                    break;
                }
                total += got;
                if (got == 0) {
                    complete = true;
                    break;
                }
                if (total < content.size()) continue;
                if (content.size() == bound) break;
                content.resize(content.size() < bound / 2 ? content.size() * 2 : bound);
            }
            content.resize(complete ? total : 0);
        } catch (...) {
            // Out of memory: no configuration, as for an unreadable file.
            content.clear();
            complete = false;
        }
    }
    CloseHandle(handle);
    return complete;
}

Platform& GetOsPlatform() {
    static Win32Platform platform;
    return platform;
}

}  // namespace VTLogAdapter

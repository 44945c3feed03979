// Windows implementation of the platform seam. Failures are reported to the caller as results,
// never raised: the engine decides what they mean.
#include "platform/win32/Win32Platform.h"

#include <windows.h>
#include <aclapi.h>
#include <io.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace VTLogAdapter {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 text is passed to the W functions");

struct LogFile {
    HANDLE handle;
    // Bytes in the file, line ends as stored. Nobody but this process appends to a file it
    // created exclusively, so what it wrote is the length.
    std::int64_t length;
    FileIdentity identity;
};

struct LogFolder {
    HANDLE handle;
    // The folder's path, without a trailing separator unless it is a drive's root.
    char path[2 * kPathCapacity];
};

namespace {

constexpr wchar_t kMutexName[] = L"Global\\DIVOVEV_FILE_MUTEX";

// Lines with their line feeds stored as CR LF: a log line holds at most 2047 bytes, so it
// takes at most twice that and reaches the file in one WriteFile. Longer texts go in pieces
// that end at a line end wherever one is.
constexpr std::size_t kTranslatedLine = 8192;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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

namespace {

bool ReadIdentity(HANDLE handle, FileIdentity& identity, std::int64_t& size, DWORD& links,
                  DWORD& attributes) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return false;
    identity.volume = info.dwVolumeSerialNumber;
    identity.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                     info.nFileSizeLow);
    links = info.nNumberOfLinks;
    attributes = info.dwFileAttributes;
    return true;
}

LogFile* AdoptHandle(HANDLE handle, std::int64_t length, const FileIdentity& identity) {
    LogFile* file = new (std::nothrow) LogFile{handle, length, identity};
    if (file == nullptr) CloseHandle(handle);
    return file;
}

}  // namespace

CreateResult Win32Platform::CreateNewLogFile(const char* path, LogFile*& file) {
    file = nullptr;
    // CREATE_NEW makes the name ours alone: two processes racing for one name never share a
    // file. Delete sharing lets a clean-up remove the file while we hold it.
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
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
    FileIdentity identity;
    std::int64_t size = 0;
    DWORD links = 0;
    DWORD attributes = 0;
    if (!ReadIdentity(handle, identity, size, links, attributes)) {
        CloseHandle(handle);
        return CreateResult::Failed;
    }
    file = AdoptHandle(handle, 0, identity);
    return file != nullptr ? CreateResult::Created : CreateResult::Failed;
}

bool Win32Platform::ReopenLogFile(const char* path, const FileIdentity& identity,
                                  std::int64_t length, LogFile*& file) {
    file = nullptr;
    // FILE_FLAG_OPEN_REPARSE_POINT: a link put at the name is opened itself, never followed,
    // and then fails the identity test.
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    FileIdentity found;
    std::int64_t size = -1;
    DWORD links = 0;
    DWORD attributes = 0;
    if (GetFileType(handle) != FILE_TYPE_DISK ||
        !ReadIdentity(handle, found, size, links, attributes) || !(found == identity) ||
        size != length || links == 0 ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        CloseHandle(handle);
        return false;
    }
    file = AdoptHandle(handle, length, identity);
    return file != nullptr;
}

FileIdentity Win32Platform::GetLogFileIdentity(LogFile* file) const {
    return file != nullptr ? file->identity : FileIdentity{};
}

bool Win32Platform::IsLogFileAtPath(LogFile* file, const char* path) const {
    if (file == nullptr || path == nullptr) return false;
    // A file deleted while open lingers, delete pending, until its last handle closes.
    FILE_STANDARD_INFO standard{};
    if (GetFileInformationByHandleEx(file->handle, FileStandardInfo, &standard,
                                     sizeof standard) &&
        (standard.DeletePending || standard.NumberOfLinks == 0)) {
        return false;
    }
    HANDLE named = CreateFileA(path, 0, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE) return false;
    FileIdentity found;
    std::int64_t size = 0;
    DWORD links = 0;
    DWORD attributes = 0;
    const bool same = ReadIdentity(named, found, size, links, attributes) &&
                      found == file->identity;
    CloseHandle(named);
    return same;
}

std::int64_t Win32Platform::GetFileLength(LogFile* file) const {
    return file == nullptr ? -1 : file->length;
}

namespace {

bool AppendBytes(LogFile* file, const char* bytes, std::size_t count) {
    // Only this process writes the file, but the end is asked for every time rather than
    // trusted, so a write never lands inside what is there.
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(file->handle, zero, nullptr, FILE_END)) return false;
    DWORD wrote = 0;
    const BOOL ok = WriteFile(file->handle, bytes, static_cast<DWORD>(count), &wrote, nullptr);
    file->length += wrote;
    return ok && wrote == count;
}

}  // namespace

bool Win32Platform::WriteLogLine(LogFile* file, const char* line, std::size_t length) {
    if (file == nullptr || line == nullptr) return false;
    // Every line feed is stored as CR LF, as readers of these files on Windows expect. The C
    // runtime's text mode would do that too, but in chunks of its own (1 KiB in msvcrt), so a
    // long line would reach the file in several writes: half a line for a reader, and for good
    // if the process ends in between. A handle write goes straight to the system: nothing is
    // left buffered in the process.
    char translated[kTranslatedLine];
    std::size_t used = 0;
    std::size_t lineEnd = 0;   // bytes of `translated` up to the last whole line
    bool written = true;
    for (std::size_t i = 0; i < length; ++i) {
        if (used + 2 > sizeof translated) {
            const std::size_t piece = lineEnd > 0 ? lineEnd : used;
            written = written && AppendBytes(file, translated, piece);
            std::memmove(translated, translated + piece, used - piece);
            used -= piece;
            lineEnd = 0;
        }
        if (line[i] == '\n') translated[used++] = '\r';
        translated[used++] = line[i];
        if (line[i] == '\n') lineEnd = used;
    }
    return written && AppendBytes(file, translated, used);
}

bool Win32Platform::TruncateLogFile(LogFile* file, std::int64_t length) {
    if (file == nullptr || length < 0) return false;
    LARGE_INTEGER position{};
    position.QuadPart = length;
    if (!SetFilePointerEx(file->handle, position, nullptr, FILE_BEGIN) ||
        !SetEndOfFile(file->handle)) {
        return false;
    }
    file->length = length;
    return true;
}

std::int64_t Win32Platform::GetFileSizeLimit() const { return INT64_MAX; }

void Win32Platform::CloseLogFile(LogFile* file) {
    if (file == nullptr) return;
    CloseHandle(file->handle);
    delete file;
}

namespace {

// One component: an entry name never reaches past the folder it was listed in.
bool IsEntryName(const char* name) {
    return name != nullptr && name[0] != '\0' && std::strpbrk(name, "\\/:") == nullptr &&
           std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

// `folder`'s path joined with `name` into `buffer` (2 * kPathCapacity bytes).
bool EntryPath(const LogFolder* folder, const char* name, char* buffer) {
    const std::size_t length = std::strlen(folder->path);
    const bool separated = length > 0 && (folder->path[length - 1] == '\\' ||
                                          folder->path[length - 1] == '/');
    const int used = std::snprintf(buffer, 2 * kPathCapacity, "%s%s%s", folder->path,
                                   separated ? "" : "\\", name);
    return used > 0 && static_cast<std::size_t>(used) < 2 * kPathCapacity;
}

LogFolder* AdoptFolder(HANDLE handle, const char* path) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        CloseHandle(handle);
        return nullptr;
    }
    LogFolder* folder = new (std::nothrow) LogFolder{handle, {}};
    if (folder == nullptr) {
        CloseHandle(handle);
        return nullptr;
    }
    std::memcpy(folder->path, path, std::strlen(path) + 1);
    return folder;
}

bool IsGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace

LogFolder* Win32Platform::OpenFolder(const char* path) {
    if (path == nullptr || path[0] == '\0' || std::strlen(path) >= 2 * kPathCapacity) {
        return nullptr;
    }
    HANDLE handle = CreateFileA(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return AdoptFolder(handle, path);
}

LogFolder* Win32Platform::OpenSubfolder(LogFolder* parent, const char* name) {
    char path[2 * kPathCapacity];
    if (parent == nullptr || !IsEntryName(name) || !EntryPath(parent, name, path)) {
        return nullptr;
    }
    // Held without delete sharing, the folder cannot be renamed or replaced while it is
    // cleaned. Asking for delete access ourselves would refuse the listing its own open.
    HANDLE handle = CreateFileA(
        path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        CloseHandle(handle);
        return nullptr;
    }
    return AdoptFolder(handle, path);
}

bool Win32Platform::ListFolder(LogFolder* folder, FolderVisitor visit, void* context) {
    char pattern[2 * kPathCapacity];
    if (folder == nullptr || visit == nullptr || !EntryPath(folder, "*", pattern)) return false;
    WIN32_FIND_DATAA entry{};
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        if (!IsEntryName(entry.cFileName)) continue;
        EntryType type = EntryType::File;
        std::int64_t size = 0;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            type = EntryType::Other;
        } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            type = EntryType::Folder;
        } else {
            size = static_cast<std::int64_t>(
                (static_cast<std::uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow);
        }
        visit(context, entry.cFileName, type, size);
    } while (FindNextFileA(search, &entry));
    const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    return complete;
}

bool Win32Platform::RemoveFileIn(LogFolder* folder, const char* name) {
    char path[2 * kPathCapacity];
    if (folder == nullptr || !IsEntryName(name) || !EntryPath(folder, name, path)) return false;
    // A file still open elsewhere goes too: log files are opened with delete sharing.
    return DeleteFileA(path) || IsGone(GetLastError());
}

bool Win32Platform::RemoveEmptyFolderIn(LogFolder* parent, const char* name) {
    char path[2 * kPathCapacity];
    if (parent == nullptr || !IsEntryName(name) || !EntryPath(parent, name, path)) return false;
    // A junction or link put at the name would be removed itself; it is not ours to remove.
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return IsGone(GetLastError());
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return false;
    }
    return RemoveDirectoryA(path) || IsGone(GetLastError());
}

void Win32Platform::CloseFolder(LogFolder* folder) {
    if (folder == nullptr) return;
    CloseHandle(folder->handle);
    delete folder;
}

void Win32Platform::RegisterForkHandlers(void (*)(), void (*)(), void (*)()) {}

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
    // Never destroyed: a thread may still log while the process runs its exit handlers.
    alignas(Win32Platform) static unsigned char storage[sizeof(Win32Platform)];
    static Win32Platform* const platform = new (storage) Win32Platform;
    return *platform;
}

}  // namespace VTLogAdapter

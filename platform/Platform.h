// The seam between the engine and the operating system: every OS call the engine makes goes
// through one of these functions, so tests can swap in a double and Windows is just another
// implementation file set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace VTLogAdapter {

// Every path, name and identity text of the engine lives in a buffer of this many bytes.
constexpr std::size_t kPathCapacity = 260;

// Shell folder identifiers; the values are the Windows CSIDL numbers.
enum class SpecialFolder : int {
    LocalAppData = 28,
    CommonAppData = 35,
    CommonProgramFiles = 43,
    CommonDocuments = 46,
};

enum class RegistryView {
    Native,     // the view of the build's own bitness
    Wow64_32,   // the 32-bit view, asked for explicitly by a 64-bit build
};

// Local wall-clock time with milliseconds (the fields of a Windows SYSTEMTIME the engine uses).
struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int milliseconds = 0;
};

// An open, appending log file; what it holds is the platform's business.
struct LogFile;

// What tells one file from another on its volume (device and inode, or volume serial and file
// index), so a file closed and opened again by path is known to be the same one.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileIdentity& other) const {
        return volume == other.volume && index == other.index;
    }
};

// An open folder being cleaned; what it holds is the platform's business.
struct LogFolder;

enum class EntryType {
    File,     // a plain file
    Folder,   // a folder that is no link
    Other,    // links, junctions, devices, pipes, anything else
};

// Receives one folder entry: its name, type and, for a File, its size in bytes (else 0).
using FolderVisitor = void (*)(void* context, const char* name, EntryType type,
                               std::int64_t size);

enum class CreateResult {
    Created,     // a new file was made and is open for appending
    NameTaken,   // something of that name exists already (possibly created a moment ago)
    Failed,      // any other failure
};

// Platform functions report; they never decide, throw or log. All text buffers are
// NUL-terminated on success and never written past `capacity`.
class Platform {
public:
    virtual ~Platform() = default;

    // --- registry -----------------------------------------------------------------------------
    // Reads a string value under HKEY_LOCAL_MACHINE. False when the key or value is missing,
    // when the value does not fit `capacity` bytes including its NUL, or lacks its NUL.
    virtual bool ReadMachineRegistryString(const char* subKey, const char* valueName,
                                           RegistryView view, char* buffer,
                                           std::size_t capacity) const = 0;
    // True for a 64-bit build, which retries registry lookups in the 32-bit view.
    virtual bool RetriesIn32BitRegistryView() const { return sizeof(void*) == 8; }

    // --- shell folders ------------------------------------------------------------------------
    // The folder's path without a trailing separator. False when it cannot be found or fit.
    virtual bool GetSpecialFolderPath(SpecialFolder folder, char* buffer,
                                      std::size_t capacity) const = 0;

    // --- identity -----------------------------------------------------------------------------
    virtual std::uint32_t GetCurrentProcessId() const = 0;
    virtual std::uint32_t GetCurrentThreadId() const = 0;
    virtual bool ProcessIdToSessionId(std::uint32_t processId, std::uint32_t& sessionId) const = 0;
    virtual bool IsRemoteSession() const = 0;
    // Full path of the process's executable (not of this library) as UTF-16, NUL-terminated;
    // returns its length in code units, 0 on failure (buffer then holds an empty text).
    virtual std::size_t GetExecutablePath(char16_t* buffer, std::size_t capacity) const = 0;

    // --- time -----------------------------------------------------------------------------------
    virtual LocalTime GetLocalTime() const = 0;

    // --- named mutex ----------------------------------------------------------------------------
    // Creates (or opens) the system-wide file mutex, open to every account. Null on failure.
    virtual void* CreateFileMutex() = 0;
    virtual void CloseFileMutex(void* handle) = 0;

    // --- files ----------------------------------------------------------------------------------
    // Creates one folder (not its parents). Failures, existing folders included, are ignored.
    virtual void CreateFolder(const char* path) = 0;
    // True when a file or folder of that name exists.
    virtual bool PathExists(const char* path) const = 0;
    // Creates a new file exclusively, opened for appending with full sharing (deletion included).
    virtual CreateResult CreateNewLogFile(const char* path, LogFile*& file) = 0;
    // Opens the existing plain file at `path` (never through a symbolic link) for appending, but
    // only while it is still `identity` and holds exactly `length` bytes; false otherwise.
    virtual bool ReopenLogFile(const char* path, const FileIdentity& identity,
                               std::int64_t length, LogFile*& file) = 0;
    // Which file `file` is, as ReopenLogFile compares it.
    virtual FileIdentity GetLogFileIdentity(LogFile* file) const = 0;
    // False when the open file has been deleted or another file (or nothing) is at `path` now.
    virtual bool IsLogFileAtPath(LogFile* file, const char* path) const = 0;
    // Length of the file in bytes as this process left it (its own writes counted, line ends
    // as stored), -1 when it cannot be told.
    virtual std::int64_t GetFileLength(LogFile* file) const = 0;
    // Appends the whole line with one write and flushes it. False when that failed or was cut
    // short: part of the line may then be in the file.
    virtual bool WriteLogLine(LogFile* file, const char* line, std::size_t length) = 0;
    // Cuts the file back to `length` bytes. False when that failed.
    virtual bool TruncateLogFile(LogFile* file, std::int64_t length) = 0;
    // The largest size a file of this process may grow to (RLIMIT_FSIZE on POSIX): writing
    // past it would raise a signal that ends the host.
    virtual std::int64_t GetFileSizeLimit() const = 0;
    virtual void CloseLogFile(LogFile* file) = 0;

    // --- folder clean-up ------------------------------------------------------------------------
    // Folders are held open while they are cleaned, and every entry is named relative to its
    // folder, so a folder swapped for a link after it was listed never leads anywhere else.
    // Opens the folder at `path` (a link there is followed: it is the configured place). Null
    // when it is no folder or cannot be opened.
    virtual LogFolder* OpenFolder(const char* path) = 0;
    // Opens the folder `name` directly inside `parent`, never through a link; null otherwise.
    virtual LogFolder* OpenSubfolder(LogFolder* parent, const char* name) = 0;
    // Calls `visit` once per entry of `folder` but "." and "..", with the entry's own type (a
    // link or junction is Other, never followed) and, for a file, its size. False when the
    // listing could not be read to its end.
    virtual bool ListFolder(LogFolder* folder, FolderVisitor visit, void* context) = 0;
    // Removes the file (or link itself) `name` of `folder`. True when it is gone, also when
    // someone else removed it first.
    virtual bool RemoveFileIn(LogFolder* folder, const char* name) = 0;
    // Removes the folder `name` of `parent` if it is empty and no link. True when it is gone,
    // also when someone else removed it first.
    virtual bool RemoveEmptyFolderIn(LogFolder* parent, const char* name) = 0;
    virtual void CloseFolder(LogFolder* folder) = 0;

    // --- processes ------------------------------------------------------------------------------
    // Runs `prepare` in the forking thread before fork(), `parent` in the parent and `child` in
    // the child after it. Without fork (Windows) nothing is registered. Registrations last for
    // the process's life, so only storage that is never destroyed may register.
    virtual void RegisterForkHandlers(void (*prepare)(), void (*parent)(), void (*child)()) = 0;

    // --- debugger output ------------------------------------------------------------------------
    virtual void WriteDebugOutput(const char* line) = 0;

    // --- configuration files ------------------------------------------------------------------
    // Replaces `content` with the whole of the regular file at `path`. Never waits on what is
    // not a plain file: a FIFO, a device or a folder is refused, as are a file of more than
    // `maxLength` bytes and a failed allocation. False leaves `content` empty.
    virtual bool ReadConfigurationFile(const char* path, std::size_t maxLength,
                                       std::string& content) const = 0;
};

// The real operating system's implementation, one per process.
Platform& GetOsPlatform();

}  // namespace VTLogAdapter

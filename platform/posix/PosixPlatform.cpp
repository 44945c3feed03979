// POSIX implementation of the platform seam. No Windows here: the registry is a folder tree,
// the named mutex a named semaphore, the debugger output a datagram to the syslog socket.
#include "platform/posix/PosixPlatform.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <semaphore.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cstdint>
#include <new>

#include "platform/HotPath.h"
#include "platform/common/Utf8Decode.h"

namespace VTLogAdapter {

struct LogFile {
    int descriptor;
    // Bytes in the file. Nobody but this process appends to a file it created exclusively, so
    // what it wrote is the length; keeping count spares an fstat() per line.
    std::int64_t length;
    FileIdentity identity;
};

struct LogFolder {
    int descriptor;
};

namespace {

constexpr const char* kMutexName = "/DIVOVEV_FILE_MUTEX";
// Where glibc keeps named semaphores; used only to open ours to every account.
constexpr const char* kMutexFile = "/dev/shm/sem.DIVOVEV_FILE_MUTEX";

bool CopyBounded(const char* text, std::size_t length, char* buffer, std::size_t capacity) {
    if (length + 1 > capacity) return false;
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return true;
}

bool CopyText(const char* text, char* buffer, std::size_t capacity) {
    return CopyBounded(text, std::strlen(text), buffer, capacity);
}

// Opens `path` for reading when it is a regular file, and says how long it is. O_NONBLOCK keeps
// a FIFO planted at the name from holding the open until some writer comes along; fstat then
// refuses it, like a device or a folder. -1 on failure.
int OpenRegularFile(const char* path, off_t& size) {
    const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) return -1;
    struct stat info {};
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(descriptor);
        return -1;
    }
    size = info.st_size;
    return descriptor;
}

// Fills `buffer` up to `capacity` bytes, stopping early only at the end of the file. Returns the
// bytes read, -1 on a read error.
ssize_t ReadUpTo(int descriptor, char* buffer, std::size_t capacity) {
    std::size_t total = 0;
    while (total < capacity) {
        const ssize_t got = read(descriptor, buffer + total, capacity - total);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        total += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(total);
}

// A log line holds at most 2047 bytes; this leaves room for the header with a long tag.
constexpr std::size_t kSyslogDatagram = 4096;

// One datagram socket for the process, opened at the first debugger output and never closed: a
// thread still logging while the process exits must not send on a descriptor number that was
// meanwhile given to something else. Unconnected, it names the daemon's socket at every send,
// so a restarted daemon is found again and a forked child can go on using it.
std::atomic<int> syslogSocket{-1};

int SyslogSocket() {
    int descriptor = syslogSocket.load(std::memory_order_acquire);
    if (descriptor >= 0) return descriptor;
    descriptor = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (descriptor < 0) return -1;
    int expected = -1;
    if (!syslogSocket.compare_exchange_strong(expected, descriptor, std::memory_order_acq_rel)) {
        close(descriptor);
        return expected;
    }
    return descriptor;
}

const char* HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') return home;
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr ? entry->pw_dir : nullptr;
}

}  // namespace

const char* RegistryRoot() {
    const char* root = std::getenv("VTLOGADAPTER_REGISTRY_ROOT");
    return (root != nullptr && root[0] != '\0') ? root : "/etc/vtlogadapter/registry";
}

bool OpenToEveryAccount(const char* path) {
    // O_NOFOLLOW refuses a symbolic link; O_NONBLOCK keeps a planted FIFO from blocking us.
    const int descriptor = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return false;
    struct stat info {};
    const bool widened = fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) &&
                         info.st_nlink == 1 && fchmod(descriptor, 0666) == 0;
    close(descriptor);
    return widened;
}

bool PosixPlatform::ReadMachineRegistryString(const char* subKey, const char* valueName,
                                              RegistryView view, char* buffer,
                                              std::size_t capacity) const {
    if (subKey == nullptr || valueName == nullptr || buffer == nullptr || capacity == 0) {
        return false;
    }
    // HKLM\SOFTWARE\X maps to <root>/HKEY_LOCAL_MACHINE/SOFTWARE/X; the 32-bit view inserts
    // WOW6432Node after SOFTWARE, as Windows does.
    char path[4096];
    int used = std::snprintf(path, sizeof path, "%s/HKEY_LOCAL_MACHINE/", RegistryRoot());
    if (used < 0 || static_cast<std::size_t>(used) >= sizeof path) return false;
    std::size_t length = static_cast<std::size_t>(used);
    const char* rest = subKey;
    if (view == RegistryView::Wow64_32 && strncasecmp(subKey, "SOFTWARE\\", 9) == 0) {
        used = std::snprintf(path + length, sizeof path - length, "SOFTWARE/WOW6432Node/");
        if (used < 0 || length + static_cast<std::size_t>(used) >= sizeof path) return false;
        length += static_cast<std::size_t>(used);
        rest = subKey + 9;
    }
    for (; *rest != '\0' && length + 1 < sizeof path; ++rest) {
        path[length++] = (*rest == '\\') ? '/' : *rest;
    }
    used = std::snprintf(path + length, sizeof path - length, "/%s", valueName);
    if (used < 0 || length + static_cast<std::size_t>(used) >= sizeof path) return false;

    off_t size = 0;
    const int descriptor = OpenRegularFile(path, size);
    if (descriptor < 0) return false;
    // Read one byte more than fits, so an oversized value is recognised rather than cut.
    char content[kPathCapacity * 2];
    const ssize_t got = ReadUpTo(descriptor, content, sizeof content);
    close(descriptor);
    if (got < 0) return false;
    std::size_t total = static_cast<std::size_t>(got);
    // A NUL inside the file ends the string, as it would in a REG_SZ value.
    const void* nul = std::memchr(content, '\0', total);
    if (nul != nullptr) total = static_cast<std::size_t>(static_cast<const char*>(nul) - content);
    while (total > 0 && (content[total - 1] == '\n' || content[total - 1] == '\r')) --total;
    return CopyBounded(content, total, buffer, capacity);
}

bool PosixPlatform::GetSpecialFolderPath(SpecialFolder folder, char* buffer,
                                         std::size_t capacity) const {
    if (buffer == nullptr || capacity == 0) return false;
    switch (folder) {
        case SpecialFolder::CommonAppData:
            return CopyText("/var/lib", buffer, capacity);
        case SpecialFolder::CommonProgramFiles:
            return CopyText("/usr/local/lib", buffer, capacity);
        case SpecialFolder::CommonDocuments:
            return CopyText("/var/local", buffer, capacity);
        case SpecialFolder::LocalAppData: {
            const char* data = std::getenv("XDG_DATA_HOME");
            if (data != nullptr && data[0] != '\0') return CopyText(data, buffer, capacity);
            const char* home = HomeFolder();
            if (home == nullptr) return false;
            const int used = std::snprintf(buffer, capacity, "%s/.local/share", home);
            return used >= 0 && static_cast<std::size_t>(used) < capacity;
        }
    }
    return false;
}

std::uint32_t PosixPlatform::GetCurrentProcessId() const {
    return static_cast<std::uint32_t>(getpid());
}

namespace {
// Counts the forks this process came out of as a child: the thread that forked lives on in
// the child under a new identifier, so its cached one is stale from then on.
std::atomic<unsigned> forkGeneration{0};

// Held around localtime_r, and by the forking thread across fork(): glibc's own time zone lock
// is not reset in a child, so a thread of ours converting the time at the moment of the fork
// would leave the child's first conversion waiting for ever.
pthread_mutex_t timeConversion = PTHREAD_MUTEX_INITIALIZER;

void HoldTimeConversion() { pthread_mutex_lock(&timeConversion); }
void ReleaseTimeConversion() { pthread_mutex_unlock(&timeConversion); }
void StartAfreshInChild() {
    pthread_mutex_unlock(&timeConversion);   // held by this very thread since the fork
    forkGeneration.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

PosixPlatform::PosixPlatform() {
    static const int registered =
        pthread_atfork(&HoldTimeConversion, &ReleaseTimeConversion, &StartAfreshInChild);
    (void)registered;
    const char* path = std::getenv("VTLOGADAPTER_SYSLOG_SOCKET");
    if (path == nullptr || path[0] == '\0') path = "/dev/log";
    syslogAddress.sun_family = AF_UNIX;
    // A path that would be cut could name some other socket: no debugger output then.
    if (!CopyText(path, syslogAddress.sun_path, sizeof syslogAddress.sun_path)) {
        syslogAddress.sun_path[0] = '\0';
    }
}

VTLOG_HOT
std::uint32_t PosixPlatform::GetCurrentThreadId() const {
    // A thread keeps its identifier for life (in one process); asking the kernel once per
    // thread is enough.
    struct Cached {
        unsigned generation = ~0u;
        std::uint32_t threadId = 0;
    };
    thread_local Cached cached;
    Cached& own = *ThreadLocalAddress(cached);
    const unsigned generation = forkGeneration.load(std::memory_order_relaxed);
    if (generation != own.generation) {
        own.threadId = static_cast<std::uint32_t>(syscall(SYS_gettid));
        own.generation = generation;
    }
    return own.threadId;
}

bool PosixPlatform::ProcessIdToSessionId(std::uint32_t /*processId*/,
                                         std::uint32_t& sessionId) const {
    // The audit login session is the closest analog of a Windows session; it reads as
    // 4294967295 when the process was not started through a login.
    const int descriptor = open("/proc/self/sessionid", O_RDONLY | O_CLOEXEC);
    if (descriptor >= 0) {
        char text[32] = {};
        const ssize_t got = read(descriptor, text, sizeof text - 1);
        close(descriptor);
        if (got > 0) {
            char* end = nullptr;
            const unsigned long value = std::strtoul(text, &end, 10);
            if (end != text && value != 4294967295UL) {
                sessionId = static_cast<std::uint32_t>(value);
                return true;
            }
        }
    }
    const pid_t session = getsid(0);
    if (session < 0) return false;
    sessionId = static_cast<std::uint32_t>(session);
    return true;
}

bool PosixPlatform::IsRemoteSession() const {
    const char* connection = std::getenv("SSH_CONNECTION");
    const char* client = std::getenv("SSH_CLIENT");
    return (connection != nullptr && connection[0] != '\0') ||
           (client != nullptr && client[0] != '\0');
}

std::size_t PosixPlatform::GetExecutablePath(char16_t* buffer, std::size_t capacity) const {
    if (buffer == nullptr || capacity == 0) return 0;
    buffer[0] = u'\0';
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return 0;
    return Utf8ToUtf16(path, static_cast<std::size_t>(length), buffer, capacity);
}

VTLOG_HOT
LocalTime PosixPlatform::GetLocalTime() const {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // localtime_r takes a process-wide lock (and one that a fork() can leave held in the
    // child). Local time moves with UTC within a minute, since offsets change only at whole
    // minutes, so each thread converts once a minute and counts the seconds itself.
    struct Minute {
        time_t start = static_cast<time_t>(-1);
        LocalTime time{};
    };
    thread_local Minute cached;
    Minute& minute = *ThreadLocalAddress(cached);
    if (now.tv_sec < minute.start || now.tv_sec - minute.start >= 60) {
        tm parts{};
        HoldTimeConversion();
        localtime_r(&now.tv_sec, &parts);
        ReleaseTimeConversion();
        minute.start = now.tv_sec - parts.tm_sec;
        // A leap second (tm_sec 60) is converted on its own.
        if (parts.tm_sec > 59) minute.start = static_cast<time_t>(-1);
        minute.time.year = parts.tm_year + 1900;
        minute.time.month = parts.tm_mon + 1;
        minute.time.day = parts.tm_mday;
        minute.time.hour = parts.tm_hour;
        minute.time.minute = parts.tm_min;
        minute.time.second = parts.tm_sec;
    } else {
        minute.time.second = static_cast<int>(now.tv_sec - minute.start);
    }
    LocalTime time = minute.time;
    time.milliseconds = static_cast<int>(now.tv_nsec / 1000000);
    return time;
}

void* PosixPlatform::CreateFileMutex() {
    sem_t* semaphore = sem_open(kMutexName, O_CREAT, 0666, 1);
    // The umask narrows the mode at creation; widen it so every account can open it, as the
    // null DACL does on Windows. Failure (someone else's semaphore) is fine.
    OpenToEveryAccount(kMutexFile);
    if (semaphore == SEM_FAILED) semaphore = sem_open(kMutexName, 0);
    return semaphore == SEM_FAILED ? nullptr : semaphore;
}

void PosixPlatform::CloseFileMutex(void* handle) {
    if (handle != nullptr) sem_close(static_cast<sem_t*>(handle));
}

void PosixPlatform::CreateFolder(const char* path) { mkdir(path, 0777); }

bool PosixPlatform::PathExists(const char* path) const { return access(path, F_OK) == 0; }

namespace {

FileIdentity IdentityOf(const struct stat& info) {
    FileIdentity identity;
    identity.volume = static_cast<std::uint64_t>(info.st_dev);
    identity.index = static_cast<std::uint64_t>(info.st_ino);
    return identity;
}

LogFile* AdoptDescriptor(int descriptor, std::int64_t length, const FileIdentity& identity) {
    LogFile* file = new (std::nothrow) LogFile{descriptor, length, identity};
    if (file == nullptr) close(descriptor);
    return file;
}

}  // namespace

CreateResult PosixPlatform::CreateNewLogFile(const char* path, LogFile*& file) {
    file = nullptr;
    // O_EXCL makes the name ours alone: two processes racing for one name never share a file.
    // It also refuses a symbolic link planted at the name.
    const int descriptor =
        open(path, O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0666);
    if (descriptor < 0) return errno == EEXIST ? CreateResult::NameTaken : CreateResult::Failed;
    struct stat info {};
    if (fstat(descriptor, &info) != 0) {
        close(descriptor);
        return CreateResult::Failed;
    }
    file = AdoptDescriptor(descriptor, 0, IdentityOf(info));
    return file != nullptr ? CreateResult::Created : CreateResult::Failed;
}

bool PosixPlatform::ReopenLogFile(const char* path, const FileIdentity& identity,
                                  std::int64_t length, LogFile*& file) {
    file = nullptr;
    // O_NONBLOCK: whatever is at the name now (a FIFO, say) must not hold the caller up.
    const int descriptor =
        open(path, O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return false;
    struct stat info {};
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink == 0 ||
        !(IdentityOf(info) == identity) || info.st_size != length) {
        close(descriptor);
        return false;
    }
    const int flags = fcntl(descriptor, F_GETFL);
    if (flags == -1 || fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) == -1) {
        close(descriptor);
        return false;
    }
    file = AdoptDescriptor(descriptor, length, identity);
    return file != nullptr;
}

FileIdentity PosixPlatform::GetLogFileIdentity(LogFile* file) const {
    return file != nullptr ? file->identity : FileIdentity{};
}

bool PosixPlatform::IsLogFileAtPath(LogFile* file, const char* path) const {
    if (file == nullptr || path == nullptr) return false;
    struct stat open {};
    struct stat named {};
    if (fstat(file->descriptor, &open) != 0 || open.st_nlink == 0) return false;
    // lstat: a link planted at the name is not our file.
    if (lstat(path, &named) != 0) return false;
    return IdentityOf(named) == file->identity;
}

VTLOG_HOT
std::int64_t PosixPlatform::GetFileLength(LogFile* file) const {
    return file == nullptr ? -1 : file->length;
}

namespace {

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VTLOG_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VTLOG_SANITIZED 1
#endif

// Bytes written, or -errno. On x86-64 Linux the line goes to the kernel by the system call
// itself: the C library's write() adds a code page and a data page of its own to every line,
// and where the kernel isolates its page tables each page a line touches costs a page walk
// after every system call. Sanitized builds keep write(), whose interceptor checks the buffer.
#if defined(__linux__) && defined(__x86_64__) && !defined(VTLOG_SANITIZED)
inline long WriteSystemCall(int descriptor, const char* data, std::size_t length) {
    long result = SYS_write;
    asm volatile("syscall"
                 : "+a"(result)
                 : "D"(static_cast<long>(descriptor)), "S"(data), "d"(length)
                 : "rcx", "r11", "memory");
    return result;
}
#else
inline long WriteSystemCall(int descriptor, const char* data, std::size_t length) {
    const ssize_t wrote = write(descriptor, data, length);
    return wrote < 0 ? -errno : static_cast<long>(wrote);
}
#endif

}  // namespace

VTLOG_HOT
bool PosixPlatform::WriteLogLine(LogFile* file, const char* line, std::size_t length) {
    if (file == nullptr) return false;
    // One write() per line keeps lines whole under O_APPEND; the loop only finishes a write
    // that a signal cut short.
    std::size_t done = 0;
    while (done < length) {
        const long wrote = WriteSystemCall(file->descriptor, line + done, length - done);
        if (wrote == -EINTR) continue;
        if (wrote <= 0) break;
        done += static_cast<std::size_t>(wrote);
    }
    file->length += static_cast<std::int64_t>(done);
    return done == length;
}

bool PosixPlatform::TruncateLogFile(LogFile* file, std::int64_t length) {
    if (file == nullptr || length < 0) return false;
    int result = 0;
    do {
        result = ftruncate(file->descriptor, static_cast<off_t>(length));
    } while (result != 0 && errno == EINTR);
    if (result != 0) return false;
    file->length = length;
    return true;
}

std::int64_t PosixPlatform::GetFileSizeLimit() const {
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur > static_cast<rlim_t>(INT64_MAX)) {
        return INT64_MAX;
    }
    return static_cast<std::int64_t>(limit.rlim_cur);
}

void PosixPlatform::CloseLogFile(LogFile* file) {
    if (file == nullptr) return;
    close(file->descriptor);  // not retried on EINTR: the descriptor is gone either way
    delete file;
}

namespace {

LogFolder* AdoptFolder(int descriptor) {
    if (descriptor < 0) return nullptr;
    LogFolder* folder = new (std::nothrow) LogFolder{descriptor};
    if (folder == nullptr) close(descriptor);
    return folder;
}

// One component: an entry name never reaches past the folder it was listed in.
bool IsEntryName(const char* name) {
    return name != nullptr && name[0] != '\0' && std::strchr(name, '/') == nullptr &&
           std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

}  // namespace

LogFolder* PosixPlatform::OpenFolder(const char* path) {
    if (path == nullptr || path[0] == '\0') return nullptr;
    return AdoptFolder(open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

LogFolder* PosixPlatform::OpenSubfolder(LogFolder* parent, const char* name) {
    if (parent == nullptr || !IsEntryName(name)) return nullptr;
    return AdoptFolder(
        openat(parent->descriptor, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool PosixPlatform::ListFolder(LogFolder* folder, FolderVisitor visit, void* context) {
    if (folder == nullptr || visit == nullptr) return false;
    // The stream takes a descriptor of its own, so the folder stays open for the removals.
    const int descriptor = fcntl(folder->descriptor, F_DUPFD_CLOEXEC, 0);
    if (descriptor < 0) return false;
    DIR* stream = fdopendir(descriptor);
    if (stream == nullptr) {
        close(descriptor);
        return false;
    }
    // A duplicate shares the position of an earlier listing.
    rewinddir(stream);
    bool complete = true;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(stream);
        if (entry == nullptr) {
            complete = errno == 0;
            break;
        }
        if (!IsEntryName(entry->d_name)) continue;
        struct stat info {};
        // Gone since the listing (another process cleaning): nothing to report.
        if (fstatat(folder->descriptor, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        EntryType type = EntryType::Other;
        std::int64_t size = 0;
        if (S_ISREG(info.st_mode)) {
            type = EntryType::File;
            size = static_cast<std::int64_t>(info.st_size);
        } else if (S_ISDIR(info.st_mode)) {
            type = EntryType::Folder;
        }
        visit(context, entry->d_name, type, size);
    }
    closedir(stream);
    return complete;
}

bool PosixPlatform::RemoveFileIn(LogFolder* folder, const char* name) {
    if (folder == nullptr || !IsEntryName(name)) return false;
    return unlinkat(folder->descriptor, name, 0) == 0 || errno == ENOENT;
}

bool PosixPlatform::RemoveEmptyFolderIn(LogFolder* parent, const char* name) {
    if (parent == nullptr || !IsEntryName(name)) return false;
    // AT_REMOVEDIR refuses a link (ENOTDIR) and a folder that is not empty.
    return unlinkat(parent->descriptor, name, AT_REMOVEDIR) == 0 || errno == ENOENT;
}

void PosixPlatform::CloseFolder(LogFolder* folder) {
    if (folder == nullptr) return;
    close(folder->descriptor);
    delete folder;
}

void PosixPlatform::RegisterForkHandlers(void (*prepare)(), void (*parent)(), void (*child)()) {
    pthread_atfork(prepare, parent, child);
}

void PosixPlatform::WriteDebugOutput(const char* line) {
    if (line == nullptr || syslogAddress.sun_path[0] == '\0') return;
    const int descriptor = SyslogSocket();
    if (descriptor < 0) return;

    // What syslog() would send for a program that never called openlog(): facility user,
    // severity debug, "Mmm dd hh:mm:ss" in local time with the day padded by a space, and the
    // program's short name as the tag.
    static constexpr char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const LocalTime now = GetLocalTime();
    const int month = now.month >= 1 && now.month <= 12 ? now.month - 1 : 0;
    char datagram[kSyslogDatagram];
    const int header = std::snprintf(datagram, sizeof datagram, "<%d>%s %2d %02d:%02d:%02d %s: ",
                                     LOG_USER | LOG_DEBUG, kMonths[month], now.day, now.hour,
                                     now.minute, now.second, program_invocation_short_name);
    if (header < 0 || static_cast<std::size_t>(header) >= sizeof datagram) return;
    std::size_t used = static_cast<std::size_t>(header);

    // syslog() callers send no final line feed; the daemon would store one as "#012".
    std::size_t length = std::strlen(line);
    if (length > 0 && line[length - 1] == '\n') --length;
    if (length > sizeof datagram - used) {
        length = sizeof datagram - used;
        while (length > 0 && (static_cast<unsigned char>(line[length]) & 0xC0) == 0x80) --length;
    }
    std::memcpy(datagram + used, line, length);
    used += length;
    // A full queue (a stalled daemon) or a missing socket drops this copy; the next line tries
    // again. Nothing waits: this runs under the engine's lock.
    sendto(descriptor, datagram, used, MSG_DONTWAIT | MSG_NOSIGNAL,
           reinterpret_cast<const sockaddr*>(&syslogAddress), sizeof syslogAddress);
}

bool PosixPlatform::ReadConfigurationFile(const char* path, std::size_t maxLength,
                                          std::string& content) const {
    content.clear();
    if (path == nullptr) return false;
    off_t size = 0;
    const int descriptor = OpenRegularFile(path, size);
    if (descriptor < 0) return false;
    bool complete = false;
    try {
        // Sized from the status but read to the end: the file may grow meanwhile, and files in
        // /proc report no size at all. One byte beyond the bound marks a file that is too long.
        const std::size_t bound = maxLength + 1;
        std::size_t total = 0;
        std::size_t capacity = 4096;
        if (size > 0) {
            capacity = static_cast<std::uint64_t>(size) < bound
                           ? static_cast<std::size_t>(size) + 1
                           : bound;
        }
        content.resize(capacity < bound ? capacity : bound);
        for (;;) {
            const ssize_t got = ReadUpTo(descriptor, &content[total], content.size() - total);
            if (got < 0) break;
            total += static_cast<std::size_t>(got);
            if (total < content.size()) {
                complete = true;
                break;
            }
            if (content.size() == bound) break;
            content.resize(content.size() < bound / 2 ? content.size() * 2 : bound);
        }
        content.resize(complete ? total : 0);
    } catch (...) {
        // Out of memory: no configuration, as for an unreadable file.
        content.clear();
        complete = false;
    }
    close(descriptor);
    return complete;
}

Platform& GetOsPlatform() {
    // Never destroyed: a thread may still log while the process runs its exit handlers.
    alignas(PosixPlatform) static unsigned char storage[sizeof(PosixPlatform)];
    static PosixPlatform* const platform = new (storage) PosixPlatform;
    return *platform;
}

}  // namespace VTLogAdapter

// POSIX implementation of the platform seam. No Windows here: the registry is a folder tree,
// the named mutex a named semaphore, the debugger output syslog.
#include "platform/posix/PosixPlatform.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <semaphore.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
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

    const int descriptor = open(path, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return false;
    // Read one byte more than fits, so an oversized value is recognised rather than cut.
    char content[kPathCapacity * 2];
    std::size_t total = 0;
    for (;;) {
        const ssize_t got = read(descriptor, content + total, sizeof content - total);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += static_cast<std::size_t>(got);
        if (total == sizeof content) break;
    }
    close(descriptor);
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

void CountForkInChild() { forkGeneration.fetch_add(1, std::memory_order_relaxed); }
}  // namespace

PosixPlatform::PosixPlatform() {
    static const int registered = pthread_atfork(nullptr, nullptr, &CountForkInChild);
    (void)registered;
}

std::uint32_t PosixPlatform::GetCurrentThreadId() const {
    // A thread keeps its identifier for life (in one process); asking the kernel once per
    // thread is enough.
    thread_local unsigned cachedGeneration = ~0u;
    thread_local std::uint32_t threadId = 0;
    const unsigned generation = forkGeneration.load(std::memory_order_relaxed);
    if (generation != cachedGeneration) {
        threadId = static_cast<std::uint32_t>(syscall(SYS_gettid));
        cachedGeneration = generation;
    }
    return threadId;
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

LocalTime PosixPlatform::GetLocalTime() const {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    // Every line reads the clock twice; within one second the calendar fields do not change,
    // so each thread converts a second only once (localtime_r takes a process-wide lock).
    thread_local time_t cachedSecond = static_cast<time_t>(-1);
    thread_local tm parts{};
    if (now.tv_sec != cachedSecond) {
        localtime_r(&now.tv_sec, &parts);
        cachedSecond = now.tv_sec;
    }
    LocalTime time;
    time.year = parts.tm_year + 1900;
    time.month = parts.tm_mon + 1;
    time.day = parts.tm_mday;
    time.hour = parts.tm_hour;
    time.minute = parts.tm_min;
    time.second = parts.tm_sec;
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

std::int64_t PosixPlatform::GetFileLength(LogFile* file) const {
    return file == nullptr ? -1 : file->length;
}

bool PosixPlatform::WriteLogLine(LogFile* file, const char* line, std::size_t length) {
    if (file == nullptr) return false;
    // One write() per line keeps lines whole under O_APPEND; the loop only finishes a write
    // that a signal cut short.
    std::size_t done = 0;
    while (done < length) {
        const ssize_t wrote = write(file->descriptor, line + done, length - done);
        if (wrote < 0 && errno == EINTR) continue;
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
    // No openlog(): the host application owns the syslog identity.
    syslog(LOG_USER | LOG_DEBUG, "%s", line);
}

Platform& GetOsPlatform() {
    // Never destroyed: a thread may still log while the process runs its exit handlers.
    alignas(PosixPlatform) static unsigned char storage[sizeof(PosixPlatform)];
    static PosixPlatform* const platform = new (storage) PosixPlatform;
    return *platform;
}

}  // namespace VTLogAdapter

// The POSIX platform layer's own rules, where they matter beyond what the writers' tests show.
#if !defined(_WIN32)

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

#include "platform/posix/PosixPlatform.h"
#include "tests/support/TempFolder.h"
#include "tests/support/Watchdog.h"

namespace VTLogAdapter::Testing {
namespace {

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 07777;
}

// Each thread converts the clock once a minute and counts the seconds itself; whatever the zone
// (offsets of a quarter or half hour included), every reading must be what localtime_r makes of
// a clock reading taken around it.
TEST(PosixPlatform, LocalTimeIsTheSystemsLocalTimeInEveryZone) {
    const char* saved = std::getenv("TZ");
    const std::string savedZone = saved != nullptr ? saved : "";
    for (const char* zone : {"UTC0", "NPT-5:45", "NST3:30NDT,M3.2.0,M11.1.0"}) {
        setenv("TZ", zone, 1);
        tzset();
        // A new thread starts with no minute of its own, so the zone set here is the one read.
        std::thread([zone] {
            const PosixPlatform platform;
            // The clock the platform reads: time() may lag behind it by a tick.
            const auto now = [] {
                timespec reading{};
                clock_gettime(CLOCK_REALTIME, &reading);
                return reading.tv_sec;
            };
            const time_t started = now();
            // Until a reading wholly after the first second: one that counted a second on.
            for (int i = 0, counted = 0; counted == 0; ++i) {
                const time_t before = now();
                const LocalTime read = platform.GetLocalTime();
                const time_t after = now();
                counted = before > started ? 1 : 0;
                bool matched = false;
                for (time_t second = before; second <= after && !matched; ++second) {
                    tm parts{};
                    localtime_r(&second, &parts);
                    matched = read.year == parts.tm_year + 1900 && read.month == parts.tm_mon + 1 &&
                              read.day == parts.tm_mday && read.hour == parts.tm_hour &&
                              read.minute == parts.tm_min && read.second == parts.tm_sec;
                }
                ASSERT_TRUE(matched) << zone << " reading " << i << ": " << read.hour << ':'
                                     << read.minute << ':' << read.second;
                ASSERT_TRUE(read.milliseconds >= 0 && read.milliseconds < 1000);
            }
        }).join();
    }
    if (saved != nullptr) {
        setenv("TZ", savedZone.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

// The semaphore's file lies in /dev/shm, where every account may create names: whatever is
// planted under its name must not hand mode 0666 on to some other file.
TEST(PosixPlatform, OnlyAPlainFileOfOneNameIsOpenedToEveryAccount) {
    TempFolder temp;
    const std::string own = temp.Join("sem.own");
    const std::string victim = temp.Join("victim");
    temp.WriteFile("sem.own", "");
    temp.WriteFile("victim", "secret");
    ASSERT_EQ(0, chmod(own.c_str(), 0600));
    ASSERT_EQ(0, chmod(victim.c_str(), 0600));

    EXPECT_TRUE(OpenToEveryAccount(own.c_str()));
    EXPECT_EQ(0666u, ModeOf(own));

    const std::string symbolic = temp.Join("sem.symbolic");
    ASSERT_EQ(0, symlink(victim.c_str(), symbolic.c_str()));
    EXPECT_FALSE(OpenToEveryAccount(symbolic.c_str()));
    const std::string hard = temp.Join("sem.hard");
    ASSERT_EQ(0, link(victim.c_str(), hard.c_str()));
    EXPECT_FALSE(OpenToEveryAccount(hard.c_str()));
    EXPECT_EQ(0600u, ModeOf(victim)) << "the mode went through a link";

    // A FIFO would block an ordinary open until someone writes to it.
    const std::string fifo = temp.Join("sem.fifo");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    EXPECT_FALSE(OpenToEveryAccount(fifo.c_str()));
    EXPECT_EQ(0600u, ModeOf(fifo));
    EXPECT_FALSE(OpenToEveryAccount(temp.Join("missing").c_str()));
}

// A syslog daemon's socket in a temporary folder, which the debugger output is pointed at.
struct SyslogReceiver {
    SyslogReceiver() : path(temp.Join("log")) {
        descriptor = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        bound = bind(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        setenv("VTLOGADAPTER_SYSLOG_SOCKET", path.c_str(), 1);
    }
    ~SyslogReceiver() {
        unsetenv("VTLOGADAPTER_SYSLOG_SOCKET");
        close(descriptor);
    }
    // The next datagram, or "(none)" when nothing is waiting.
    std::string Receive() const {
        char buffer[8192];
        const ssize_t got = recv(descriptor, buffer, sizeof buffer, MSG_DONTWAIT);
        return got < 0 ? "(none)" : std::string(buffer, static_cast<std::size_t>(got));
    }

    TempFolder temp;
    std::string path;
    int descriptor = -1;
    bool bound = false;
};

struct FixedClock : PosixPlatform {
    LocalTime GetLocalTime() const override { return now; }
    LocalTime now;
};

std::string ExecutableName() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    const std::string full(path, length > 0 ? static_cast<std::size_t>(length) : 0);
    return full.substr(full.rfind('/') + 1);
}

// The header syslog() writes: "<15>" for facility user and severity debug, the time with the
// day padded by a space, the program's name; the line's own final line feed is not sent.
TEST(PosixPlatform, DebugOutputIsASyslogDatagram) {
    SyslogReceiver daemon;
    ASSERT_TRUE(daemon.bound);
    const struct {
        LocalTime time;
        const char* line;
        std::string datagram;
    } cases[] = {
        {{2026, 12, 9, 4, 40, 24, 999}, "12:00:00:000  one\n",
         "<15>Dec  9 04:40:24 " + ExecutableName() + ": 12:00:00:000  one"},
        {{2027, 1, 31, 23, 5, 9, 0}, "two\n\tcontinued\n",
         "<15>Jan 31 23:05:09 " + ExecutableName() + ": two\n\tcontinued"},
        {{2027, 6, 15, 0, 0, 0, 0}, "", "<15>Jun 15 00:00:00 " + ExecutableName() + ": "},
    };
    FixedClock platform;
    // Read when the platform is built: a host changing its environment later, from any
    // thread, neither races with the output nor moves it.
    setenv("VTLOGADAPTER_SYSLOG_SOCKET", daemon.temp.Join("elsewhere").c_str(), 1);
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.line);
        platform.now = entry.time;
        platform.WriteDebugOutput(entry.line);
        EXPECT_EQ(entry.datagram, daemon.Receive());
    }
}

// A daemon that stalls (its queue full) or is missing costs the caller nothing: the copy is
// dropped and the next one goes out again once there is room.
TEST(PosixPlatform, DebugOutputNeverWaitsForTheDaemon) {
    {
        SyslogReceiver daemon;
        ASSERT_TRUE(daemon.bound);
        PosixPlatform platform;
        CallWithWatchdog("output to a full socket", [&] {
            for (int i = 0; i < 1000; ++i) platform.WriteDebugOutput("filler\n");
        });
        int queued = 0;
        while (daemon.Receive() != "(none)") ++queued;
        EXPECT_GT(queued, 0);
        EXPECT_LT(queued, 1000);
        platform.WriteDebugOutput("after\n");
        const std::string after = daemon.Receive();
        EXPECT_EQ(": after", after.substr(after.size() < 7 ? 0 : after.size() - 7));
    }
    TempFolder empty;
    setenv("VTLOGADAPTER_SYSLOG_SOCKET", empty.Join("missing").c_str(), 1);
    PosixPlatform platform;
    unsetenv("VTLOGADAPTER_SYSLOG_SOCKET");
    CallWithWatchdog("output to a missing socket", [&] { platform.WriteDebugOutput("lost\n"); });
}

}  // namespace
}  // namespace VTLogAdapter::Testing

#endif  // !_WIN32

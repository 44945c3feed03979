// The POSIX platform layer's own rules, where they matter beyond what the writers' tests show.
#if !defined(_WIN32)

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/posix/PosixPlatform.h"
#include "tests/support/TempFolder.h"

namespace VTLogAdapter::Testing {
namespace {

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return 0;
    return info.st_mode & 07777;
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

}  // namespace
}  // namespace VTLogAdapter::Testing

#endif  // !_WIN32

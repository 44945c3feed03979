// Runs a call that must return promptly; when it has not returned within the limit, the test
// program aborts, so a call that blocks fails the suite instead of hanging it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace VTLogAdapter::Testing {

template <typename Call>
auto CallWithWatchdog(const char* what, Call call,
                      std::chrono::seconds limit = std::chrono::seconds(10)) {
    std::mutex guard;
    std::condition_variable finished;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(guard);
        if (!finished.wait_for(lock, limit, [&] { return done; })) {
            std::fprintf(stderr, "%s did not return within %lld s\n", what,
                         static_cast<long long>(limit.count()));
            std::abort();
        }
    });
    struct Release {
        std::mutex& guard;
        std::condition_variable& finished;
        bool& done;
        std::thread& watchdog;
        ~Release() {
            {
                std::lock_guard<std::mutex> lock(guard);
                done = true;
            }
            finished.notify_one();
            watchdog.join();
        }
    } release{guard, finished, done, watchdog};
    return call();
}

}  // namespace VTLogAdapter::Testing

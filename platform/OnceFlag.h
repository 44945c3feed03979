// Runs a function exactly once per flag, however many threads arrive together. Threads that
// arrive while it runs wait until it has finished, so nobody sees half of its work.
#pragma once

namespace VTLogAdapter {

class OnceFlag {
public:
    OnceFlag();
    ~OnceFlag();
    OnceFlag(const OnceFlag&) = delete;
    OnceFlag& operator=(const OnceFlag&) = delete;

    void Run(void (*function)(void* context), void* context);

private:
    alignas(8) unsigned char storage[64];
};

}  // namespace VTLogAdapter

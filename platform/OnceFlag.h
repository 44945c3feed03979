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

    // fork() support (POSIX; no-ops elsewhere): Hold waits for a running function to finish
    // and keeps others from starting until Release; ResetInChild, in the child of a fork made
    // while held, releases it and keeps whether the function has run.
    void Hold();
    void Release();
    void ResetInChild();

private:
    alignas(8) unsigned char storage[64];
};

}  // namespace VTLogAdapter

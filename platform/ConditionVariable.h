// Waiting inside a CriticalSection until another thread signals a change, usable where the C++
// thread library is not (mingw win32 thread model).
#pragma once

#include "platform/CriticalSection.h"

namespace VTLogAdapter {

class ConditionVariable {
public:
    ConditionVariable();
    ~ConditionVariable();
    ConditionVariable(const ConditionVariable&) = delete;
    ConditionVariable& operator=(const ConditionVariable&) = delete;

    // Leaves `section` (held by the caller), sleeps until woken, and enters it again. May wake
    // without a signal: callers test their condition in a loop.
    void Wait(CriticalSection& section);
    void WakeAll();
    // In a forked child: starts afresh, with no waiters (their threads are gone).
    void ResetInChild();

private:
    alignas(8) unsigned char storage[64];
};

}  // namespace VTLogAdapter

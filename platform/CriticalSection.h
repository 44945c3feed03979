// Process-local mutual exclusion, usable where the C++ thread library is not (mingw win32
// thread model).
#pragma once

namespace VTLogAdapter {

class CriticalSection {
public:
    CriticalSection();
    ~CriticalSection();
    CriticalSection(const CriticalSection&) = delete;
    CriticalSection& operator=(const CriticalSection&) = delete;

    void Enter();
    // Enters when no other thread holds the section, without waiting; false otherwise.
    bool TryEnter();
    void Leave();
    // In a forked child, whose only thread entered the section before the fork: leaves it.
    // Where there is no fork (Windows) it is never called.
    void ResetInChild();

private:
    // Large enough for a pthread_mutex_t or a Windows CRITICAL_SECTION on every target.
    alignas(8) unsigned char storage[64];
};

// Tells the processor that this thread is spinning on a value another thread will change.
inline void SpinPause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Offers the processor to another thread that is ready to run, if there is one; returns at once
// otherwise. A thread waiting for another's work to finish yields rather than spins once that
// work takes longer than a moment: with more threads than cores, the one it waits for may be
// the one it keeps from running.
void YieldToOtherThreads();

// Holds a CriticalSection for one scope.
class CriticalSectionGuard {
public:
    explicit CriticalSectionGuard(CriticalSection& section) : section(section) { section.Enter(); }
    ~CriticalSectionGuard() { section.Leave(); }
    CriticalSectionGuard(const CriticalSectionGuard&) = delete;
    CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

private:
    CriticalSection& section;
};

}  // namespace VTLogAdapter

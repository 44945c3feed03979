// CriticalSection over a futex word. Every written line takes and leaves the engine's lock, and
// a free lock costs one atomic instruction each way here, where pthread_mutex_trylock and
// pthread_mutex_unlock spend some forty more on the mutex's type and owner.
#include <linux/futex.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <new>

#include "platform/CriticalSection.h"
#include "platform/HotPath.h"

namespace VTLogAdapter {

namespace {

// 0: free; 1: held; 2: held, and a thread may be asleep waiting for it.
using LockWord = std::atomic<int>;
static_assert(sizeof(LockWord) == sizeof(int) && LockWord::is_always_lock_free,
              "the futex word must be a plain int");
constexpr int kFree = 0;
constexpr int kHeld = 1;
constexpr int kHeldWithSleepers = 2;

LockWord* Word(unsigned char* storage) {
    return std::launder(reinterpret_cast<LockWord*>(storage));
}

// Sleeps while the word still holds `expected`; returns at once when it does not, and may
// return early (a signal, a spurious wake-up): callers look again.
void SleepWhile(LockWord* word, int expected) {
    syscall(SYS_futex, reinterpret_cast<int*>(word), FUTEX_WAIT_PRIVATE, expected, nullptr,
            nullptr, 0);
}

void WakeOne(LockWord* word) {
    syscall(SYS_futex, reinterpret_cast<int*>(word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

}  // namespace

CriticalSection::CriticalSection() { new (storage) LockWord(kFree); }

CriticalSection::~CriticalSection() = default;

void CriticalSection::Enter() {
    // The engine's lock is held for about one write, a microsecond or two: a thread that tries
    // again for a moment usually gets it without falling asleep and being woken, which costs
    // more than the write.
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (TryEnter()) return;
        SpinPause();
    }
    // Whoever takes the word from here marks it as having sleepers, so that its Leave wakes
    // the next one; at worst that costs one wake-up nobody needed.
    LockWord* word = Word(storage);
    while (word->exchange(kHeldWithSleepers, std::memory_order_acquire) != kFree) {
        SleepWhile(word, kHeldWithSleepers);
    }
}

VTLOG_HOT
bool CriticalSection::TryEnter() {
    int expected = kFree;
    return Word(storage)->compare_exchange_strong(expected, kHeld, std::memory_order_acquire,
                                                  std::memory_order_relaxed);
}

VTLOG_HOT
void CriticalSection::Leave() {
    LockWord* word = Word(storage);
    if (word->exchange(kFree, std::memory_order_release) == kHeldWithSleepers) WakeOne(word);
}

void YieldToOtherThreads() { sched_yield(); }

// The child's one thread is the one that entered the section before the fork, so it may
// leave it; the threads queued on it, and asleep on its word, exist only in the parent.
void CriticalSection::ResetInChild() { Word(storage)->store(kFree, std::memory_order_relaxed); }

}  // namespace VTLogAdapter

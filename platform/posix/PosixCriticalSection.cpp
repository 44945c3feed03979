// CriticalSection over a pthread mutex.
#include <pthread.h>
#include <sched.h>

#include <new>

#include "platform/CriticalSection.h"

namespace VTLogAdapter {

static_assert(sizeof(pthread_mutex_t) <= 64, "CriticalSection storage too small");

namespace {
pthread_mutex_t* Mutex(unsigned char* storage) {
    return std::launder(reinterpret_cast<pthread_mutex_t*>(storage));
}
}  // namespace

CriticalSection::CriticalSection() {
    pthread_mutex_t* mutex = new (storage) pthread_mutex_t;
    pthread_mutex_init(mutex, nullptr);
}

CriticalSection::~CriticalSection() { pthread_mutex_destroy(Mutex(storage)); }

void CriticalSection::Enter() {
    // The engine's lock is held for about one write, a microsecond or two: a thread that tries
    // again for a moment usually gets it without falling asleep and being woken, which costs
    // more than the write.
    pthread_mutex_t* mutex = Mutex(storage);
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (pthread_mutex_trylock(mutex) == 0) return;
        SpinPause();
    }
    pthread_mutex_lock(mutex);
}

bool CriticalSection::TryEnter() { return pthread_mutex_trylock(Mutex(storage)) == 0; }

void CriticalSection::Leave() { pthread_mutex_unlock(Mutex(storage)); }

void YieldToOtherThreads() { sched_yield(); }

// The child's one thread is the one that entered the section before the fork, so it may
// leave it; the threads queued on it exist only in the parent.
void CriticalSection::ResetInChild() { pthread_mutex_unlock(Mutex(storage)); }

}  // namespace VTLogAdapter

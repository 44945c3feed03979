// CriticalSection over a pthread mutex.
#include <pthread.h>

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
#if defined(PTHREAD_ADAPTIVE_MUTEX_INITIALIZER_NP)
    // Held for about one write: a thread that finds it taken spins a little before it sleeps,
    // which spares most waiters a sleep and a wake-up.
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ADAPTIVE_NP);
    pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
#else
    pthread_mutex_init(mutex, nullptr);
#endif
}

CriticalSection::~CriticalSection() { pthread_mutex_destroy(Mutex(storage)); }

void CriticalSection::Enter() { pthread_mutex_lock(Mutex(storage)); }

void CriticalSection::Leave() { pthread_mutex_unlock(Mutex(storage)); }

// The child's one thread is the one that entered the section before the fork, so it may
// leave it; the threads queued on it exist only in the parent.
void CriticalSection::ResetInChild() { pthread_mutex_unlock(Mutex(storage)); }

}  // namespace VTLogAdapter

// ConditionVariable over a pthread condition variable.
#include <pthread.h>

#include <new>

#include "platform/ConditionVariable.h"

namespace VTLogAdapter {

static_assert(sizeof(pthread_cond_t) <= 64, "ConditionVariable storage too small");

namespace {
pthread_cond_t* Condition(unsigned char* storage) {
    return std::launder(reinterpret_cast<pthread_cond_t*>(storage));
}
}  // namespace

ConditionVariable::ConditionVariable() {
    pthread_cond_t* condition = new (storage) pthread_cond_t;
    pthread_cond_init(condition, nullptr);
}

ConditionVariable::~ConditionVariable() { pthread_cond_destroy(Condition(storage)); }

void ConditionVariable::Wait(CriticalSection& section) {
    pthread_cond_wait(Condition(storage), static_cast<pthread_mutex_t*>(section.Native()));
}

void ConditionVariable::WakeAll() { pthread_cond_broadcast(Condition(storage)); }

// Threads that waited here in the parent do not exist in the child, but the variable still
// counts them, and a wake-up could wait for them to leave: it starts afresh instead.
void ConditionVariable::ResetInChild() { pthread_cond_init(Condition(storage), nullptr); }

}  // namespace VTLogAdapter

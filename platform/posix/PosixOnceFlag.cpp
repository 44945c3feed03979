// OnceFlag as double-checked locking: an acquire load keeps the common path to one read.
#include <pthread.h>

#include <atomic>
#include <new>

#include "platform/OnceFlag.h"

namespace VTLogAdapter {

namespace {
struct OnceState {
    std::atomic<int> done{0};
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
};
static_assert(sizeof(OnceState) <= 64, "OnceFlag storage too small");

OnceState* State(unsigned char* storage) {
    return std::launder(reinterpret_cast<OnceState*>(storage));
}
}  // namespace

OnceFlag::OnceFlag() { new (storage) OnceState; }

OnceFlag::~OnceFlag() {
    OnceState* state = State(storage);
    pthread_mutex_destroy(&state->mutex);
    state->~OnceState();
}

void OnceFlag::Run(void (*function)(void* context), void* context) {
    OnceState* state = State(storage);
    if (state->done.load(std::memory_order_acquire) != 0) return;
    pthread_mutex_lock(&state->mutex);
    if (state->done.load(std::memory_order_relaxed) == 0) {
        function(context);
        state->done.store(1, std::memory_order_release);
    }
    pthread_mutex_unlock(&state->mutex);
}

void OnceFlag::Hold() { pthread_mutex_lock(&State(storage)->mutex); }

void OnceFlag::Release() { pthread_mutex_unlock(&State(storage)->mutex); }

void OnceFlag::ResetInChild() { pthread_mutex_unlock(&State(storage)->mutex); }

}  // namespace VTLogAdapter

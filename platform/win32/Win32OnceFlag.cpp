// OnceFlag over InitOnceExecuteOnce, which makes late arrivals wait for the first caller.
#include <windows.h>

#include <new>

#include "platform/OnceFlag.h"

namespace VTLogAdapter {

static_assert(sizeof(INIT_ONCE) <= 64, "OnceFlag storage too small");

namespace {

INIT_ONCE* Once(unsigned char* storage) {
    return std::launder(reinterpret_cast<INIT_ONCE*>(storage));
}

struct Call {
    void (*function)(void* context);
    void* context;
};

BOOL CALLBACK RunCall(PINIT_ONCE, PVOID parameter, PVOID*) {
    const Call* call = static_cast<const Call*>(parameter);
    call->function(call->context);
    return TRUE;
}

}  // namespace

OnceFlag::OnceFlag() {
    INIT_ONCE* once = new (storage) INIT_ONCE;
    InitOnceInitialize(once);
}

OnceFlag::~OnceFlag() = default;

void OnceFlag::Run(void (*function)(void* context), void* context) {
    Call call{function, context};
    InitOnceExecuteOnce(Once(storage), RunCall, &call, nullptr);
}

void OnceFlag::Hold() {}

void OnceFlag::Release() {}

void OnceFlag::ResetInChild() {}

}  // namespace VTLogAdapter

// ConditionVariable over a Windows CONDITION_VARIABLE, which sleeps on a CRITICAL_SECTION.
#include <windows.h>

#include <new>

#include "platform/ConditionVariable.h"

namespace VTLogAdapter {

static_assert(sizeof(CONDITION_VARIABLE) <= 64, "ConditionVariable storage too small");

namespace {
CONDITION_VARIABLE* Condition(unsigned char* storage) {
    return std::launder(reinterpret_cast<CONDITION_VARIABLE*>(storage));
}
}  // namespace

ConditionVariable::ConditionVariable() {
    CONDITION_VARIABLE* condition = new (storage) CONDITION_VARIABLE;
    InitializeConditionVariable(condition);
}

ConditionVariable::~ConditionVariable() = default;

void ConditionVariable::Wait(CriticalSection& section) {
    SleepConditionVariableCS(Condition(storage),
                             static_cast<CRITICAL_SECTION*>(section.Native()), INFINITE);
}

void ConditionVariable::WakeAll() { WakeAllConditionVariable(Condition(storage)); }

void ConditionVariable::ResetInChild() {}

}  // namespace VTLogAdapter

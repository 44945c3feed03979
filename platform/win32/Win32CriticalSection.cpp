// CriticalSection over a Windows CRITICAL_SECTION.
#include <windows.h>

#include <new>

#include "platform/CriticalSection.h"

namespace VTLogAdapter {

static_assert(sizeof(CRITICAL_SECTION) <= 64, "CriticalSection storage too small");

namespace {
CRITICAL_SECTION* Section(unsigned char* storage) {
    return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}
}  // namespace

CriticalSection::CriticalSection() {
    CRITICAL_SECTION* section = new (storage) CRITICAL_SECTION;
    // Held for about one write: a thread that finds it taken spins a while before it sleeps.
    InitializeCriticalSectionAndSpinCount(section, 4000);
}

CriticalSection::~CriticalSection() { DeleteCriticalSection(Section(storage)); }

void CriticalSection::Enter() { EnterCriticalSection(Section(storage)); }

bool CriticalSection::TryEnter() { return TryEnterCriticalSection(Section(storage)) != 0; }

void CriticalSection::Leave() { LeaveCriticalSection(Section(storage)); }

void CriticalSection::ResetInChild() {}

void YieldToOtherThreads() { SwitchToThread(); }

}  // namespace VTLogAdapter

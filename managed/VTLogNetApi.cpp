// The C entry points: a handle is the VTLogNet object itself, behind an opaque type.
#include "VTLogNetApi.h"

#include <new>

#include "VTLogAdapter.h"
#include "core/LogCore.h"
#include "managed/TraceTo.h"

using VTLogAdapter::LogIsEnabled;
using VTLogAdapter::VTLogNet;

namespace {

VTLogNet* Instance(VTLogNetHandle handle) { return reinterpret_cast<VTLogNet*>(handle); }

}  // namespace

extern "C" {

VTLogNetHandle VTLogNet_Create(const char16_t* logName) {
    try {
        return reinterpret_cast<VTLogNetHandle>(new (std::nothrow) VTLogNet(logName));
    } catch (...) {
        return nullptr;
    }
}

void VTLogNet_Trace(VTLogNetHandle handle, const char16_t* message) {
    if (handle != nullptr) Instance(handle)->Trace(message);
}

void VTLogNet_TraceWithParameter(VTLogNetHandle handle, const char16_t* message,
                                 const char16_t* parameter) {
    if (handle != nullptr) Instance(handle)->Trace(message, parameter);
}

void VTLogNet_TraceTo(const char16_t* logName, const char16_t* message) {
    VTLogAdapter::TraceTo(logName, message);
}

void VTLogNet_TraceToWithParameter(const char16_t* logName, const char16_t* message,
                                   const char16_t* parameter) {
    VTLogAdapter::TraceTo(logName, message, parameter);
}

void VTLogNet_Log(VTLogNetHandle handle, int level, const char16_t* category,
                  const char16_t* message) {
    if (handle != nullptr) LogWithCategory(*Instance(handle), level, category, message);
}

int VTLogNet_IsEnabled(int level) {
    try {
        return LogIsEnabled(level);
    } catch (...) {
        return 0;
    }
}

int VTLogNet_ApiVersion(void) { return 2; }

void VTLogNet_Dispose(VTLogNetHandle handle) {
    if (handle == nullptr) return;
    VTLogNet* instance = Instance(handle);
    instance->Dispose();
    delete instance;
}

}  // extern "C"

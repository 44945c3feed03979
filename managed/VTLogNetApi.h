/* C entry points over VTLogNet, for bindings (the .NET assembly) and C programs. Strings are
   NUL-terminated UTF-16; null strings count as empty. A null handle makes every call a no-op.
   No function reports an error or lets one escape. */
#pragma once

#include "Export.h"

#if !defined(__cplusplus)
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct VTLogNetHandleTag* VTLogNetHandle;

/* A new instance named `logName`; null only when memory is exhausted. */
VTLOGADAPTER_API VTLogNetHandle VTLogNet_Create(const char16_t* logName);
VTLOGADAPTER_API void VTLogNet_Trace(VTLogNetHandle handle, const char16_t* message);
VTLOGADAPTER_API void VTLogNet_TraceWithParameter(VTLogNetHandle handle,
                                                  const char16_t* message,
                                                  const char16_t* parameter);
/* Disposes the instance and frees the handle, which must not be used afterwards. */
VTLOGADAPTER_API void VTLogNet_Dispose(VTLogNetHandle handle);

#ifdef __cplusplus
}
#endif

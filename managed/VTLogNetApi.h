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
/* What VTLogNet_Create(logName) and VTLogNet_Trace / VTLogNet_TraceWithParameter on it would
   write, without an instance: nothing to create, dispose or keep alive around the call. The
   texts need to live for the call only; any number of threads may call at once. */
VTLOGADAPTER_API void VTLogNet_TraceTo(const char16_t* logName, const char16_t* message);
VTLOGADAPTER_API void VTLogNet_TraceToWithParameter(const char16_t* logName,
                                                    const char16_t* message,
                                                    const char16_t* parameter);
/* One record at `level`, a VT_LOGLEVEL value (INFO 0, TRACE 1, WARN 2, ERROR 3, FATAL 4), whose
   location field is `category` alone; text beyond 2047 units is cut as by Trace. */
VTLOGADAPTER_API void VTLogNet_Log(VTLogNetHandle handle, int level, const char16_t* category,
                                   const char16_t* message);
/* 1 when a record at `level` would be written to a file or the debugger output, else 0. The
   first call of any function here loads the configuration; after that this one is cheap enough
   to ask before building each message. */
VTLOGADAPTER_API int VTLogNet_IsEnabled(int level);
/* The version of this C API: 2 since VTLogNet_TraceTo and VTLogNet_TraceToWithParameter (a
   library without this function is older). A binding calls it to learn, before its first record,
   that the library has every function it will call. */
VTLOGADAPTER_API int VTLogNet_ApiVersion(void);
/* Disposes the instance and frees the handle, which must not be used afterwards. */
VTLOGADAPTER_API void VTLogNet_Dispose(VTLogNetHandle handle);

#ifdef __cplusplus
}
#endif

/* Logs one message through the C API. */
#include <VTLogAdapter/VTLogNetApi.h>

void TraceFromC(void) {
    VTLogNetHandle handle = VTLogNet_Create(u"ConsumerApi");
    VTLogNet_TraceWithParameter(handle, u"hello from ", u"C");
    VTLogNet_Dispose(handle);
}

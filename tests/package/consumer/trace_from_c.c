/* Logs through the C API, once through an instance and once by name. */
#include <VTLogAdapter/VTLogNetApi.h>

void TraceFromC(void) {
    VTLogNetHandle handle = VTLogNet_Create(u"ConsumerApi");
    VTLogNet_TraceWithParameter(handle, u"hello from ", u"C");
    VTLogNet_Dispose(handle);
    VTLogNet_TraceTo(u"ConsumerApi", u"and by name");
}

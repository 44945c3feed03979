// Owns one native log instance; its release waits until no native call is using it.
using System;
using System.Runtime.InteropServices;

namespace VTLogAdapter.Extensions.Logging
{
    internal sealed class SafeLogHandle : SafeHandle
    {
        // Called by the interop marshaller when VTLogNet_Create returns.
        public SafeLogHandle()
            : base(IntPtr.Zero, ownsHandle: true)
        {
        }

        public override bool IsInvalid => handle == IntPtr.Zero;

        public static unsafe SafeLogHandle Create(string logName)
        {
            fixed (char* name = logName)
            {
                return Interop.VTLogNet_Create(name);
            }
        }

        protected override bool ReleaseHandle()
        {
            Interop.VTLogNet_Dispose(handle);
            return true;
        }
    }
}

// Owns one native VTLogNet. Keeps the public class free of a finalizer while a forgotten
// instance is still released, and defers the release until no native call is using it.
using System;
using System.Runtime.InteropServices;

namespace VTLogAdapter
{
    internal sealed class SafeVTLogNetHandle : SafeHandle
    {
        // Called by the interop marshaller when VTLogNet_Create returns.
        public SafeVTLogNetHandle()
            : base(IntPtr.Zero, ownsHandle: true)
        {
        }

        public override bool IsInvalid => handle == IntPtr.Zero;

        protected override bool ReleaseHandle()
        {
            Interop.VTLogNet_Dispose(handle);
            return true;
        }
    }
}

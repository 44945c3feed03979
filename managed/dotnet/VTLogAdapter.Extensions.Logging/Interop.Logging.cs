// The native entry points the provider needs (VTLogNetApi.h), under their native names. The
// library comes from the VTLogAdapter package; these declarations are this assembly's own, so
// the public VTLogNet class stays as it is.
using System;
using System.Runtime.InteropServices;

namespace VTLogAdapter.Extensions.Logging
{
    internal static partial class Interop
    {
        private const string NativeLibrary = "VTLogAdapter.Native";

        [DllImport(NativeLibrary, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern unsafe SafeLogHandle VTLogNet_Create(char* logName);

        // Strings cross as pointers to pinned UTF-16 text: nothing is copied or allocated.
        [DllImport(NativeLibrary, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern unsafe void VTLogNet_Log(SafeLogHandle handle, int level, char* category, char* message);

        [DllImport(NativeLibrary, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern int VTLogNet_IsEnabled(int level);

        [DllImport(NativeLibrary, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern void VTLogNet_Dispose(IntPtr handle);
    }
}

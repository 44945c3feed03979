// The native entry points of VTLogAdapter.Native (VTLogNetApi.h), under their native names.
using System;
using System.Runtime.InteropServices;

namespace VTLogAdapter
{
    internal static partial class Interop
    {
        private const string NativeLibrary = "VTLogAdapter.Native";

        // Strings cross as pointers to the pinned characters of the managed string: UTF-16 on
        // both sides, so nothing is copied or allocated on the way.
        [DllImport(NativeLibrary, CallingConvention = CallingConvention.Cdecl,
                   CharSet = CharSet.Unicode, ExactSpelling = true)]
        internal static extern unsafe SafeVTLogNetHandle VTLogNet_Create(char* logName);

        // The handle as the pointer it holds, which the caller keeps from release for the call
        // (SafeHandle.DangerousAddRef): a signature of pointers only needs no marshalling stub.
        [DllImport(NativeLibrary, CallingConvention = CallingConvention.Cdecl,
                   CharSet = CharSet.Unicode, ExactSpelling = true)]
        internal static extern unsafe void VTLogNet_Trace(IntPtr handle, char* message);

        [DllImport(NativeLibrary, CallingConvention = CallingConvention.Cdecl,
                   CharSet = CharSet.Unicode, ExactSpelling = true)]
        internal static extern unsafe void VTLogNet_TraceWithParameter(
            IntPtr handle, char* message, char* parameter);

        [DllImport(NativeLibrary, CallingConvention = CallingConvention.Cdecl,
                   CharSet = CharSet.Unicode, ExactSpelling = true)]
        internal static extern void VTLogNet_Dispose(IntPtr handle);

        [DllImport(NativeLibrary, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern int VTLogNet_IsEnabled(int level);
    }
}

// The native entry points of VTLogAdapter.Native (VTLogNetApi.h), under their native names.
using System;
using System.Runtime.InteropServices;

namespace VTLogAdapter
{
    internal static partial class Interop
    {
        private const string NativeLibrary = "VTLogAdapter.Native";

        // Strings cross as pointers to the pinned characters of the managed string: UTF-16 on
        // both sides, so nothing is copied or allocated on the way, and a signature of pointers
        // only needs no marshalling stub.
        [DllImport(NativeLibrary, CallingConvention = CallingConvention.Cdecl,
                   CharSet = CharSet.Unicode, ExactSpelling = true)]
        internal static extern unsafe void VTLogNet_TraceTo(char* logName, char* message);

        [DllImport(NativeLibrary, CallingConvention = CallingConvention.Cdecl,
                   CharSet = CharSet.Unicode, ExactSpelling = true)]
        internal static extern unsafe void VTLogNet_TraceToWithParameter(
            char* logName, char* message, char* parameter);

        [DllImport(NativeLibrary, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        internal static extern int VTLogNet_IsEnabled(int level);

        [DllImport(NativeLibrary, CallingConvention = CallingConvention.Cdecl, ExactSpelling = true)]
        private static extern int VTLogNet_ApiVersion();

        // The version of the C API that has every entry point this assembly calls.
        private const int RequiredApiVersion = 2;

        private static volatile bool s_apiChecked;

        // Loads the library through a real call, which binds on every runtime (Marshal.Prelink
        // binds nothing under Native AOT), and checks that it has every entry point the class
        // calls: DllNotFoundException or EntryPointNotFoundException when not. Once per process,
        // once it succeeded; after a failure each new instance asks again.
        internal static void CheckNativeLibrary()
        {
            if (s_apiChecked) return;
            int version = VTLogNet_ApiVersion();   // a library older than version 2 lacks it
            if (version < RequiredApiVersion)
            {
                throw new EntryPointNotFoundException(
                    $"{NativeLibrary} has C API version {version}; " +
                    $"this assembly needs {RequiredApiVersion}.");
            }
            s_apiChecked = true;
        }
    }
}

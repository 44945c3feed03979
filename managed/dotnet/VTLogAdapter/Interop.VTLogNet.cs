// The native entry points of VTLogAdapter.Native (VTLogNetApi.h), under their native names.
using System.Reflection;
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

        private static volatile bool s_traceEntryPointsBound;

        // Loads the library and looks up the entry points VTLogNet calls, as their first calls
        // would, without calling them: DllNotFoundException or EntryPointNotFoundException when
        // that fails. Once per process.
        internal static void BindTraceEntryPoints()
        {
            if (s_traceEntryPointsBound) return;
            const BindingFlags Static = BindingFlags.Static | BindingFlags.NonPublic;
            Marshal.Prelink(typeof(Interop).GetMethod(nameof(VTLogNet_TraceTo), Static)!);
            Marshal.Prelink(typeof(Interop).GetMethod(nameof(VTLogNet_TraceToWithParameter), Static)!);
            Marshal.Prelink(typeof(Interop).GetMethod(nameof(VTLogNet_IsEnabled), Static)!);
            s_traceEntryPointsBound = true;
        }
    }
}

// The class applications log through.
using System;
using System.Runtime.CompilerServices;

namespace VTLogAdapter
{
    /// <summary>
    /// A named log. Each <see cref="Trace(string)"/> call becomes one record of the logging
    /// engine at the TRACE level; whether and where it is written is decided by the engine's
    /// configuration ("LogConfigure.xml").
    /// </summary>
    /// <remarks>
    /// An instance with a non-empty name writes to that name's file in the performance log;
    /// one with an empty or null name writes to the general log. Names beyond 259 and
    /// messages beyond 2047 UTF-16 units are cut to fit. Any number of threads may call
    /// <see cref="Trace(string)"/> at once; no member throws once the instance exists.
    /// </remarks>
    public class VTLogNet : IDisposable
    {
        // The name goes with every call and the engine cuts it as it goes: the instance holds no
        // native object, so a call needs no reference count (two interlocked operations) to keep
        // one alive, and disposing leaves nothing to release.
        private readonly string m_logName;
        private volatile bool m_disposed;

        // The engine reads its settings once per process and keeps them, so whether a TRACE
        // record is written never changes once asked: a filtered-out Trace then costs one
        // field read instead of a call into the native library. -1: not asked yet.
        private static int s_traceEnabled = -1;

        private static bool TraceEnabled()
        {
            int enabled = s_traceEnabled;
            if (enabled < 0)
            {
                enabled = Interop.VTLogNet_IsEnabled(TraceLevel) != 0 ? 1 : 0;
                s_traceEnabled = enabled;
            }
            return enabled != 0;
        }

        private const int TraceLevel = 1;

        /// <summary>Creates a log named <paramref name="LogName"/>.</summary>
        /// <param name="LogName">Log name; null or empty for the general log.</param>
        /// <exception cref="DllNotFoundException">The native library VTLogAdapter.Native
        /// cannot be loaded.</exception>
        /// <exception cref="EntryPointNotFoundException">The native library is older than this
        /// assembly.</exception>
        public VTLogNet(string? LogName)
        {
            m_logName = LogName ?? "";
            // A missing or outdated library fails here rather than in a Trace, which must not
            // throw.
            Interop.CheckNativeLibrary();
        }

        /// <summary>Logs <paramref name="Message"/> verbatim (null counts as empty).</summary>
        public void Trace(string? Message)
        {
            // The written path sits in a method of its own: its pinned texts make a frame whose
            // set-up would otherwise come before the test and make a dropped call pay for it.
            if (TraceEnabled()) TraceWritten(Message);
        }

        [MethodImpl(MethodImplOptions.NoInlining)]
        private void TraceWritten(string? Message)
        {
            if (m_disposed) return;
            unsafe
            {
                fixed (char* logName = m_logName, message = Message)
                {
                    Interop.VTLogNet_TraceTo(logName, message);
                }
            }
        }

        /// <summary>
        /// Logs <paramref name="Message"/> directly followed by <paramref name="Parameter"/>,
        /// with no separator (null counts as empty).
        /// </summary>
        public void Trace(string? Message, string? Parameter)
        {
            if (TraceEnabled()) TraceWritten(Message, Parameter);
        }

        [MethodImpl(MethodImplOptions.NoInlining)]
        private void TraceWritten(string? Message, string? Parameter)
        {
            if (m_disposed) return;
            unsafe
            {
                fixed (char* logName = m_logName, message = Message, parameter = Parameter)
                {
                    Interop.VTLogNet_TraceToWithParameter(logName, message, parameter);
                }
            }
        }

        /// <summary>Disposes the log; later calls of Trace write nothing.</summary>
        public void Dispose()
        {
            Dispose(true);
            GC.SuppressFinalize(this);
        }

        /// <summary>Disposes the log when <paramref name="disposing"/> is true. An override
        /// calls the base implementation.</summary>
        protected virtual void Dispose(bool disposing)
        {
            if (disposing) m_disposed = true;
        }
    }
}

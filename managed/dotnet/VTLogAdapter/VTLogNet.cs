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
        private readonly SafeVTLogNetHandle m_handle;

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
        public VTLogNet(string? LogName)
        {
            unsafe
            {
                fixed (char* logName = LogName)
                {
                    m_handle = Interop.VTLogNet_Create(logName);
                }
            }
        }

        /// <summary>Logs <paramref name="Message"/> verbatim (null counts as empty).</summary>
        public void Trace(string? Message)
        {
            // The written path sits in a method of its own: its try, pinned text and held handle
            // make a frame whose set-up would otherwise come before the test and make a dropped
            // call pay for it.
            if (TraceEnabled()) TraceWritten(Message);
        }

        [MethodImpl(MethodImplOptions.NoInlining)]
        private void TraceWritten(string? Message)
        {
            if (!HoldHandle()) return;
            // Inside a try with a finally only: the JIT makes a call of pointers only directly
            // there, without a marshalling stub, but not in a try that has a catch.
            try
            {
                unsafe
                {
                    fixed (char* message = Message)
                    {
                        Interop.VTLogNet_Trace(m_handle.DangerousGetHandle(), message);
                    }
                }
            }
            finally
            {
                m_handle.DangerousRelease();
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
            if (!HoldHandle()) return;
            try
            {
                unsafe
                {
                    fixed (char* message = Message, parameter = Parameter)
                    {
                        Interop.VTLogNet_TraceWithParameter(m_handle.DangerousGetHandle(), message,
                                                            parameter);
                    }
                }
            }
            finally
            {
                m_handle.DangerousRelease();
            }
        }

        // Keeps the native instance from release until DangerousRelease, by hand rather than
        // through the interop marshaller, so that the call itself passes pointers only. False
        // when the instance is disposed, also by a Dispose that won the race.
        private bool HoldHandle()
        {
            if (m_handle.IsClosed) return false;
            bool held = false;
            try
            {
                m_handle.DangerousAddRef(ref held);
            }
            catch (ObjectDisposedException)
            {
            }
            return held;
        }

        /// <summary>Releases the native instance; later calls of Trace write nothing.</summary>
        public void Dispose()
        {
            Dispose(true);
            GC.SuppressFinalize(this);
        }

        /// <summary>Releases the native instance when <paramref name="disposing"/> is true.
        /// An override calls the base implementation.</summary>
        protected virtual void Dispose(bool disposing)
        {
            if (disposing) m_handle.Dispose();
        }
    }
}

// The ILogger of one category: checks the engine's admission first, then formats and writes.
using System;
using System.Runtime.CompilerServices;
using Microsoft.Extensions.Logging;

namespace VTLogAdapter.Extensions.Logging
{
    internal sealed class VTLogAdapterLogger : ILogger
    {
        private readonly string category;
        private readonly SafeLogHandle? handle;   // null when created after the provider's disposal
        private readonly VTLogAdapterLoggerProvider provider;

        public VTLogAdapterLogger(string category, SafeLogHandle? handle, VTLogAdapterLoggerProvider provider)
        {
            this.category = category;
            this.handle = handle;
            this.provider = provider;
        }

        // The engine's VT_LOGLEVEL for a framework level; -1 for None and unknown values.
        // The engine ranks INFO (0) below TRACE (1), so the two ends of the order do not match.
        internal static int EngineLevel(LogLevel level)
        {
            switch (level)
            {
                case LogLevel.Trace:
                case LogLevel.Debug:
                    return 1;
                case LogLevel.Information:
                    return 0;
                case LogLevel.Warning:
                    return 2;
                case LogLevel.Error:
                    return 3;
                case LogLevel.Critical:
                    return 4;
                default:
                    return -1;
            }
        }

        public IDisposable? BeginScope<TState>(TState state)
            where TState : notnull
        {
            return provider.ScopeProvider.Push(state);
        }

        public bool IsEnabled(LogLevel logLevel)
        {
            int level = EngineLevel(logLevel);
            return level >= 0 && handle != null && !handle.IsClosed && Interop.VTLogNet_IsEnabled(level) != 0;
        }

        public void Log<TState>(LogLevel logLevel, EventId eventId, TState state, Exception? exception,
                                Func<TState, Exception?, string> formatter)
        {
            // Asked before anything is formatted: a record the engine would drop costs no allocation.
            if (!IsEnabled(logLevel)) return;
            int level = EngineLevel(logLevel);
            try
            {
                string? message = formatter != null ? formatter(state, exception) : state?.ToString();
                Write(level, message, eventId, provider.IncludeScopes ? provider.ScopeProvider : null, exception);
            }
#pragma warning disable CA1031 // the application's ToString or format may throw; logging must not
            catch (Exception failure)
#pragma warning restore CA1031
            {
                // The record is kept, without the parts that may fail, rather than lost silently.
                Write(level, "(the message could not be formatted: " + failure.GetType().FullName + ")", eventId, null, null);
            }
        }

        // The record's 4 KB buffer needs no zeroing: Compose writes every unit it passes on.
        [SkipLocalsInit]
        private unsafe void Write(int level, string? message, EventId eventId, IExternalScopeProvider? scopes, Exception? exception)
        {
            char* text = stackalloc char[RecordText.Capacity + 1];
            RecordText.Compose(text, message, eventId, scopes, exception);
            try
            {
                fixed (char* categoryText = category)
                {
                    Interop.VTLogNet_Log(handle!, level, categoryText, text);
                }
            }
            catch (ObjectDisposedException)
            {
                // Lost a race with the provider's Dispose: a disposed provider writes nothing.
            }
        }
    }
}

// The provider: one native log instance per log name, shared by the loggers of its categories.
using System;
using System.Collections.Concurrent;
using System.Collections.Generic;
using System.Linq;
using Microsoft.Extensions.Logging;
using Microsoft.Extensions.Options;

namespace VTLogAdapter.Extensions.Logging
{
    /// <summary>
    /// Writes the messages of every <see cref="ILogger"/> through the VTLogAdapter engine, one
    /// record each, in the log files that LogConfigure.xml configures. Registered under the
    /// alias "VTLogAdapter", so "Logging:VTLogAdapter:LogLevel" filters it.
    /// </summary>
    [ProviderAlias("VTLogAdapter")]
    public sealed class VTLogAdapterLoggerProvider : ILoggerProvider, ISupportExternalScope
    {
        private readonly ConcurrentDictionary<string, VTLogAdapterLogger> loggers =
            new ConcurrentDictionary<string, VTLogAdapterLogger>(StringComparer.Ordinal);

        // Category prefix and log name, as configured; empty prefixes dropped.
        private readonly KeyValuePair<string, string>[] logNames;

        private readonly object handlesLock = new object();
        private readonly Dictionary<string, SafeLogHandle> handles =   // guarded by handlesLock
            new Dictionary<string, SafeLogHandle>(StringComparer.Ordinal);
        private bool disposed;                                          // guarded by handlesLock

        private volatile IExternalScopeProvider scopeProvider = new LoggerExternalScopeProvider();

        /// <summary>Creates the provider with <paramref name="options"/>, read once here.</summary>
        /// <exception cref="ArgumentNullException"><paramref name="options"/> is null.</exception>
        public VTLogAdapterLoggerProvider(IOptions<VTLogAdapterLoggerOptions> options)
        {
            if (options == null) throw new ArgumentNullException(nameof(options));
            VTLogAdapterLoggerOptions settings = options.Value ?? new VTLogAdapterLoggerOptions();
            IncludeScopes = settings.IncludeScopes;
            logNames = settings.CategoryLogNames
                .Where(entry => !string.IsNullOrEmpty(entry.Key))
                .Select(entry => new KeyValuePair<string, string>(entry.Key, entry.Value ?? string.Empty))
                .ToArray();
        }

        internal bool IncludeScopes { get; }

        internal IExternalScopeProvider ScopeProvider => scopeProvider;

        /// <summary>The logger of <paramref name="categoryName"/>; after <see cref="Dispose"/>
        /// one that writes nothing.</summary>
        /// <exception cref="DllNotFoundException">The native library VTLogAdapter.Native
        /// cannot be loaded.</exception>
        public ILogger CreateLogger(string categoryName)
        {
            string category = categoryName ?? string.Empty;
            return loggers.GetOrAdd(category, name => new VTLogAdapterLogger(name, HandleFor(LogNameOf(name)), this));
        }

        /// <summary>Takes the scopes from <paramref name="scopeProvider"/>, the logger factory's.</summary>
        public void SetScopeProvider(IExternalScopeProvider scopeProvider)
        {
            this.scopeProvider = scopeProvider ?? new LoggerExternalScopeProvider();
        }

        /// <summary>Releases the native log instances; the loggers write nothing afterwards.</summary>
        public void Dispose()
        {
            lock (handlesLock)
            {
                disposed = true;
                // A record being written holds its handle: the release waits for it.
                foreach (SafeLogHandle handle in handles.Values) handle.Dispose();
                handles.Clear();
            }
        }

        // The log name of the longest prefix that is the whole category or ends before one of its
        // points; "" (the general log) when none is. E.g. with "Shop" and "Shop.Billing":
        // "Shop.Billing.Card" -> the second, "Shop.Cart" -> the first, "Shopping" -> "".
        internal string LogNameOf(string category)
        {
            string logName = string.Empty;
            int longest = 0;
            foreach (KeyValuePair<string, string> entry in logNames)
            {
                string prefix = entry.Key;
                bool matches = category.StartsWith(prefix, StringComparison.Ordinal) &&
                               (category.Length == prefix.Length || category[prefix.Length] == '.');
                if (matches && prefix.Length > longest)
                {
                    longest = prefix.Length;
                    logName = entry.Value;
                }
            }

            return logName;
        }

        private SafeLogHandle? HandleFor(string logName)
        {
            lock (handlesLock)
            {
                if (disposed) return null;
                if (!handles.TryGetValue(logName, out SafeLogHandle? handle))
                {
                    handle = SafeLogHandle.Create(logName);
                    handles.Add(logName, handle);
                }

                return handle;
            }
        }
    }
}

// What the provider reads from AddVTLogAdapter(options => ...) or "Logging:VTLogAdapter".
using System;
using System.Collections.Generic;

namespace VTLogAdapter.Extensions.Logging
{
    /// <summary>Settings of <see cref="VTLogAdapterLoggerProvider"/>, read when it is created.</summary>
    public class VTLogAdapterLoggerOptions
    {
        /// <summary>
        /// Appends the active scopes to each message, outermost first, each after " => ".
        /// Off by default.
        /// </summary>
        public bool IncludeScopes { get; set; }

        /// <summary>
        /// Category prefixes mapped to log names: a category goes to the log of the longest prefix
        /// that is the whole category or the part before one of its points ("Shop" matches
        /// "Shop" and "Shop.Cart", not "Shopping"). A category no prefix matches goes to the
        /// general log. Log names should hold no point, as the engine ends a file name at the
        /// first one.
        /// </summary>
        public IDictionary<string, string> CategoryLogNames { get; } = new Dictionary<string, string>(StringComparer.Ordinal);
    }
}

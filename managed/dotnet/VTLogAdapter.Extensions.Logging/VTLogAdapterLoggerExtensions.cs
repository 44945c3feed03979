// AddVTLogAdapter: in Microsoft.Extensions.Logging, where the framework's own providers put theirs.
using System;
using Microsoft.Extensions.DependencyInjection;
using Microsoft.Extensions.DependencyInjection.Extensions;
using Microsoft.Extensions.Logging.Configuration;
using VTLogAdapter.Extensions.Logging;

namespace Microsoft.Extensions.Logging
{
    /// <summary>Adds the VTLogAdapter provider to a logging builder.</summary>
    public static class VTLogAdapterLoggerExtensions
    {
        /// <summary>
        /// Sends every <see cref="ILogger"/> message through the VTLogAdapter engine. Options come
        /// from the "Logging:VTLogAdapter" configuration section (IncludeScopes,
        /// CategoryLogNames); its "LogLevel" filters this provider alone.
        /// </summary>
        public static ILoggingBuilder AddVTLogAdapter(this ILoggingBuilder builder)
        {
            if (builder == null) throw new ArgumentNullException(nameof(builder));
            builder.AddConfiguration();
            builder.Services.TryAddEnumerable(ServiceDescriptor.Singleton<ILoggerProvider, VTLogAdapterLoggerProvider>());
            LoggerProviderOptions.RegisterProviderOptions<VTLogAdapterLoggerOptions, VTLogAdapterLoggerProvider>(builder.Services);
            return builder;
        }

        /// <summary>As <see cref="AddVTLogAdapter(ILoggingBuilder)"/>, then <paramref name="configure"/>
        /// adjusts the options after the configuration section.</summary>
        public static ILoggingBuilder AddVTLogAdapter(this ILoggingBuilder builder, Action<VTLogAdapterLoggerOptions> configure)
        {
            if (configure == null) throw new ArgumentNullException(nameof(configure));
            builder.AddVTLogAdapter();
            builder.Services.Configure(configure);
            return builder;
        }
    }
}

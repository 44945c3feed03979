// The provider in a generic host over the real engine: what reaches the log files.
using System;
using System.Collections.Generic;
using System.Linq;
using Microsoft.Extensions.Configuration;
using Microsoft.Extensions.DependencyInjection;
using Microsoft.Extensions.Hosting;
using Microsoft.Extensions.Logging;
using Microsoft.Extensions.Options;
using Xunit;

namespace VTLogAdapter.Extensions.Logging.Tests
{
    [Collection(EngineCollection.Name)]
    public sealed class ProviderTests
    {
        private readonly EngineFixture engine;

        public ProviderTests(EngineFixture engine)
        {
            this.engine = engine;
        }

        // Log names without points: the engine ends a file name at the first one.
        internal static string Unique(string prefix) => prefix + Guid.NewGuid().ToString("N").Substring(0, 10);

        // A host as an application builds one, its "Logging" section given by `settings`.
        internal static IHost BuildHost(IDictionary<string, string?> settings, Action<VTLogAdapterLoggerOptions>? configure = null)
        {
            HostApplicationBuilder builder = Host.CreateApplicationBuilder(new HostApplicationBuilderSettings
            {
                Args = Array.Empty<string>(),
                ContentRootPath = AppContext.BaseDirectory,
            });
            builder.Configuration.AddInMemoryCollection(settings);
            builder.Logging.ClearProviders();
            if (configure == null) builder.Logging.AddVTLogAdapter();
            else builder.Logging.AddVTLogAdapter(configure);
            return builder.Build();
        }

        [Fact]
        public void EachLevelScopeEventIdAndExceptionReachesTheRecord()
        {
            string logName = Unique("Levels");
            Exception failure;
            try
            {
                throw new InvalidOperationException("boom");
            }
            catch (InvalidOperationException caught)
            {
                failure = caught;
            }

            using (IHost host = BuildHost(new Dictionary<string, string?>
            {
                ["Logging:LogLevel:Default"] = "Trace",
                ["Logging:VTLogAdapter:IncludeScopes"] = "true",
                ["Logging:VTLogAdapter:CategoryLogNames:VTLogAdapter.Extensions.Logging.Tests"] = logName,
            }))
            {
                ILogger logger = host.Services.GetRequiredService<ILogger<ProviderTests>>();
                logger.LogTrace("trace {N}", 1);
                logger.LogDebug("debug");
                logger.LogInformation("information");
                logger.LogWarning("warning");
                logger.LogError("error");
                logger.LogCritical("critical");
                logger.Log(LogLevel.None, "none");
                logger.LogWarning(new EventId(7, "Saved"), "named event");
                using (logger.BeginScope("order {Id}", 42))
                using (logger.BeginScope("cart"))
                {
                    logger.LogInformation("scoped");
                }

                logger.LogError(failure, "failed");
                logger.LogError(new UnprintableException(), "unprintable");
            }

            var expected = new[]
            {
                ("TRACE", "trace 1"), ("TRACE", "debug"), ("INFO", "information"), ("WARN", "warning"),
                ("ERROR", "error"), ("FATAL", "critical"), ("WARN", "named event [7 Saved]"),
                ("INFO", "scoped => order 42 => cart"),
                ("ERROR", "failed" + Environment.NewLine + failure),
                ("ERROR", "(the message could not be formatted: System.NotSupportedException)"),
            };
            IReadOnlyList<LogRecord> records = engine.Records(logName);
            Assert.Equal(expected, records.Select(record => (record.Level, record.Message)));
            Assert.All(records, record => Assert.Equal(typeof(ProviderTests).FullName, record.Category));
        }

        [Fact]
        public void LoggingSectionFiltersAndCategoryPrefixesChooseTheLog()
        {
            string token = Unique("t");
            string shop = Unique("Shop");
            string billing = Unique("Billing");
            using (IHost host = BuildHost(
                new Dictionary<string, string?>
                {
                    // Only this provider's rules: the general "Logging:LogLevel" stays at Information.
                    ["Logging:VTLogAdapter:LogLevel:Default"] = "Warning",
                    ["Logging:VTLogAdapter:LogLevel:Chatty"] = "Trace",
                    ["Logging:VTLogAdapter:CategoryLogNames:Shop"] = shop,
                },
                options => options.CategoryLogNames["Shop.Billing"] = billing))
            {
                ILoggerFactory factory = host.Services.GetRequiredService<ILoggerFactory>();
                var writes = new (string Category, LogLevel Level)[]
                {
                    ("Chatty.Parser", LogLevel.Debug), ("Chatty.Parser", LogLevel.Trace),
                    ("Shop", LogLevel.Critical), ("Shop.Cart", LogLevel.Information),
                    ("Shop.Cart", LogLevel.Warning), ("Shop.Billing.Card", LogLevel.Error),
                    ("Shop.Billing", LogLevel.Warning), ("Shopping", LogLevel.Warning),
                };
                foreach ((string category, LogLevel level) in writes)
                {
                    factory.CreateLogger(category).Log(level, "{Category} {Level} {Token}", category, level, token);
                }
            }

            List<string> Messages(string logName) => engine.Records(logName)
                .Where(record => record.Message.EndsWith(token, StringComparison.Ordinal))
                .Select(record => $"{record.Level} {record.Message.Substring(0, record.Message.Length - token.Length - 1)}")
                .ToList();
            Assert.Equal(new[] { "FATAL Shop Critical", "WARN Shop.Cart Warning" }, Messages(shop));
            Assert.Equal(new[] { "ERROR Shop.Billing.Card Error", "WARN Shop.Billing Warning" }, Messages(billing));
            Assert.Equal(new[] { "TRACE Chatty.Parser Debug", "TRACE Chatty.Parser Trace", "WARN Shopping Warning" },
                         Messages(EngineFolder.GeneralLogName));
        }

        [Fact]
        public void LoggersOfADisposedProviderWriteNothingAndThrowNothing()
        {
            string logName = Unique("Disposed");
            var options = new VTLogAdapterLoggerOptions();
            options.CategoryLogNames["App"] = logName;
            var provider = new VTLogAdapterLoggerProvider(Options.Create(options));
            ILogger before = provider.CreateLogger("App");
            before.LogWarning("written");
            Assert.True(before.IsEnabled(LogLevel.Warning));
            provider.Dispose();
            provider.Dispose();

            ILogger after = provider.CreateLogger("App.Late");
            foreach (ILogger logger in new[] { before, after })
            {
                Assert.False(logger.IsEnabled(LogLevel.Critical));
                logger.LogCritical(new InvalidOperationException("x"), "lost");
                using (logger.BeginScope("scope"))
                {
                    logger.LogWarning("lost");
                }
            }

            Assert.Equal(new[] { "written" }, engine.Records(logName).Select(record => record.Message));
        }

        private sealed class UnprintableException : Exception
        {
            public override string ToString() => throw new NotSupportedException();
        }
    }
}

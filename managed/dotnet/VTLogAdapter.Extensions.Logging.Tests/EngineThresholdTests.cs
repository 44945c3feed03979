// The engine's own loglevel, and what a record costs in managed allocations, in a child process
// whose engine drops INFO (loglevel 1).
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Linq;
using System.Reflection;
using Microsoft.Extensions.DependencyInjection;
using Microsoft.Extensions.Hosting;
using Microsoft.Extensions.Logging;
using Xunit;
using Xunit.Abstractions;

namespace VTLogAdapter.Extensions.Logging.Tests
{
    public sealed class EngineThresholdTests
    {
        public const string Scenario = "engine-loglevel-1";
        private const int Rounds = 1000;
        private static readonly Func<int, Exception?, string> ConstantText = (state, exception) => "constant text";
        private static readonly Func<int, Exception?, string> FreshText = (state, exception) => new string('x', state);

        private readonly ITestOutputHelper output;

        public EngineThresholdTests(ITestOutputHelper output)
        {
            this.output = output;
        }

        [Fact]
        public void EngineLevelDropsInformationKeepsTraceAndDisabledRecordsAllocateNothing()
        {
            using var folder = new EngineFolder(logLevel: 1);
            string logName = ProviderTests.Unique("Threshold");
            string host = Environment.GetEnvironmentVariable("DOTNET_HOST_PATH") ?? "dotnet";
            var start = new ProcessStartInfo(host) { UseShellExecute = false, RedirectStandardOutput = true, RedirectStandardError = true };
            foreach (string argument in new[] { "exec", Assembly.GetExecutingAssembly().Location, Scenario, logName })
            {
                start.ArgumentList.Add(argument);
            }

            start.Environment[EngineFolder.RegistryVariable] = folder.Registry;
            using Process child = Process.Start(start)!;
            string printed = child.StandardOutput.ReadToEnd();
            string errors = child.StandardError.ReadToEnd();
            child.WaitForExit();
            output.WriteLine(printed);
            Assert.True(child.ExitCode == 0, $"child exited with {child.ExitCode}: {printed}{errors}");

            Assert.Equal(new[] { "TRACE trace", "TRACE debug", "WARN warning" },
                         folder.Records(logName).Select(record => $"{record.Level} {record.Message}"));
            Dictionary<string, long> bytes = printed.Split('\n')
                .Select(line => line.Split(' '))
                .Where(parts => parts.Length == 2 && parts[0].EndsWith("-bytes", StringComparison.Ordinal))
                .ToDictionary(parts => parts[0], parts => long.Parse(parts[1], System.Globalization.CultureInfo.InvariantCulture));
            Assert.Equal(0, bytes["disabled-bytes"]);
            Assert.Equal(0, bytes["enabled-bytes"]);
        }

        internal static int RunChild(string logName)
        {
            using IHost host = ProviderTests.BuildHost(new Dictionary<string, string?>
            {
                ["Logging:LogLevel:Default"] = "Trace",
                ["Logging:VTLogAdapter:CategoryLogNames:Threshold"] = logName,
            });
            ILogger logger = host.Services.GetRequiredService<ILoggerFactory>().CreateLogger("Threshold");
            logger.LogTrace("trace");
            logger.LogDebug("debug");
            logger.LogInformation("information");
            logger.LogWarning("warning");
            if (logger.IsEnabled(LogLevel.Information) || !logger.IsEnabled(LogLevel.Debug))
            {
                Console.WriteLine("IsEnabled does not follow the engine's loglevel");
                return 1;
            }

            // Measured through the framework's logger, as an application calls it, with a value
            // state. A dropped record must not even be formatted; a written one gets a string the
            // formatter already holds, so that only our path can allocate. A message template's
            // own cost (its arguments, the formatted string) is printed for comparison.
            Console.WriteLine($"disabled-bytes {Measure(() => logger.Log(LogLevel.Information, default, 8, null, FreshText))}");
            ILogger general = host.Services.GetRequiredService<ILoggerFactory>().CreateLogger("Quiet");
            Console.WriteLine($"enabled-bytes {Measure(() => general.Log(LogLevel.Trace, default, 1, null, ConstantText))}");
            Console.WriteLine($"template-bytes {Measure(() => general.LogTrace("order {Id} for {Customer}", 42, "jörg"))}");
            return 0;
        }

        // Managed bytes that Rounds calls allocate on this thread, after a warm-up.
        private static long Measure(Action call)
        {
            for (int i = 0; i < 100; i++) call();
            long before = GC.GetAllocatedBytesForCurrentThread();
            for (int i = 0; i < Rounds; i++) call();
            return GC.GetAllocatedBytesForCurrentThread() - before;
        }
    }
}

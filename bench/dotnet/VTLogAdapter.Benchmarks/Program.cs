// Compares VTLogNet with the established .NET loggers; every result is also shown as a ratio to
// a StreamWriter baseline measured in the same run. Arguments are BenchmarkDotNet's own
// (--filter, --job, ...), or --interleaved [ROUNDS [LINES]] for the one-thread loggers measured
// in interleaved rounds in one process; see scripts/bench-dotnet.
using System.Collections.Generic;
using System.Linq;
using BenchmarkDotNet.Configs;
using BenchmarkDotNet.Exporters.Json;
using BenchmarkDotNet.Jobs;
using BenchmarkDotNet.Reports;
using BenchmarkDotNet.Running;

namespace VTLogAdapter.Benchmarks
{
    internal static class Program
    {
        // Non-zero when a benchmark failed to build or run, or found its logger silent, so that
        // a smoke run fails visibly.
        private static int Main(string[] args)
        {
            if (args.Length > 0 && args[0] == "--interleaved")
            {
                int rounds = 61;
                int lines = 20000;
                if ((args.Length > 1 && !PositiveNumber(args[1], out rounds)) ||
                    (args.Length > 2 && !PositiveNumber(args[2], out lines)) || args.Length > 3)
                {
                    System.Console.Error.WriteLine("usage: --interleaved [ROUNDS [LINES-PER-ROUND]], both positive whole numbers");
                    return 2;
                }

                return InterleavedRounds.Run(rounds, lines);
            }

            // BenchmarkDotNet rebuilds the assembly deterministically for every run, which its
            // wildcard version (1.0.*) does not allow: the measured copy gets a fixed one. The
            // mutator applies to whichever job the command line chooses. The JSON export feeds
            // the plot of bench/plot-threads.py.
            IConfig config = DefaultConfig.Instance
                .AddJob(Job.Default.WithArguments([new MsBuildArgument("/p:AssemblyVersion=1.0.0.0")]).AsMutator())
                .AddExporter(JsonExporter.Brief);
            IEnumerable<Summary> summaries = BenchmarkSwitcher.FromAssembly(typeof(Program).Assembly).Run(args, config);
            return summaries.Any(summary => summary.HasCriticalValidationErrors || summary.Reports.Any(report => !report.Success)) ? 1 : 0;
        }

        private static bool PositiveNumber(string text, out int value) =>
            int.TryParse(text, out value) && value > 0;
    }
}

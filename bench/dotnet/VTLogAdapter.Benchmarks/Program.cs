// Compares VTLogNet with the established .NET loggers; every result is also shown as a ratio to
// a StreamWriter baseline measured in the same run. Arguments are BenchmarkDotNet's own
// (--filter, --job, ...); see scripts/bench-dotnet.
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
    }
}

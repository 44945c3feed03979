// The cost of a call that the logger drops because its level is below the threshold, as a
// ratio to the same written baseline line as in WrittenLineBenchmarks.
using BenchmarkDotNet.Attributes;

namespace VTLogAdapter.Benchmarks
{
    public class FilteredOutBenchmarks : LoggerBenchmarks
    {
        // The engine gets loglevel 2 (WARN) while Trace logs at 1; the other loggers get WARN
        // while the calls log at INFO.
        protected override bool Writes => false;

        [Benchmark(Description = "VTLogNet named Trace, filtered out")]
        public void VTLogNetNamed() => Targets.Named.Trace(Messages.Text);

        [Benchmark(Description = "NLog Info, filtered out")]
        public void NLogInfo() => Targets.NLogLogger.Info(Messages.Text);

        [Benchmark(Description = "Serilog Information, filtered out")]
        public void SerilogInformation() => Targets.SerilogLogger.Information(Messages.Text);

        [Benchmark(Description = "log4net Info, filtered out")]
        public void Log4netInfo() => Targets.Log4netLogger.Info(Messages.Text);
    }
}

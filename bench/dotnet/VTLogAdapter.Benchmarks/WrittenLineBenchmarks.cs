// One call, one line appended to a file and flushed: VTLogNet against the established .NET
// loggers, each as a ratio to a bare StreamWriter doing the same.
using BenchmarkDotNet.Attributes;

namespace VTLogAdapter.Benchmarks
{
    public class WrittenLineBenchmarks : LoggerBenchmarks
    {
        protected override bool Writes => true;

        [Benchmark(Description = "VTLogNet named Trace")]
        public void VTLogNetNamed() => Targets.Named.Trace(Messages.Text);

        [Benchmark(Description = "VTLogNet unnamed Trace")]
        public void VTLogNetUnnamed() => Targets.Unnamed.Trace(Messages.Text);

        [Benchmark(Description = "VTLogNet named Trace(msg, param)")]
        public void VTLogNetWithParameter() => Targets.Named.Trace(Messages.Head, Messages.Tail);

        [Benchmark(Description = "NLog Info")]
        public void NLogInfo() => Targets.NLogLogger.Info(Messages.Text);

        [Benchmark(Description = "Serilog Information")]
        public void SerilogInformation() => Targets.SerilogLogger.Information(Messages.Text);

        [Benchmark(Description = "log4net Info")]
        public void Log4netInfo() => Targets.Log4netLogger.Info(Messages.Text);
    }
}

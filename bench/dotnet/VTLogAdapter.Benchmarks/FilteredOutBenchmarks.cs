// The cost of a call that the logger drops because its level is below the threshold, as a
// ratio to the same written baseline line as in WrittenLineBenchmarks.
using BenchmarkDotNet.Attributes;

namespace VTLogAdapter.Benchmarks
{
    [MemoryDiagnoser]
    public class FilteredOutBenchmarks
    {
        private LogTargets? m_targets;

        // The engine gets loglevel 2 (WARN) while Trace logs at 1; the other loggers get WARN
        // while the calls log at INFO.
        [GlobalSetup]
        public void Setup() => m_targets = new LogTargets(writes: false);

        [GlobalCleanup]
        public void Cleanup() => m_targets?.Dispose();

        [Benchmark(Baseline = true, Description = "StreamWriter WriteLine+Flush")]
        public void StreamWriterFlush()
        {
            m_targets!.Baseline.WriteLine(Messages.Text);
            m_targets.Baseline.Flush();
        }

        [Benchmark(Description = "VTLogNet named Trace, filtered out")]
        public void VTLogNetNamed() => m_targets!.Named.Trace(Messages.Text);

        [Benchmark(Description = "NLog Info, filtered out")]
        public void NLogInfo() => m_targets!.NLogLogger.Info(Messages.Text);

        [Benchmark(Description = "Serilog Information, filtered out")]
        public void SerilogInformation() => m_targets!.SerilogLogger.Information(Messages.Text);

        [Benchmark(Description = "log4net Info, filtered out")]
        public void Log4netInfo() => m_targets!.Log4netLogger.Info(Messages.Text);
    }
}

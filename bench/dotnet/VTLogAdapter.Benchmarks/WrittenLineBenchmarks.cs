// One call, one line appended to a file and flushed: VTLogNet against the established .NET
// loggers, each as a ratio to a bare StreamWriter doing the same.
using BenchmarkDotNet.Attributes;

namespace VTLogAdapter.Benchmarks
{
    [MemoryDiagnoser]
    public class WrittenLineBenchmarks
    {
        private LogTargets? m_targets;

        [GlobalSetup]
        public void Setup() => m_targets = new LogTargets(writes: true);

        [GlobalCleanup]
        public void Cleanup() => m_targets?.Dispose();

        [Benchmark(Baseline = true, Description = "StreamWriter WriteLine+Flush")]
        public void StreamWriterFlush()
        {
            m_targets!.Baseline.WriteLine(Messages.Text);
            m_targets.Baseline.Flush();
        }

        [Benchmark(Description = "VTLogNet named Trace")]
        public void VTLogNetNamed() => m_targets!.Named.Trace(Messages.Text);

        [Benchmark(Description = "VTLogNet unnamed Trace")]
        public void VTLogNetUnnamed() => m_targets!.Unnamed.Trace(Messages.Text);

        [Benchmark(Description = "VTLogNet named Trace(msg, param)")]
        public void VTLogNetWithParameter() => m_targets!.Named.Trace(Messages.Head, Messages.Tail);

        [Benchmark(Description = "NLog Info")]
        public void NLogInfo() => m_targets!.NLogLogger.Info(Messages.Text);

        [Benchmark(Description = "Serilog Information")]
        public void SerilogInformation() => m_targets!.SerilogLogger.Information(Messages.Text);

        [Benchmark(Description = "log4net Info")]
        public void Log4netInfo() => m_targets!.Log4netLogger.Info(Messages.Text);
    }
}

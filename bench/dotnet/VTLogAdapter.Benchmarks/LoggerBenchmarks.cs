// What every benchmark table shares: the loggers, set up once per process, and the baseline
// every ratio is taken against, a bare StreamWriter appending and flushing one line.
using BenchmarkDotNet.Attributes;

namespace VTLogAdapter.Benchmarks
{
    [MemoryDiagnoser]
    public abstract class LoggerBenchmarks
    {
        private LogTargets? m_targets;

        private protected LogTargets Targets => m_targets!;

        // True when the loggers are set to write the calls, false when they drop them.
        protected abstract bool Writes { get; }

        [GlobalSetup]
        public void Setup()
        {
            m_targets = new LogTargets(writes: Writes);
            OnSetup();
        }

        [GlobalCleanup]
        public void Cleanup()
        {
            OnCleanup();
            m_targets?.Dispose();
        }

        // What a derived table needs beyond the loggers, made after them and released first.
        protected virtual void OnSetup()
        {
        }

        protected virtual void OnCleanup()
        {
        }

        [Benchmark(Baseline = true, Description = "StreamWriter WriteLine+Flush")]
        public void StreamWriterFlush()
        {
            Targets.Baseline.WriteLine(Messages.Text);
            Targets.Baseline.Flush();
        }
    }
}

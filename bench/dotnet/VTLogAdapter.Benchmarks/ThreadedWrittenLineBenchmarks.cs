// Several threads writing through one logger at once. The time per line is the wall time of a
// round divided by the lines of all threads (the inverse of the throughput); the ratio column
// compares it with one thread's StreamWriter line, so 1.0 means contention costs nothing.
using System;
using BenchmarkDotNet.Attributes;

namespace VTLogAdapter.Benchmarks
{
    public class ThreadedWrittenLineBenchmarks : LoggerBenchmarks
    {
        // Lines of one round, shared among the threads; divisible by every thread count.
        private const int LinesPerRound = 2000;

        private readonly object m_baselineLock = new object();
        private ThreadGang? m_gang;
        private Action? m_lockedBaseline;
        private Action? m_vtlogNetNamed;
        private Action? m_nlog;
        private Action? m_serilog;
        private Action? m_log4net;

        [Params(2, 8)]
        public int Threads { get; set; }

        protected override bool Writes => true;

        [Benchmark(OperationsPerInvoke = LinesPerRound, Description = "StreamWriter under a lock")]
        public void LockedStreamWriter() => m_gang!.Run(m_lockedBaseline!);

        [Benchmark(OperationsPerInvoke = LinesPerRound, Description = "VTLogNet named Trace")]
        public void VTLogNetNamed() => m_gang!.Run(m_vtlogNetNamed!);

        [Benchmark(OperationsPerInvoke = LinesPerRound, Description = "NLog Info")]
        public void NLogInfo() => m_gang!.Run(m_nlog!);

        [Benchmark(OperationsPerInvoke = LinesPerRound, Description = "Serilog Information")]
        public void SerilogInformation() => m_gang!.Run(m_serilog!);

        [Benchmark(OperationsPerInvoke = LinesPerRound, Description = "log4net Info")]
        public void Log4netInfo() => m_gang!.Run(m_log4net!);

        protected override void OnSetup()
        {
            int lines = LinesPerRound / Threads;
            m_gang = new ThreadGang(Threads);
            m_lockedBaseline = () =>
            {
                for (int i = 0; i < lines; i++)
                {
                    lock (m_baselineLock)
                    {
                        Targets.Baseline.WriteLine(Messages.Text);
                        Targets.Baseline.Flush();
                    }
                }
            };
            m_vtlogNetNamed = () =>
            {
                for (int i = 0; i < lines; i++)
                {
                    Targets.Named.Trace(Messages.Text);
                }
            };
            m_nlog = () =>
            {
                for (int i = 0; i < lines; i++)
                {
                    Targets.NLogLogger.Info(Messages.Text);
                }
            };
            m_serilog = () =>
            {
                for (int i = 0; i < lines; i++)
                {
                    Targets.SerilogLogger.Information(Messages.Text);
                }
            };
            m_log4net = () =>
            {
                for (int i = 0; i < lines; i++)
                {
                    Targets.Log4netLogger.Info(Messages.Text);
                }
            };
        }

        protected override void OnCleanup() => m_gang?.Dispose();
    }
}

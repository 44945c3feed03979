// One thread, every logger in one process, measured in rounds: each round gives every logger the
// same number of lines, in an order shuffled anew, so that a slow spell of a shared machine falls
// on all of them alike. BenchmarkDotNet measures one logger after the other, a minute or more
// apart, and there the same build's ratios moved by 0.1 between runs. A logger's ratio is the
// median over the rounds of its time divided by the StreamWriter's time in the same round.
using System;
using System.Diagnostics;
using System.IO;
using System.Linq;

namespace VTLogAdapter.Benchmarks
{
    internal static class InterleavedRounds
    {
        // Rounds are run first and not counted for this long at least: enough for the JIT's
        // optimising tier to take over every logger's code, which it does in the background.
        private static readonly TimeSpan WarmUp = TimeSpan.FromSeconds(2);

        public static int Run(int rounds, int linesPerRound)
        {
            using var targets = new LogTargets(writes: true);
            // Each case with the file it leaves lines in (relative to the log folder): a logger
            // that silently wrote nothing would look fast.
            Func<string, bool> baseline = file => file == "baseline.log";
            // The engine's files lie in day folders; the general log's names start with its
            // configured name, which a numbered name after a roll-over keeps.
            static bool EngineFile(string file, bool general) =>
                Path.GetDirectoryName(file) != string.Empty &&
                Path.GetFileName(file).StartsWith("general", StringComparison.Ordinal) == general;
            Func<string, bool> generalLog = file => EngineFile(file, general: true);
            Func<string, bool> namedLog = file => EngineFile(file, general: false);
            var cases = new (string Name, Func<string, bool> Writes, Action<int> Lines)[]
            {
                ("StreamWriter WriteLine+Flush", baseline, lines =>
                {
                    for (int i = 0; i < lines; i++)
                    {
                        targets.Baseline.WriteLine(Messages.Text);
                        targets.Baseline.Flush();
                    }
                }),
                ("VTLogNet named Trace", namedLog, lines =>
                {
                    for (int i = 0; i < lines; i++) targets.Named.Trace(Messages.Text);
                }),
                ("VTLogNet unnamed Trace", generalLog, lines =>
                {
                    for (int i = 0; i < lines; i++) targets.Unnamed.Trace(Messages.Text);
                }),
                ("VTLogNet named Trace(msg, param)", namedLog, lines =>
                {
                    for (int i = 0; i < lines; i++) targets.Named.Trace(Messages.Head, Messages.Tail);
                }),
                ("NLog Info", file => file == "nlog.log", lines =>
                {
                    for (int i = 0; i < lines; i++) targets.NLogLogger.Info(Messages.Text);
                }),
                ("Serilog Information", file => file == "serilog.log", lines =>
                {
                    for (int i = 0; i < lines; i++) targets.SerilogLogger.Information(Messages.Text);
                }),
                ("log4net Info", file => file == "log4net.log", lines =>
                {
                    for (int i = 0; i < lines; i++) targets.Log4netLogger.Info(Messages.Text);
                }),
            };

            // Nanoseconds per line, [case, round].
            var times = new double[cases.Length, rounds];
            var random = new Random(20261211);
            int[] order = Enumerable.Range(0, cases.Length).ToArray();
            long warmUpStart = Stopwatch.GetTimestamp();
            while (Stopwatch.GetElapsedTime(warmUpStart) < WarmUp)
            {
                foreach ((string _, Func<string, bool> _, Action<int> lines) in cases) lines(linesPerRound);
            }

            for (int round = 0; round < rounds; round++)
            {
                random.Shuffle(order);
                foreach (int index in order)
                {
                    long start = Stopwatch.GetTimestamp();
                    cases[index].Lines(linesPerRound);
                    long ticks = Stopwatch.GetTimestamp() - start;
                    times[index, round] = ticks * 1e9 / Stopwatch.Frequency / linesPerRound;
                }
            }

            Console.WriteLine($"One thread, {rounds} interleaved rounds of {linesPerRound} lines per logger (medians; the ratio is the median of the rounds' ratios to the StreamWriter, with its quartiles)");
            Console.WriteLine();
            Console.WriteLine("| Method | ns/line | × StreamWriter | quartiles |");
            Console.WriteLine("|---|---:|---:|---:|");
            for (int index = 0; index < cases.Length; index++)
            {
                double[] own = Enumerable.Range(0, rounds).Select(round => times[index, round]).ToArray();
                double[] ratios = Enumerable.Range(0, rounds).Select(round => times[index, round] / times[0, round]).ToArray();
                Console.WriteLine($"| {cases[index].Name} | {Quantile(own, 0.5):F0} | {Quantile(ratios, 0.5):F2} | {Quantile(ratios, 0.25):F2}–{Quantile(ratios, 0.75):F2} |");
            }

            string[] written = targets.FilesWithLines();
            string[] silent = cases.Where(measured => !written.Any(measured.Writes)).Select(measured => measured.Name).ToArray();
            if (silent.Length != 0)
            {
                Console.Error.WriteLine("wrote no line: " + string.Join(", ", silent));
                return 1;
            }

            return 0;
        }

        // The same element as the native benchmark takes: the upper one of two middle values.
        private static double Quantile(double[] values, double fraction)
        {
            double[] sorted = values.OrderBy(value => value).ToArray();
            return sorted[(int)(fraction * (sorted.Length - 1) + 0.5)];
        }
    }
}

// One thread, every logger in one process, measured in rounds: each round gives every logger the
// same number of lines, in an order shuffled anew, so that a slow spell of a shared machine falls
// on all of them alike. BenchmarkDotNet measures one logger after the other, a minute or more
// apart, and there the same build's ratios moved by 0.1 between runs. A logger's ratio is the
// median over the rounds of its time divided by the StreamWriter's time in the same round.
using System;
using System.Diagnostics;
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
            var cases = new (string Name, Action<int> Lines)[]
            {
                ("StreamWriter WriteLine+Flush", lines =>
                {
                    for (int i = 0; i < lines; i++)
                    {
                        targets.Baseline.WriteLine(Messages.Text);
                        targets.Baseline.Flush();
                    }
                }),
                ("VTLogNet named Trace", lines =>
                {
                    for (int i = 0; i < lines; i++) targets.Named.Trace(Messages.Text);
                }),
                ("VTLogNet unnamed Trace", lines =>
                {
                    for (int i = 0; i < lines; i++) targets.Unnamed.Trace(Messages.Text);
                }),
                ("VTLogNet named Trace(msg, param)", lines =>
                {
                    for (int i = 0; i < lines; i++) targets.Named.Trace(Messages.Head, Messages.Tail);
                }),
                ("NLog Info", lines =>
                {
                    for (int i = 0; i < lines; i++) targets.NLogLogger.Info(Messages.Text);
                }),
                ("Serilog Information", lines =>
                {
                    for (int i = 0; i < lines; i++) targets.SerilogLogger.Information(Messages.Text);
                }),
                ("log4net Info", lines =>
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
                foreach ((string _, Action<int> lines) in cases) lines(linesPerRound);
            }

            for (int round = 0; round < rounds; round++)
            {
                random.Shuffle(order);
                foreach (int index in order)
                {
                    long start = Stopwatch.GetTimestamp();
                    cases[index].Lines(linesPerRound);
                    times[index, round] = Stopwatch.GetElapsedTime(start).TotalNanoseconds / linesPerRound;
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

            return 0;
        }

        private static double Quantile(double[] values, double fraction)
        {
            double[] sorted = values.OrderBy(value => value).ToArray();
            return sorted[(int)Math.Round(fraction * (sorted.Length - 1))];
        }
    }
}

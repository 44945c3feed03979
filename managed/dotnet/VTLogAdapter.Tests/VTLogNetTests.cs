// VTLogNet over the real native library: what reaches the log files.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Threading;
using Xunit;

namespace VTLogAdapter.Tests
{
    [Collection(NativeLogCollection.Name)]
    public sealed class VTLogNetTests
    {
        private readonly NativeLogFixture logs;

        public VTLogNetTests(NativeLogFixture logs)
        {
            this.logs = logs;
        }

        // Log names without points: the engine would cut the file name at one.
        private static string UniqueName(string prefix) => prefix + Guid.NewGuid().ToString("N").Substring(0, 12);

        private IReadOnlyList<LogLine> Lines(string name) =>
            logs.ReadLines(name + ".dat").Select(LogLine.Parse).ToList();

        [Theory]
        [InlineData("abc", "def", "abcdef")]
        [InlineData("plain", null, "plain")]
        [InlineData("100%s done %d%%", null, "100%s done %d%%")]
        [InlineData("%s", "%n%x", "%s%n%x")]
        [InlineData("", null, "")]
        [InlineData(null, null, "")]
        [InlineData(null, "def", "def")]
        [InlineData("abc", null, "abc")]
        [InlineData("Grüße aus Köln, ", "日本語 😀", "Grüße aus Köln, 日本語 😀")]
        [InlineData("say \"hi\"", "\ttab", "say \"hi\"\ttab")]
        public void NamedInstanceWritesTheTextVerbatimToItsOwnFile(string? message, string? parameter, string expected)
        {
            string name = UniqueName("Verbatim");
            using (var log = new VTLogNet(name))
            {
                if (parameter == null) log.Trace(message);
                log.Trace(message, parameter);
            }

            IReadOnlyList<LogLine> lines = Lines(name);
            int[] sourceLines = parameter == null ? new[] { 46, 60 } : new[] { 60 };
            Assert.Equal(sourceLines, lines.Select(line => line.SourceLine));
            Assert.All(lines, line =>
            {
                Assert.True(line.IsTrace, line.Text);
                Assert.Equal(expected, line.Message);
            });
            Assert.Single(logs.Files(name + ".dat"));
        }

        [Fact]
        public void UnnamedInstancesWriteTheGeneralLog()
        {
            string token = UniqueName("general");
            using (var empty = new VTLogNet(""))
            using (var none = new VTLogNet(null))
            {
                empty.Trace("empty name ", token);
                none.Trace("null name " + token);
            }

            // The general log is named after the executable of the process.
            string generalFile = Path.GetFileName(Environment.ProcessPath!) + ".dat";
            List<string> messages = logs.ReadLines(generalFile)
                .Select(LogLine.Parse)
                .Select(line => line.Message)
                .Where(message => message.Contains(token))
                .ToList();
            Assert.Equal(new[] { "empty name " + token, "null name " + token }, messages);
        }

        [Fact]
        public void TwoInstancesWithOneNameShareOneFile()
        {
            string name = UniqueName("Shared");
            using (var first = new VTLogNet(name))
            using (var second = new VTLogNet(name))
            {
                first.Trace("first");
                second.Trace("second");
                first.Trace("third");
            }

            Assert.Single(logs.Files(name + ".dat"));
            Assert.Equal(new[] { "first", "second", "third" }, Lines(name).Select(line => line.Message));
        }

        [Fact]
        public void DisposedInstanceWritesNothingAndMayBeDisposedAgain()
        {
            string name = UniqueName("Disposed");
            var log = new CountingLog(name);
            log.Trace("before");
            log.Dispose();
            log.Dispose();
            log.Trace("after");
            log.Trace("after", "dispose");

            Assert.Equal(new[] { true, true }, log.DisposeCalls);
            Assert.Equal(new[] { "before" }, Lines(name).Select(line => line.Message));
        }

        [Fact]
        public void TextBeyondTheLimitsStillGivesOneRecord()
        {
            string name = UniqueName("Long");
            using (var log = new VTLogNet(name))
            {
                log.Trace(new string('x', 5000), new string('y', 5000));
            }

            LogLine line = Assert.Single(Lines(name));
            Assert.StartsWith("xxxx", line.Message);
            Assert.DoesNotContain("y", line.Message);
        }

        [Fact]
        public void ManyThreadsTraceAtOnceWithoutLosingOrMixingLines()
        {
            const int Threads = 8;
            const int PerThread = 250;
            string[] names = { UniqueName("ThreadsA"), UniqueName("ThreadsB") };
            var logsByName = names.Select(name => new VTLogNet(name)).ToArray();
            using var start = new Barrier(Threads);
            var threads = Enumerable.Range(0, Threads).Select(t => new Thread(() =>
            {
                start.SignalAndWait();
                for (int i = 0; i < PerThread; i++)
                {
                    logsByName[(t + i) % 2].Trace($"thread {t} line {i} ", new string((char)('a' + t), 40));
                }
            })).ToList();
            threads.ForEach(thread => thread.Start());
            threads.ForEach(thread => thread.Join());
            foreach (VTLogNet log in logsByName) log.Dispose();

            var expected = new HashSet<string>(
                from t in Enumerable.Range(0, Threads)
                from i in Enumerable.Range(0, PerThread)
                select $"thread {t} line {i} " + new string((char)('a' + t), 40));
            List<string> written = names.SelectMany(name => Lines(name)).Select(line => line.Message).ToList();
            Assert.Equal(Threads * PerThread, written.Count);
            Assert.True(expected.SetEquals(written));
        }

        [Fact]
        public void AssemblyAndClassHaveTheDeclaredShape()
        {
            Assembly assembly = typeof(VTLogNet).Assembly;
            Version version = assembly.GetName().Version!;
            Assert.Equal("VTLogAdapter", assembly.GetName().Name);
            Assert.Equal((1, 0), (version.Major, version.Minor));
            Assert.True(assembly.GetCustomAttribute<CLSCompliantAttribute>()!.IsCompliant);
            Assert.False(assembly.GetCustomAttribute<ComVisibleAttribute>()!.Value);

            Type type = typeof(VTLogNet);
            Assert.False(type.IsSealed);
            Assert.True(typeof(IDisposable).IsAssignableFrom(type));
            // No finalizer: Finalize is still the one of System.Object.
            MethodInfo finalize = type.GetMethod("Finalize", BindingFlags.Instance | BindingFlags.NonPublic)!;
            Assert.Equal(typeof(object), finalize.DeclaringType);
        }

        private sealed class CountingLog : VTLogNet
        {
            public CountingLog(string name)
                : base(name)
            {
            }

            public List<bool> DisposeCalls { get; } = new List<bool>();

            protected override void Dispose(bool disposing)
            {
                DisposeCalls.Add(disposing);
                base.Dispose(disposing);
            }
        }
    }
}

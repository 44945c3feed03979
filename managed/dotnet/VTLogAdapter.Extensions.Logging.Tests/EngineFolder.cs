// A private registry root, LogConfigure.xml and log folder, and the records written there. The
// engine reads its configuration once per process, so the in-process tests share one folder
// (EngineFixture) and keep apart by log name or category; other configurations run in a child.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Runtime.InteropServices;
using System.Text;
using System.Text.RegularExpressions;
using Xunit;

namespace VTLogAdapter.Extensions.Logging.Tests
{
    // One record: with only the source location switched on, a line reads
    // "14:03:07:045  WARN  Some.Category "message" ".
    public sealed record LogRecord(string Level, string Category, string Message)
    {
        private static readonly Regex Start = new Regex(@"^\d\d:\d\d:\d\d:\d{3} ");
        private static readonly Regex Fields = new Regex("^\\S+  (?<level>[A-Z]+)  (?<category>\\S+) \"(?<message>.*)\" $", RegexOptions.Singleline);

        // A record is its first line and the lines after it that do not start a record. A line
        // break inside a message may be written as a break and a tab: the tab is dropped.
        public static IEnumerable<LogRecord> ReadFile(string file)
        {
            var current = new List<string>();
            foreach (string line in File.ReadAllText(file, Encoding.UTF8).Split('\n'))
            {
                if (Start.IsMatch(line) && current.Count > 0)
                {
                    yield return Parse(current);
                    current.Clear();
                }

                current.Add(current.Count > 0 && line.StartsWith('\t') ? line.Substring(1) : line);
            }

            if (current.Count > 0 && current[0].Length > 0) yield return Parse(current);
        }

        private static LogRecord Parse(List<string> lines)
        {
            string text = string.Join("\n", lines).TrimEnd('\n');
            Match match = Fields.Match(text);
            if (!match.Success) throw new FormatException($"not a record: [{text}]");
            return new LogRecord(match.Groups["level"].Value, match.Groups["category"].Value, match.Groups["message"].Value);
        }
    }

    public class EngineFolder : IDisposable
    {
        public EngineFolder(int logLevel)
        {
            Root = Path.Combine(Path.GetTempPath(), "vtlogmeltests" + Guid.NewGuid().ToString("N").Substring(0, 12));
            Registry = Path.Combine(Root, "registry");
            LogFolder = Path.Combine(Root, "logs");
            string install = Path.Combine(Root, "bin");
            string key = Path.Combine(Registry, "HKEY_LOCAL_MACHINE", "SOFTWARE", "Corvessa", "Vantiro");
            Directory.CreateDirectory(key);
            Directory.CreateDirectory(install);
            File.WriteAllText(Path.Combine(key, "ZLM_HOME"), install + "/");
            File.WriteAllText(Path.Combine(install, "LogConfigure.xml"),
                "<LogConfigure enable=\"1\">" +
                "<global processid=\"0\" threadid=\"0\" modulename=\"0\" sourcefileinfo=\"1\"" +
                " sessioninfo=\"0\" excelmode=\"0\">" +
                "<output name=\"file\" enable=\"1\"/><output name=\"outputdebugwindows\" enable=\"0\"/>" +
                "</global>" +
                $"<log filepath=\"{LogFolder}\" loglevel=\"{logLevel}\" filesizelimit=\"10\" usedefaultfilename=\"1\"/>" +
                "</LogConfigure>");
        }

        public const string RegistryVariable = "VTLOGADAPTER_REGISTRY_ROOT";

        public string Root { get; }

        public string Registry { get; }

        public string LogFolder { get; }

        // The general log is named after the executable; under the test host that is dotnet.
        public static string GeneralLogName => Path.GetFileName(Environment.ProcessPath!);

        // Every record of the log `logName` (in any day folder), oldest first.
        public IReadOnlyList<LogRecord> Records(string logName)
        {
            if (!Directory.Exists(LogFolder)) return Array.Empty<LogRecord>();
            return Directory.GetFiles(LogFolder, logName + ".dat", SearchOption.AllDirectories)
                .OrderBy(file => file, StringComparer.Ordinal)
                .SelectMany(LogRecord.ReadFile)
                .ToList();
        }

        // The native library reads the process environment, which Environment.SetEnvironmentVariable
        // does not change on Unix.
        public void UseInThisProcess()
        {
            if (setenv(RegistryVariable, Registry, 1) != 0) throw new InvalidOperationException("setenv failed");
        }

        public void Dispose()
        {
            try
            {
                Directory.Delete(Root, recursive: true);
            }
            catch (IOException)
            {
            }
        }

        [DllImport("libc", CharSet = CharSet.Ansi, BestFitMapping = false, ThrowOnUnmappableChar = true)]
        private static extern int setenv(string name, string value, int overwrite);
    }

    // Everything in this process logs here: loglevel 0 admits every level.
    public sealed class EngineFixture : EngineFolder
    {
        public EngineFixture()
            : base(logLevel: 0)
        {
            UseInThisProcess();
        }
    }

    [CollectionDefinition(Name)]
    public sealed class EngineCollection : ICollectionFixture<EngineFixture>
    {
        public const string Name = "engine";
    }
}

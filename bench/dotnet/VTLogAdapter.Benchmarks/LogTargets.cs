// Every logger of the comparison, set up to append one flushed line per call to its own file in
// a private temporary folder, and the check that each benchmark measured what it claims to.
using System;
using System.Collections.Generic;
using System.IO;
using System.Linq;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading;
using log4net.Appender;
using log4net.Core;
using log4net.Layout;
using log4net.Repository.Hierarchy;
using NLog.Config;
using NLog.Targets;
using Serilog;
using Serilog.Core;
using Serilog.Events;

namespace VTLogAdapter.Benchmarks
{
    internal sealed class LogTargets : IDisposable
    {
        private const string RegistryVariable = "VTLOGADAPTER_REGISTRY_ROOT";
        private const string BaselineFileName = "baseline.log";

        // The engine reads its configuration once per process, at the first Trace: a second
        // setup with another threshold in the same process would silently measure the first.
        private static bool s_engineConfigured;

        private readonly string m_root;
        private readonly string m_logFolder;
        private readonly bool m_writes;
        private readonly NLog.LogFactory m_nlogFactory;
        private readonly Serilog.Core.Logger m_serilog;
        private readonly Hierarchy m_log4netRepository;
        private readonly Timer? m_emptier;
        private readonly object m_emptying = new();
        // Files the emptier found with lines in them, relative to the log folder.
        private readonly HashSet<string> m_written = new();

        // writes: true sets every threshold at the level the benchmarks log at, false one level
        // above it, so that every logger drops the call.
        public LogTargets(bool writes)
        {
            m_writes = writes;

            // The engine takes the file name from the whole path cut at its last point.
            m_root = Path.Combine(Path.GetTempPath(), "vtlogbench" + Guid.NewGuid().ToString("N"));
            if (m_root.Contains('.'))
            {
                throw new InvalidOperationException($"the temporary folder {m_root} contains a point; set TMPDIR to one without");
            }

            m_logFolder = Path.Combine(m_root, "logs");
            Directory.CreateDirectory(m_logFolder);

            // The baseline writes in both cases, so in the filtered-out case it stays out of the
            // folder that must remain empty.
            Baseline = OpenBaseline(Path.Combine(writes ? m_logFolder : m_root, BaselineFileName));
            ConfigureEngine(writes ? 0 : 2);
            Named = new VTLogNet("Orders");
            Unnamed = new VTLogNet(string.Empty);

            m_nlogFactory = CreateNLog(Path.Combine(m_logFolder, "nlog.log"), writes ? NLog.LogLevel.Info : NLog.LogLevel.Warn);
            NLogLogger = m_nlogFactory.GetLogger("Orders");
            m_serilog = CreateSerilog(Path.Combine(m_logFolder, "serilog.log"), writes ? LogEventLevel.Information : LogEventLevel.Warning);
            m_log4netRepository = CreateLog4net(Path.Combine(m_logFolder, "log4net.log"), writes ? Level.Info : Level.Warn);
            Log4netLogger = log4net.LogManager.GetLogger(m_log4netRepository.Name, "Orders");

            // A run writes gigabytes. Dirty pages older than the kernel's expiry (30 s) go back to
            // the disk, and the flusher doing it takes a core from the measured thread, so a logger
            // measured late in a run would pay for the lines of those before it (its iterations
            // jumped from 1.1 to 1.7 us a line here). Cut short before that, the pages are dropped
            // unwritten, as the native benchmark does between its cases. The loggers keep their
            // files open and write on.
            if (writes)
            {
                m_emptier = new Timer(_ => EmptyFiles(), null, EmptyingPeriod, EmptyingPeriod);
            }
        }

        private static readonly TimeSpan EmptyingPeriod = TimeSpan.FromMilliseconds(250);

        public StreamWriter Baseline { get; }

        public VTLogNet Named { get; }

        public VTLogNet Unnamed { get; }

        public NLog.Logger NLogLogger { get; }

        public Serilog.ILogger SerilogLogger => m_serilog;

        public log4net.ILog Log4netLogger { get; }

        // Every file below the log folder that has held lines, relative to it: those the emptier
        // cut and those with lines now.
        public string[] FilesWithLines()
        {
            lock (m_emptying)
            {
                return Directory.GetFiles(m_logFolder, "*", SearchOption.AllDirectories)
                    .Where(file => new FileInfo(file).Length > 0)
                    .Select(file => Path.GetRelativePath(m_logFolder, file))
                    .Union(m_written)
                    .ToArray();
            }
        }

        // Closes every logger and proves the run: with writes, the logger measured in this
        // process has left lines (a logger that silently wrote nothing would look fast); without,
        // no logger has written anything. BenchmarkDotNet runs each benchmark in a process of its
        // own, so only one logger was called; the interleaved run, which calls them all, checks
        // each logger's file itself.
        public void Dispose()
        {
            if (m_emptier != null)
            {
                using var stopped = new ManualResetEvent(false);
                if (m_emptier.Dispose(stopped))
                {
                    stopped.WaitOne();
                }
            }

            Baseline.Dispose();
            Named.Dispose();
            Unnamed.Dispose();
            m_nlogFactory.Shutdown();
            m_serilog.Dispose();
            m_log4netRepository.Shutdown();

            string[] written = FilesWithLines();
            try
            {
                Directory.Delete(m_root, recursive: true);
            }
            catch (IOException)
            {
            }

            if (m_writes && written.Length == 0)
            {
                throw new InvalidOperationException("the measured logger wrote no line");
            }

            if (!m_writes && written.Length != 0)
            {
                throw new InvalidOperationException("lines below the threshold were written to " + string.Join(", ", written));
            }
        }

        // Cuts every file with lines in the log folder to nothing, noting it as written. Through
        // truncate(2) rather than a FileStream, which would honour the loggers' sharing modes.
        private void EmptyFiles()
        {
            lock (m_emptying)
            {
                try
                {
                    foreach (string file in Directory.GetFiles(m_logFolder, "*", SearchOption.AllDirectories))
                    {
                        if (new FileInfo(file).Length == 0)
                        {
                            continue;
                        }

                        m_written.Add(Path.GetRelativePath(m_logFolder, file));
                        _ = truncate(file, 0);
                    }
                }
                catch (Exception e) when (e is IOException or UnauthorizedAccessException)
                {
                    // A file or folder that went meanwhile: the next round looks again.
                }
            }
        }

        [DllImport("libc", SetLastError = true)]
        private static extern int truncate([MarshalAs(UnmanagedType.LPUTF8Str)] string path, long length);

        private static StreamWriter OpenBaseline(string path)
        {
            var stream = new FileStream(path, FileMode.Append, FileAccess.Write, FileShare.ReadWrite);
            return new StreamWriter(stream, new UTF8Encoding(encoderShouldEmitUTF8Identifier: false));
        }

        // A private registry and "LogConfigure.xml" under the temporary folder, found through the
        // registry variable, which must be in the native environment before the first Trace.
        private void ConfigureEngine(int logLevel)
        {
            if (s_engineConfigured)
            {
                throw new InvalidOperationException(
                    "VTLogAdapter reads its configuration once per process: run each benchmark in a process of its own (no in-process toolchain)");
            }

            s_engineConfigured = true;
            string registry = Path.Combine(m_root, "registry");
            string install = Path.Combine(m_root, "bin");
            string key = Path.Combine(registry, "HKEY_LOCAL_MACHINE", "SOFTWARE", "Corvessa", "Vantiro");
            Directory.CreateDirectory(key);
            Directory.CreateDirectory(install);
            File.WriteAllText(Path.Combine(key, "ZLM_HOME"), install + "/");

            // Every field on, as shipped; no debugger output, which on Linux is syslog. The size
            // limit is high enough that no file rolls over, as with the other loggers.
            File.WriteAllText(Path.Combine(install, "LogConfigure.xml"),
                "<LogConfigure enable=\"1\">" +
                "<global processid=\"1\" threadid=\"1\" modulename=\"1\" sourcefileinfo=\"1\" sessioninfo=\"1\" excelmode=\"0\">" +
                "<output name=\"file\" enable=\"1\"/><output name=\"outputdebugwindows\" enable=\"0\"/>" +
                "</global>" +
                $"<log filepath=\"{m_logFolder}\" loglevel=\"{logLevel}\" filesizelimit=\"100000\" usedefaultfilename=\"0\" filename=\"general.log\"/>" +
                "</LogConfigure>");

            // Environment.SetEnvironmentVariable changes only the runtime's own copy on Unix.
            if (setenv(RegistryVariable, registry, 1) != 0)
            {
                throw new InvalidOperationException("setenv failed");
            }
        }

        // The layouts of the other loggers carry about what an engine line carries: time,
        // process, thread, level and message.
        private static NLog.LogFactory CreateNLog(string path, NLog.LogLevel minLevel)
        {
            var factory = new NLog.LogFactory();
            var config = new LoggingConfiguration(factory);
            var target = new FileTarget("file")
            {
                FileName = path,
                Layout = "${time} ${processid} ${threadid} ${level:uppercase=true} ${message}",
                KeepFileOpen = true,
                AutoFlush = true,
            };
            config.AddRule(minLevel, NLog.LogLevel.Fatal, target);
            factory.Configuration = config;
            return factory;
        }

        private static Serilog.Core.Logger CreateSerilog(string path, LogEventLevel minLevel)
        {
            return new LoggerConfiguration()
                .MinimumLevel.Is(minLevel)
                .Enrich.WithProperty("ProcessId", Environment.ProcessId)
                .Enrich.With(new ThreadIdEnricher())
                .WriteTo.File(
                    path,
                    outputTemplate: "{Timestamp:HH:mm:ss.fff} {ProcessId} {ThreadId} {Level:u5} {Message:lj}{NewLine}",
                    fileSizeLimitBytes: null, // the default limit drops events once reached
                    buffered: false,
                    flushToDiskInterval: null)
                .CreateLogger();
        }

        private static Hierarchy CreateLog4net(string path, Level minLevel)
        {
            var repository = (Hierarchy)log4net.LogManager.CreateRepository("bench" + Guid.NewGuid().ToString("N"));
            log4net.GlobalContext.Properties["pid"] = Environment.ProcessId;
            var layout = new PatternLayout("%date{HH:mm:ss,fff} %property{pid} %thread %level %message%newline");
            layout.ActivateOptions();
            var appender = new FileAppender
            {
                File = path,
                AppendToFile = true,
                ImmediateFlush = true,
                Encoding = new UTF8Encoding(encoderShouldEmitUTF8Identifier: false),
                LockingModel = new FileAppender.ExclusiveLock(),
                Layout = layout,
            };
            appender.ActivateOptions();
            repository.Root.AddAppender(appender);
            repository.Root.Level = minLevel;
            repository.Configured = true;
            return repository;
        }

        [DllImport("libc", CharSet = CharSet.Ansi, BestFitMapping = false, ThrowOnUnmappableChar = true)]
        private static extern int setenv(string name, string value, int overwrite);

        // What Serilog.Enrichers.Thread does, without one more package: the property is made
        // once per thread.
        private sealed class ThreadIdEnricher : ILogEventEnricher
        {
            [ThreadStatic]
            private static LogEventProperty? t_property;

            public void Enrich(LogEvent logEvent, ILogEventPropertyFactory propertyFactory)
            {
                t_property ??= propertyFactory.CreateProperty("ThreadId", Environment.CurrentManagedThreadId);
                logEvent.AddPropertyIfAbsent(t_property);
            }
        }
    }
}

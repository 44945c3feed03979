// Demonstration of VTLogNet and of the ILogger provider. The engine finds its configuration
// through a registry value and reads it once per process, at the first record; on POSIX the
// registry is the folder tree named by VTLOGADAPTER_REGISTRY_ROOT. So this program prepares a
// private registry and configuration in a fresh temporary folder, runs itself again as a worker
// with that variable set, and then shows what the worker wrote. Nothing outside the temporary folder is written.
using System;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Threading;
using Microsoft.Extensions.DependencyInjection;
using Microsoft.Extensions.Hosting;
using Microsoft.Extensions.Logging;

namespace VTLogAdapter.Demo
{
    internal static class Program
    {
        private const string WorkerFlag = "--worker";
        private const string RemoveFlag = "--remove";
        private const string RegistryVariable = "VTLOGADAPTER_REGISTRY_ROOT";

        private static int Main(string[] args)
        {
            if (args.Length == 1 && args[0] == WorkerFlag) return Worker.Run();
            bool remove = args.Length == 1 && args[0] == RemoveFlag;
            if (args.Length != 0 && !remove)
            {
                Console.Error.WriteLine($"usage: Demo [{RemoveFlag}]   ({RemoveFlag}: delete the temporary folder at the end)");
                return 2;
            }

            string root = Path.Combine(Path.GetTempPath(), "vtlogadapterdemo" + Guid.NewGuid().ToString("N").Substring(0, 8));

            string registry = Path.Combine(root, "registry");
            string install = Path.Combine(root, "bin");
            string logs = Path.Combine(root, "logs");
            WriteFile(Path.Combine(registry, "HKEY_LOCAL_MACHINE", "SOFTWARE", "Corvessa", "Vantiro", "ZLM_HOME"), install + "/");
            WriteFile(Path.Combine(install, "LogConfigure.xml"),
                "<LogConfigure enable=\"1\">\n" +
                "  <global processid=\"1\" threadid=\"1\" modulename=\"1\" sourcefileinfo=\"1\" sessioninfo=\"1\" excelmode=\"0\">\n" +
                "    <output name=\"file\" enable=\"1\"/>\n" +
                "    <output name=\"outputdebugwindows\" enable=\"0\"/>\n" +
                "  </global>\n" +
                $"  <log filepath=\"{logs}\" loglevel=\"0\" filesizelimit=\"10\" usedefaultfilename=\"1\"/>\n" +
                "</LogConfigure>\n");
            Console.WriteLine($"Temporary folder: {root}");

            int workerExit = RunWorker(registry);
            if (workerExit != 0)
            {
                Console.Error.WriteLine($"worker failed with exit code {workerExit}; its folder is {root}");
                return workerExit;
            }

            Console.WriteLine();
            Console.WriteLine($"Files under {root}:");
            foreach (string file in Directory.GetFiles(root, "*", SearchOption.AllDirectories).OrderBy(f => f, StringComparer.Ordinal))
            {
                Console.WriteLine($"  {Path.GetRelativePath(root, file),-60} {new FileInfo(file).Length,8} bytes");
            }

            string[] logFiles = Directory.Exists(logs)
                ? Directory.GetFiles(logs, "*.dat", SearchOption.AllDirectories).OrderBy(f => f, StringComparer.Ordinal).ToArray()
                : Array.Empty<string>();
            foreach (string file in logFiles)
            {
                Console.WriteLine();
                Console.WriteLine($"First lines of {Path.GetRelativePath(root, file)}:");
                foreach (string line in File.ReadLines(file).Take(3)) Console.WriteLine("  " + line);
            }

            // Lines of the ILogger provider carry the category where VTLogNet's carry its source line.
            Console.WriteLine();
            Console.WriteLine("Lines written through ILogger:");
            string checkoutCategory = $" {typeof(Checkout).FullName} ";
            int checkoutRecords = 0;
            foreach (string file in logFiles)
            {
                // A record starts with its time; the lines after it that do not continue it.
                bool fromILogger = false;
                foreach (string line in File.ReadLines(file))
                {
                    if (line.Length > 0 && char.IsDigit(line[0]))
                    {
                        fromILogger = !line.Contains("VTLogAdapter.cpp(", StringComparison.Ordinal);
                        if (fromILogger && line.Contains(checkoutCategory, StringComparison.Ordinal)) checkoutRecords++;
                    }

                    if (fromILogger) Console.WriteLine($"  {Path.GetFileName(file)}: {line}");
                }
            }

            Console.WriteLine();
            if (logFiles.Length == 0)
            {
                Console.Error.WriteLine($"no log file was written; see {root}");
                return 1;
            }

            // The worker's own ILogger calls are the ones it controls; the host's depend on the
            // framework's version. Without them the demonstration shows nothing of the provider.
            if (checkoutRecords == 0)
            {
                Console.Error.WriteLine($"no line of{checkoutCategory}was written through ILogger; see {root}");
                return 1;
            }

            if (remove)
            {
                Directory.Delete(root, recursive: true);
                Console.WriteLine($"Removed {root}");
            }
            else
            {
                Console.WriteLine($"The folder is left in place; remove it with: rm -r {root}");
            }

            return 0;
        }

        private static void WriteFile(string path, string text)
        {
            Directory.CreateDirectory(Path.GetDirectoryName(path)!);
            File.WriteAllText(path, text);
        }

        // The same program again, with the registry variable set from its start.
        private static int RunWorker(string registry)
        {
            string host = Environment.ProcessPath!;
            var start = new ProcessStartInfo(host) { UseShellExecute = false };
            if (Path.GetFileNameWithoutExtension(host) == "dotnet")
            {
                start.ArgumentList.Add(Assembly.GetEntryAssembly()!.Location);
            }

            start.ArgumentList.Add(WorkerFlag);
            start.Environment[RegistryVariable] = registry;
            using Process worker = Process.Start(start)!;
            worker.WaitForExit();
            return worker.ExitCode;
        }
    }

    internal static class Worker
    {
        private const int Threads = 4;
        private const int MessagesPerThread = 6;

        public static int Run()
        {
            // Three components with logs of their own (performance log, one file per name) and
            // one without a name (general log, named after the executable).
            var logs = new[] { new VTLogNet("Login"), new VTLogNet("Billing"), new VTLogNet("Reports"), new VTLogNet("") };
            using var start = new Barrier(Threads);
            var threads = Enumerable.Range(0, Threads).Select(t => new Thread(() =>
            {
                start.SignalAndWait();
                for (int i = 0; i < MessagesPerThread; i++)
                {
                    VTLogNet log = logs[(t + i) % logs.Length];
                    if (i % 2 == 0) log.Trace($"thread {t}, step {i}: 100% done");
                    else log.Trace($"thread {t}, step {i}: user=", "jörg ☃");
                }
            })).ToList();
            threads.ForEach(thread => thread.Start());
            threads.ForEach(thread => thread.Join());
            foreach (VTLogNet log in logs) log.Dispose();
            Console.WriteLine($"Worker: {Threads} threads traced {Threads * MessagesPerThread} messages through 3 named logs and 1 unnamed.");
            LogThroughHost();
            return 0;
        }

        // An application of today: a generic host whose ILogger writes through the engine. The
        // checkout's category has a log of its own; the host's own messages go to the general log.
        private static void LogThroughHost()
        {
            HostApplicationBuilder builder = Host.CreateApplicationBuilder(new HostApplicationBuilderSettings
            {
                Args = Array.Empty<string>(),
                ContentRootPath = AppContext.BaseDirectory,
            });
            builder.Logging.ClearProviders();
            builder.Logging.SetMinimumLevel(LogLevel.Debug);
            builder.Logging.AddVTLogAdapter(options =>
            {
                options.IncludeScopes = true;
                options.CategoryLogNames["VTLogAdapter.Demo.Checkout"] = "Checkout";
            });
            using IHost host = builder.Build();
            host.Start();
            var checkout = ActivatorUtilities.CreateInstance<Checkout>(host.Services);
            checkout.PlaceOrder(1234, "jörg ☃");
            checkout.PlaceOrder(-1, "nobody");
            host.StopAsync().GetAwaiter().GetResult();
            Console.WriteLine("Worker: a generic host logged through ILogger.");
        }
    }

    internal sealed class Checkout
    {
        private readonly ILogger<Checkout> logger;

        public Checkout(ILogger<Checkout> logger)
        {
            this.logger = logger;
        }

        public void PlaceOrder(int order, string customer)
        {
            using (logger.BeginScope("order {Order}", order))
            {
                logger.LogDebug("validating the cart of {Customer}", customer);
                try
                {
                    if (order < 0) throw new ArgumentOutOfRangeException(nameof(order), order, "no such order");
                    logger.LogInformation(new EventId(10, "OrderPlaced"), "order placed for {Customer}", customer);
                }
                catch (ArgumentOutOfRangeException failure)
                {
                    logger.LogError(failure, "order refused");
                }
            }
        }
    }
}

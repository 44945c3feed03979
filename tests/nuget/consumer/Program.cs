// Logs one line through the packaged library and one through ILogger. The registry root (VTLOGADAPTER_REGISTRY_ROOT)
// comes from the caller's environment: the engine reads the process environment, which
// Environment.SetEnvironmentVariable does not change on Linux.
using System;
using Microsoft.Extensions.Logging;
using VTLogAdapter;

internal static class Program
{
    private static int Main(string[] args)
    {
        if (args.Length != 1)
        {
            Console.Error.WriteLine("usage: Consumer TOKEN");
            return 2;
        }

        using (var log = new VTLogNet("NuGetConsumer"))
        {
            log.Trace("package consumer \u2603: ", args[0]);
        }

        using (ILoggerFactory factory = LoggerFactory.Create(builder => builder.AddVTLogAdapter()))
        {
            factory.CreateLogger("NuGetConsumer.ILogger").LogWarning("ilogger consumer \u2603: {Token}", args[0]);
        }

        Console.WriteLine($"Consumer: traced {args[0]}");
        return 0;
    }
}

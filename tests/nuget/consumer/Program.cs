// Logs one line through the packaged library. The registry root (VTLOGADAPTER_REGISTRY_ROOT)
// comes from the caller's environment: the engine reads the process environment, which
// Environment.SetEnvironmentVariable does not change on Linux.
using System;
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

        Console.WriteLine($"Consumer: traced {args[0]}");
        return 0;
    }
}

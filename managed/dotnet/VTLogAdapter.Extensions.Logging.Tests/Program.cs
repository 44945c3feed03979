// The test program's own entry, for scenarios that need an engine configuration of their own:
// the test host runs the tests, and a test runs this program again as a child with
// "<scenario> <log folder marker>" and the registry root in its environment.
using System;

namespace VTLogAdapter.Extensions.Logging.Tests
{
    internal static class Program
    {
        private static int Main(string[] args)
        {
            if (args.Length == 2 && args[0] == EngineThresholdTests.Scenario) return EngineThresholdTests.RunChild(args[1]);
            Console.Error.WriteLine("run the tests with dotnet test; this program only runs child scenarios");
            return 2;
        }
    }
}

// The test program's own entry, for scenarios that need an engine configuration of their own:
// the test host runs the tests, and a test runs this program again as a child with
// "<scenario> <log name>" and the registry root in its environment. The child maps its
// category to that log name, so its records land in a file of their own for the test to read.
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

// The one message every logger writes; Head + Tail is Text, for Trace(Message, Parameter).
namespace VTLogAdapter.Benchmarks
{
    internal static class Messages
    {
        public const string Head = "order 4711 shipped to warehouse ";
        public const string Tail = "12 after 3 retries";
        public const string Text = Head + Tail;
    }
}

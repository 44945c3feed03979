// The text of one record as the provider hands it to the engine, bound included.
using System;
using Microsoft.Extensions.Logging;
using Xunit;

namespace VTLogAdapter.Extensions.Logging.Tests
{
    public sealed class RecordTextTests
    {
        private const int Capacity = 2047;
        private static readonly string Mark = " [truncated]";
        private static readonly string Pair = "\U0001F600";   // two UTF-16 units

        private static unsafe string Compose(string? message, EventId eventId = default, IExternalScopeProvider? scopes = null)
        {
            char[] buffer = new char[Capacity + 1];
            buffer.AsSpan().Fill('#');
            fixed (char* text = buffer)
            {
                int length = RecordText.Compose(text, message, eventId, scopes, null);
                Assert.Equal('\0', buffer[length]);
                return new string(buffer, 0, length);
            }
        }

        public static TheoryData<string?, int, string?, string> Cases => new TheoryData<string?, int, string?, string>
        {
            { "plain", 0, null, "plain" },
            { null, 0, null, "" },
            { "named", 7, "Saved", "named [7 Saved]" },
            { "unnamed", 7, "", "unnamed [7]" },
            { "", int.MinValue, null, " [-2147483648]" },
            { new string('a', Capacity), 0, null, new string('a', Capacity) },
            { new string('a', Capacity + 1), 0, null, new string('a', Capacity - Mark.Length) + Mark },
            { new string('a', Capacity - 3), 12, null, new string('a', Capacity - Mark.Length) + Mark },
            // The cut never keeps the first half of a pair without the second.
            { new string('a', Capacity - Mark.Length - 1) + Pair + new string('b', 20), 0, null, new string('a', Capacity - Mark.Length - 1) + Mark },
            { new string('a', Capacity - Mark.Length - 2) + Pair + new string('b', 20), 0, null, new string('a', Capacity - Mark.Length - 2) + Pair + Mark },
        };

        [Theory]
        [MemberData(nameof(Cases))]
        public void MessageAndEventIdFitTheBound(string? message, int id, string? name, string expected)
        {
            string composed = Compose(message, new EventId(id, name));
            Assert.Equal(expected, composed);
            Assert.True(composed.Length <= Capacity);
        }

        [Fact]
        public void ScopesFollowOutermostFirstAndCountTowardsTheBound()
        {
            var scopes = new LoggerExternalScopeProvider();
            using (scopes.Push("outer"))
            using (scopes.Push(3))
            {
                Assert.Equal("m [1] => outer => 3", Compose("m", new EventId(1), scopes));
                string full = Compose(new string('a', Capacity - 5), default, scopes);
                Assert.Equal(new string('a', Capacity - Mark.Length) + Mark, full);
            }
        }
    }
}

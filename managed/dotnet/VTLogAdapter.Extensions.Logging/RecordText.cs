// One record's text, built in a caller's buffer so that a message costs no allocation beyond
// the formatted string: the message, " [id name]", " => scope"..., then the exception.
using System;
using Microsoft.Extensions.Logging;

namespace VTLogAdapter.Extensions.Logging
{
    internal unsafe struct RecordText
    {
        // Units of text a record carries, as VTLogNet.Trace does; the buffer holds one more, the
        // terminating zero.
        public const int Capacity = 2047;
        public const string TruncatedMark = " [truncated]";

        private static readonly Action<object?, IntPtr> AppendScopeCallback = AppendScope;

        private readonly char* buffer;
        private int length;
        private bool overflowed;

        private RecordText(char* buffer)
        {
            this.buffer = buffer;
            length = 0;
            overflowed = false;
        }

        // Fills `buffer` (Capacity + 1 units) with the zero-terminated record and returns its
        // length. E.g. ("Saved {Id}" formatted as "Saved 7", new EventId(12, "Save"), scopes
        // "Order 7" and "Cart", null) gives "Saved 7 [12 Save] => Order 7 => Cart". A text that
        // does not fit is cut, never inside a surrogate pair, so that it ends with TruncatedMark.
        public static int Compose(char* buffer, string? message, EventId eventId,
                                  IExternalScopeProvider? scopes, Exception? exception)
        {
            var record = new RecordText(buffer);
            record.Append(message);
            if (eventId.Id != 0)
            {
                record.Append(" [");
                record.AppendNumber(eventId.Id);
                if (!string.IsNullOrEmpty(eventId.Name))
                {
                    record.Append(' ');
                    record.Append(eventId.Name);
                }

                record.Append(']');
            }

            // The callback reaches the record through its address: a capturing lambda would be
            // one allocation per record.
            scopes?.ForEachScope(AppendScopeCallback, (IntPtr)(&record));
            if (exception != null)
            {
                record.Append(Environment.NewLine);
                record.Append(exception.ToString());
            }

            return record.Finish();
        }

        private static void AppendScope(object? scope, IntPtr record)
        {
            var text = (RecordText*)record;
            text->Append(" => ");
            text->Append(scope?.ToString());
        }

        private void Append(string? text)
        {
            if (text == null) return;
            int taken = Math.Min(text.Length, Capacity - length);
            fixed (char* source = text)
            {
                Buffer.MemoryCopy(source, buffer + length, (Capacity - length) * sizeof(char), taken * sizeof(char));
            }

            length += taken;
            if (taken < text.Length) overflowed = true;
        }

        private void Append(char c)
        {
            if (length < Capacity) buffer[length++] = c;
            else overflowed = true;
        }

        private void AppendNumber(int value)
        {
            // Digits by hand: int.ToString would allocate.
            if (value < 0) Append('-');
            uint magnitude = value < 0 ? unchecked(0u - (uint)value) : (uint)value;
            char* digits = stackalloc char[10];
            int count = 0;
            do
            {
                digits[count++] = (char)('0' + (magnitude % 10));
                magnitude /= 10;
            }
            while (magnitude != 0);
            while (count > 0) Append(digits[--count]);
        }

        private int Finish()
        {
            if (overflowed)
            {
                length = Capacity - TruncatedMark.Length;
                if (char.IsHighSurrogate(buffer[length - 1])) length--;
                Append(TruncatedMark);
            }

            buffer[length] = '\0';
            return length;
        }
    }
}

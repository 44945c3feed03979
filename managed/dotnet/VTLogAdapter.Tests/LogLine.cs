// The parts of a written line that VTLogNet decides: level, source location and message.
using System;
using System.Globalization;

namespace VTLogAdapter.Tests
{
    internal sealed class LogLine
    {
        private const string Location = " VTLogAdapter.cpp(";
        private const string Function = ")::VTLogAdapter::VTLogNet::Trace \"";

        private LogLine(string text, bool isTrace, int sourceLine, string message)
        {
            Text = text;
            IsTrace = isTrace;
            SourceLine = sourceLine;
            Message = message;
        }

        public string Text { get; }

        public bool IsTrace { get; }

        public int SourceLine { get; }

        public string Message { get; }

        // Lines look like "... TRACE  VTLogAdapter.cpp(46)::VTLogAdapter::VTLogNet::Trace "text" ";
        // the message runs to the last quotation mark, since quotes inside it are not escaped.
        public static LogLine Parse(string text)
        {
            int location = text.IndexOf(Location, StringComparison.Ordinal);
            int function = location < 0 ? -1 : text.IndexOf(Function, location, StringComparison.Ordinal);
            int end = text.LastIndexOf('"');
            if (function < 0 || end < function + Function.Length || !text.EndsWith("\" ", StringComparison.Ordinal))
            {
                throw new FormatException($"not a VTLogNet line: [{text}]");
            }

            int numberStart = location + Location.Length;
            int sourceLine = int.Parse(text.Substring(numberStart, function - numberStart), CultureInfo.InvariantCulture);
            int messageStart = function + Function.Length;
            bool isTrace = text.Substring(0, location).Contains(" TRACE ");
            return new LogLine(text, isTrace, sourceLine, text.Substring(messageStart, end - messageStart));
        }
    }
}

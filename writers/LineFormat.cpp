// FormatLine: the bytes of one log line. Fields come in a fixed order, chosen by the line-content
// switches; text is UTF-8; however long its parts, the line always ends whole. A line break
// inside any text field is written as a line feed and a tab, so no text can start a line of
// its own that would pass for a record.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "config/ConfigLoader.h"
#include "platform/HotPath.h"
#include "platform/TextConversion.h"
#include "writers/ClassLocation.h"
#include "writers/FileNaming.h"
#include "writers/LogWriterBase.h"

namespace VTLogAdapter {
namespace {

// A converted source file or function name holds at most this many bytes, NUL included.
constexpr std::size_t kFieldCapacity = 1024;

// Room planning of the line buffer. The line ends with the closing quotation mark, separator
// and line feed (then the NUL); the opening quotation mark precedes the message. So every field
// before the message stops at kFieldsEnd, and a field's text stops one byte earlier so that its
// separator still fits: a cut field never shifts the columns that follow it in excel mode.
constexpr std::size_t kClosingBytes = 3;
constexpr std::size_t kFieldsEnd = kLineCapacity - 1 - kClosingBytes - 1;
constexpr std::size_t kTextEnd = kFieldsEnd - 1;

// Each level's word with the blank after it, and its length.
struct LevelWord {
    const char* text;
    std::size_t length;
};
constexpr LevelWord kLevelWords[] = {
    {"INFO ", 5}, {"TRACE ", 6}, {"WARN ", 5}, {"ERROR ", 6}, {"FATAL ", 6}};

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

bool IsUtf8Continuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The bytes between a line's time and its message as a thread last built them, with what they
// were built from. The same writer identity, switches, level and location give the same bytes,
// and a thread logging from one place meets the same ones line after line, so it copies them
// instead of building each field again. Only locations that cannot change their text are kept:
// none at all, or the class's own constants. The thread needs no place in the key: the cache
// is the thread's own, and a thread keeps its identifier for life. The one exception is a
// forked child, whose one thread goes on under a new identifier; its writers take a new
// identity there, so the key misses.
//
// The six line-content switches, processId to excelMode, lie side by side in the settings, so
// the key copies and compares them as one block. Two values that both mean "on" compare unequal
// and merely cost a rebuild.
constexpr std::size_t kSwitchCount = 6;
static_assert(offsetof(LogConfig, excelMode) - offsetof(LogConfig, processId) ==
                  (kSwitchCount - 1) * sizeof(int),
              "the line-content switches are six ints side by side");

struct FieldsKey {
    std::uint64_t identity = 0;   // 0: nothing kept
    int switches[kSwitchCount] = {};
    int level = 0;
    int line = 0;
    const char16_t* sourceFile = nullptr;

    bool operator==(const FieldsKey& other) const {
        return identity == other.identity &&
               std::memcmp(switches, other.switches, sizeof switches) == 0 &&
               level == other.level && line == other.line && sourceFile == other.sourceFile;
    }
};
// Every member has its initialiser, so the object is initialised as the thread starts: a
// thread-local with a constructor to run is reached through a guard and an initialising call on
// every use, which in the shared library costs one more call of the loader's __tls_get_addr a
// line.
struct FieldsCache {
    FieldsKey key;
    std::size_t length = 0;
    char bytes[kFieldCapacity] = {};
};
thread_local FieldsCache fieldsCache;

// The digits of `value` as printf's "%0*d" writes them into `digits` (16 bytes), and their
// count. Only for values outside a field's usual range, so out of the line's path; it takes no
// builder, which then stays in registers.
VTLOG_RARE std::size_t ZeroPaddedDigits(int value, int width, char* digits) {
    char reversed[16];
    std::size_t count = 0;
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value)
                                   : static_cast<unsigned>(value);
    do {
        reversed[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    const int sign = value < 0 ? 1 : 0;
    while (static_cast<int>(count) + sign < width && count + 1 < sizeof reversed) {
        reversed[count++] = '0';
    }
    if (sign != 0) reversed[count++] = '-';
    for (std::size_t i = 0; i < count; ++i) digits[i] = reversed[count - 1 - i];
    return count;
}

// Appends to the line buffer, never past the bounds above. Sits on every line's path, so it
// formats numbers by hand and converts wide text straight into the line.
class LineBuilder {
public:
    // The separator is read from the settings once per line: they may change between lines.
    // `length` bytes at `buffer` are the line so far.
    LineBuilder(char* buffer, const LogConfig* config, std::size_t length = 0)
        : buffer(buffer),
          separator(config != nullptr && config->excelMode != 0 ? '\t' : ' '),
          length(length) {}

    void Separator() {
        if (length < kFieldsEnd) buffer[length++] = separator;
    }

    void Char(char c) {
        if (length < kTextEnd) buffer[length++] = c;
    }

    // UTF-8 text of at most `maxLength` bytes, cut before a character that would not fit whole
    // and before a line feed whose tab would not fit (the text has its breaks continued).
    void Text(const char* text, std::size_t maxLength = kLineCapacity) {
        const std::size_t room = Room(kTextEnd);
        std::size_t count = ::strnlen(text, std::min(maxLength, room));
        if (count < maxLength && text[count] != '\0') {
            while (count > 0 && IsUtf8Continuation(text[count])) --count;
            if (count > 0 && text[count - 1] == '\n') --count;
        }
        std::memcpy(buffer + length, text, count);
        length += count;
    }

    // `count` bytes of UTF-8 text holding no NUL: what Text does with it, without measuring.
    void Bytes(const char* text, std::size_t count) {
        if (count <= Room(kTextEnd)) {
            std::memcpy(buffer + length, text, count);
            length += count;
            return;
        }
        Text(text, count);
    }

    // Two digits with a colon after them, the start of every line.
    void TwoDigits(int value, char after) {
        const unsigned number = static_cast<unsigned>(value);
        if (number < 100 && length + 3 <= kTextEnd) {
            std::memcpy(buffer + length, kDigitPairs + 2 * number, 2);
            buffer[length + 2] = after;
            length += 3;
            return;
        }
        Number(value, 2);
        Char(after);
    }

    // The milliseconds: three digits, as "%03d" prints a value up to 999.
    void Milliseconds(int value) {
        const unsigned number = static_cast<unsigned>(value);
        if (number < 1000 && length + 3 <= kTextEnd) {
            buffer[length++] = static_cast<char>('0' + number / 100);
            std::memcpy(buffer + length, kDigitPairs + 2 * (number % 100), 2);
            length += 2;
            return;
        }
        Number(value, 3);
    }

    // "%d" of a value that is not negative, two digits at a time.
    void Unsigned(int value) {
        if (value < 0) {
            Number(value, 0);
            return;
        }
        char digits[12];
        char* end = digits + sizeof digits;
        char* start = end;
        unsigned number = static_cast<unsigned>(value);
        while (number >= 100) {
            start -= 2;
            std::memcpy(start, kDigitPairs + 2 * (number % 100), 2);
            number /= 100;
        }
        if (number >= 10) {
            start -= 2;
            std::memcpy(start, kDigitPairs + 2 * number, 2);
        } else {
            *--start = static_cast<char>('0' + number);
        }
        Bytes(start, static_cast<std::size_t>(end - start));
    }

    // printf's "%0*d": `width` counts the sign, zeros go between sign and digits.
    void Number(int value, int width) {
        char digits[16];
        const std::size_t count = ZeroPaddedDigits(value, width, digits);
        if (length + count <= kTextEnd) {
            std::memcpy(buffer + length, digits, count);
            length += count;
            return;
        }
        for (std::size_t i = 0; i < count; ++i) Char(digits[i]);
    }

    // Wide text converted to UTF-8, bounded by the field capacity and the room left.
    void Wide(const char16_t* text) {
        const std::size_t capacity = std::min(kFieldCapacity, Room(kTextEnd) + 1);
        length += Utf16ToUtf8(text, buffer + length, capacity, LineBreaks::Continued);
    }

    // The quoted message and the line's end. The message may take all the room the fields
    // left; only the closing bytes are held back for it.
    std::size_t Finish(const char16_t* message) {
        buffer[length++] = '"';
        length += Utf16ToUtf8(message, buffer + length, kLineCapacity - kClosingBytes - length,
                              LineBreaks::Continued);
        buffer[length++] = '"';
        buffer[length++] = separator;
        buffer[length++] = '\n';
        buffer[length] = '\0';
        return length;
    }

    std::size_t Length() const { return length; }
    // `count` bytes that were built at another position without reaching any bound, where
    // they fit as a whole before kTextEnd; false, with nothing appended, where they do not.
    // `readable` bytes lie at `text`.
    bool Fields(const char* text, std::size_t count, std::size_t readable) {
        if (length + count >= kTextEnd) return false;
        // Copied as one block of a size known here, which the compiler copies inline: a call of
        // the C library's memcpy would touch its code and data pages on every line. The bytes
        // past `count` are overwritten by the message or lie past the line's end.
        constexpr std::size_t kBlock = 128;
        if (count <= kBlock && readable >= kBlock && length + kBlock <= kLineCapacity) {
            std::memcpy(buffer + length, text, kBlock);
        } else {
            std::memcpy(buffer + length, text, count);
        }
        length += count;
        return true;
    }
    const char* At(std::size_t position) const { return buffer + position; }

private:
    std::size_t Room(std::size_t end) const { return length < end ? end - length : 0; }

    char* buffer;
    const char separator;
    std::size_t length = 0;
};

}  // namespace

int LogWriterBase::FormatLine(char* buffer, const char16_t* message, const char16_t* sourceFile,
                              const char16_t* function, int line, int level,
                              const LocalTime& time) const {
    FormatLineLength(buffer, message, sourceFile, function, line, level, time);
    return 1;
}

VTLOG_HOT
std::size_t LogWriterBase::FormatLineLength(char* buffer, const char16_t* message,
                                            const char16_t* sourceFile,
                                            const char16_t* function, int line, int level,
                                            const LocalTime& time) const {
    if (buffer == nullptr) return 0;
    // Without settings only the fields that need no switch are written: time, level, message.
    const bool configured = config != nullptr;
    LineBuilder out(buffer, config);

    out.TwoDigits(time.hour, ':');
    out.TwoDigits(time.minute, ':');
    out.TwoDigits(time.second, ':');
    out.Milliseconds(time.milliseconds);

    // What the fields between time and message are built from, for a line whose fields can be
    // kept.
    const bool classLocation = sourceFile == kClassSourceFile && function == kClassFunction;
    const bool keep = configured && (config->sourceFileInfo == 0 || classLocation);
    FieldsKey key;
    if (keep) {
        std::memcpy(key.switches, &config->processId, sizeof key.switches);
        key.identity = identityNumber;
        key.level = level;
        key.line = line;
        key.sourceFile = sourceFile;
        const FieldsCache& kept = *ThreadLocalAddress(fieldsCache);
        if (kept.key == key && out.Fields(kept.bytes, kept.length, sizeof kept.bytes)) {
            return out.Finish(message);
        }
    }
    // Built out of line: the lines of the managed class, nearly all there are, take the copy
    // above, and this code would otherwise lie among theirs.
    // Only plain values cross into it, so that the common path keeps its line in registers.
    return [this, buffer, start = out.Length(), message, sourceFile, function, line, level,
            configured, keep, key]() VTLOG_APART {
        LineBuilder out(buffer, config, start);
        const std::size_t fieldsStart = start;

        out.Char(' ');
        out.Separator();

        if (configured && config->moduleName != 0) {
            out.Bytes(moduleNameField, moduleNameLength);
            out.Separator();
        }
        if (configured && config->sessionInfo != 0) {
            out.Bytes(sessionTag, sessionTagLength);
            out.Separator();
        }
        // Identifiers print as "%d" does, like every other number of the line.
        if (configured && config->processId != 0) {
            out.Bytes(processIdField, processIdLength);
            out.Char(' ');
            out.Separator();
        }
        if (configured && config->threadId != 0) {
            out.Bytes("TID=", 4);
            out.Unsigned(static_cast<int>(platform.GetCurrentThreadId()));
            out.Char(' ');
            out.Separator();
        }

        if (level >= 0 && level < static_cast<int>(sizeof kLevelWords / sizeof kLevelWords[0])) {
            out.Bytes(kLevelWords[level].text, kLevelWords[level].length);
        }
        out.Separator();

        if (configured && config->sourceFileInfo != 0) {
            bool located = false;
            if (sourceFile != nullptr && sourceFile[0] != u'\0') {
                out.Wide(LastPathComponent(sourceFile));
                out.Char('(');
                out.Unsigned(line);
                out.Bytes(")::", 3);
                located = true;
            }
            if (function != nullptr && function[0] != u'\0') {
                out.Wide(function);
                located = true;
            }
            if (located) out.Separator();
        }

        const std::size_t fieldsLength = out.Length() - fieldsStart;
        if (keep && out.Length() < kTextEnd && fieldsLength <= sizeof fieldsCache.bytes) {
            FieldsCache& kept = *ThreadLocalAddress(fieldsCache);
            std::memcpy(kept.bytes, out.At(fieldsStart), fieldsLength);
            kept.length = fieldsLength;
            kept.key = key;
        }
        return out.Finish(message);
    }();
}

}  // namespace VTLogAdapter

// Wide printf-style formatting for log messages: one parse, bounded output, counting in bulk.
#include "core/WideFormat.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/common/Utf8Decode.h"

namespace VTLogAdapter {
namespace {

constexpr int kNoPrecision = -1;
constexpr char16_t kReplacement = 0xFFFD;

// A double's exact decimal expansion ends within 1074 decimal places (its hexadecimal one within
// 13), and every C runtime prints zeros past its own last digit. So a larger precision prints as
// this one with zeros added, which are counted and repeated instead of printed by the runtime.
constexpr int kExactPrecision = 1100;
// Holds any double printed with at most kExactPrecision: the longest is "%f" of the largest
// value, a sign, 309 integral digits, the point and the decimals.
constexpr std::size_t kFloatingText = kExactPrecision + 320;

enum class Length { None, hh, h, l, ll, j, z, t, L, I, I32, I64, w };

enum Flag : unsigned {
    kLeft = 1u << 0,
    kPlus = 1u << 1,
    kSpace = 1u << 2,
    kAlternate = 1u << 3,
    kZero = 1u << 4,
};

struct Directive {
    unsigned flags = 0;
    std::uint64_t width = 0;
    int precision = kNoPrecision;
    Length length = Length::None;
    char16_t conversion = 0;
};

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The destination: stores what fits the buffer and follows the message the engine keeps, its
// first kMaxMessageUnits units. Runs are handled in bulk, so a width of a billion costs no more
// than the units that are stored; the length stops counting one unit past the kept message.
class Sink {
public:
    Sink(char16_t* buffer, std::size_t capacity)
        : buffer(capacity > 0 ? buffer : nullptr),
          limit(capacity == 0 ? 0 : capacity - 1 < kMaxMessageUnits ? capacity - 1
                                                                     : kMaxMessageUnits),
          firstWatched(limit < kMaxMessageUnits - 1 ? limit : kMaxMessageUnits - 1) {}

    // Units of the kept message still to come.
    std::uint64_t Room() const { return length < kMaxMessageUnits ? kMaxMessageUnits - length : 0; }
    // Whether everything that comes now lies past the kept message.
    bool Full() const { return length > kMaxMessageUnits; }

    void Put(char16_t unit) {
        if (length < limit) buffer[length] = unit;
        Advance(1, [unit](std::uint64_t) { return unit; });
    }

    void Append(const char16_t* text, std::size_t count) {
        const std::size_t stored = Stored(count);
        if (stored > 0) std::memcpy(buffer + length, text, stored * sizeof(char16_t));
        Advance(count, [text](std::uint64_t at) { return text[at]; });
    }

    void AppendAscii(const char* text, std::size_t count) {
        const std::size_t stored = Stored(count);
        for (std::size_t i = 0; i < stored; ++i) {
            buffer[length + i] = static_cast<char16_t>(static_cast<unsigned char>(text[i]));
        }
        Advance(count, [text](std::uint64_t at) { return static_cast<char16_t>(text[at]); });
    }

    void Repeat(char16_t unit, std::uint64_t count) {
        const std::uint64_t stored = Stored(count);
        for (std::uint64_t i = 0; i < stored; ++i) buffer[length + i] = unit;
        Advance(count, [unit](std::uint64_t) { return unit; });
    }

    // Terminates the text and returns the length of the kept message, or -1 when formatting
    // failed. Neither cut leaves the first half of a pair without its second.
    int Finish(bool succeeded) {
        if (!succeeded) {
            if (buffer != nullptr) buffer[0] = u'\0';
            return -1;
        }
        if (buffer != nullptr) {
            std::uint64_t end = length < limit ? length : limit;
            if (length > limit && end > 0 && IsHighSurrogate(buffer[end - 1]) &&
                IsLowSurrogate(afterStored)) {
                --end;
            }
            buffer[end] = u'\0';
        }
        std::uint64_t kept = length < kMaxMessageUnits ? length : kMaxMessageUnits;
        if (length > kMaxMessageUnits && IsHighSurrogate(lastKept) && IsLowSurrogate(afterKept)) {
            --kept;
        }
        return static_cast<int>(kept);
    }

private:
    template <typename T>
    T Stored(T count) const {
        const std::uint64_t room = length < limit ? limit - length : 0;
        return count < room ? count : static_cast<T>(room);
    }

    // Moves past a run of `count` units, keeping the units the cuts in Finish look at.
    // `unitAt` gives the unit at an offset of this run.
    template <typename UnitAt>
    void Advance(std::uint64_t count, UnitAt unitAt) {
        if (length + count > firstWatched) {
            Watch(limit, afterStored, count, unitAt);
            Watch(kMaxMessageUnits - 1, lastKept, count, unitAt);
            Watch(kMaxMessageUnits, afterKept, count, unitAt);
        }
        length = count > kMaxMessageUnits + 1 - length ? kMaxMessageUnits + 1 : length + count;
    }

    template <typename UnitAt>
    void Watch(std::uint64_t position, char16_t& unit, std::uint64_t count, UnitAt unitAt) {
        if (position >= length && position - length < count) unit = unitAt(position - length);
    }

    char16_t* buffer;
    const std::uint64_t limit;
    const std::uint64_t firstWatched;
    // At most kMaxMessageUnits + 1: nothing past the unit after the kept message matters.
    std::uint64_t length = 0;
    char16_t afterStored = u'\0';
    char16_t lastKept = u'\0';
    char16_t afterKept = u'\0';
};

class Formatter {
public:
    Formatter(Sink& sink, va_list source) : sink(sink) { va_copy(args, source); }
    ~Formatter() { va_end(args); }
    Formatter(const Formatter&) = delete;
    Formatter& operator=(const Formatter&) = delete;

    bool Run(const char16_t* format) {
        const char16_t* cursor = format;
        while (*cursor != u'\0') {
            if (*cursor != u'%') {
                const char16_t* start = cursor;
                while (*cursor != u'\0' && *cursor != u'%') ++cursor;
                sink.Append(start, static_cast<std::size_t>(cursor - start));
                continue;
            }
            ++cursor;
            Directive directive;
            if (!Parse(cursor, directive) || !Convert(directive)) return false;
        }
        return true;
    }

private:
    static bool ParseNumber(const char16_t*& cursor, std::uint64_t& value) {
        value = 0;
        while (*cursor >= u'0' && *cursor <= u'9') {
            value = value * 10 + static_cast<std::uint64_t>(*cursor - u'0');
            if (value > static_cast<std::uint64_t>(INT_MAX)) return false;
            ++cursor;
        }
        return true;
    }

    // `cursor` stands after the '%'; on success it stands after the conversion character.
    // '*' arguments are taken here, in format order, as the C functions take them.
    bool Parse(const char16_t*& cursor, Directive& directive) {
        if (*cursor == u'%') {
            directive.conversion = u'%';
            ++cursor;
            return true;
        }
        for (;; ++cursor) {
            if (*cursor == u'-') directive.flags |= kLeft;
            else if (*cursor == u'+') directive.flags |= kPlus;
            else if (*cursor == u' ') directive.flags |= kSpace;
            else if (*cursor == u'#') directive.flags |= kAlternate;
            else if (*cursor == u'0') directive.flags |= kZero;
            else break;
        }
        if (*cursor == u'*') {
            const int width = va_arg(args, int);
            if (width < 0) {
                directive.flags |= kLeft;
                directive.width = static_cast<std::uint64_t>(-static_cast<long long>(width));
            } else {
                directive.width = static_cast<std::uint64_t>(width);
            }
            ++cursor;
        } else if (!ParseNumber(cursor, directive.width)) {
            return false;
        }
        if (*cursor == u'.') {
            ++cursor;
            if (*cursor == u'*') {
                const int precision = va_arg(args, int);
                directive.precision = precision < 0 ? kNoPrecision : precision;
                ++cursor;
            } else {
                std::uint64_t precision = 0;
                if (!ParseNumber(cursor, precision)) return false;
                directive.precision = static_cast<int>(precision);
            }
        }
        switch (*cursor) {
            case u'h':
                directive.length = cursor[1] == u'h' ? Length::hh : Length::h;
                cursor += directive.length == Length::hh ? 2 : 1;
                break;
            case u'l':
                directive.length = cursor[1] == u'l' ? Length::ll : Length::l;
                cursor += directive.length == Length::ll ? 2 : 1;
                break;
            case u'I':
                if (cursor[1] == u'3' && cursor[2] == u'2') {
                    directive.length = Length::I32;
                    cursor += 3;
                } else if (cursor[1] == u'6' && cursor[2] == u'4') {
                    directive.length = Length::I64;
                    cursor += 3;
                } else {
                    directive.length = Length::I;
                    cursor += 1;
                }
                break;
            case u'L': directive.length = Length::L; ++cursor; break;
            case u'j': directive.length = Length::j; ++cursor; break;
            case u'z': directive.length = Length::z; ++cursor; break;
            case u't': directive.length = Length::t; ++cursor; break;
            case u'w': directive.length = Length::w; ++cursor; break;
            default: break;
        }
        if (*cursor == u'\0') return false;
        directive.conversion = *cursor++;
        return true;
    }

    bool Convert(const Directive& directive) {
        switch (directive.conversion) {
            case u'%':
                // Only the bare "%%"; "%5%" and the like have no agreed meaning.
                if (directive.flags != 0 || directive.width != 0 ||
                    directive.precision != kNoPrecision || directive.length != Length::None) {
                    return false;
                }
                sink.Put(u'%');
                return true;
            case u'd':
            case u'i':
                return SignedInteger(directive);
            case u'u':
                return UnsignedInteger(directive, 10, false);
            case u'o':
                return UnsignedInteger(directive, 8, false);
            case u'x':
                return UnsignedInteger(directive, 16, false);
            case u'X':
                return UnsignedInteger(directive, 16, true);
            case u'p':
                return Pointer(directive);
            case u'c':
            case u'C':
                return Character(directive);
            case u's':
            case u'S':
                return String(directive);
            case u'e':
            case u'E':
            case u'f':
            case u'F':
            case u'g':
            case u'G':
            case u'a':
            case u'A':
                return Floating(directive);
            default:
                // Includes %n: writing a count through an argument pointer is exactly what a
                // message text must never be able to ask for.
                return false;
        }
    }

    // Reads an integer argument of the type the modifier names; `bits` gets its value, `bytes`
    // its size. False for modifiers that name no integer type.
    bool ReadInteger(Length length, std::uint64_t& bits, unsigned& bytes) {
        switch (length) {
            case Length::None:
                bits = static_cast<unsigned int>(va_arg(args, int));
                bytes = sizeof(int);
                return true;
            case Length::hh:
                bits = static_cast<unsigned int>(va_arg(args, int));
                bytes = 1;
                return true;
            case Length::h:
                bits = static_cast<unsigned int>(va_arg(args, int));
                bytes = sizeof(short);
                return true;
            case Length::l:
                bits = static_cast<unsigned long>(va_arg(args, long));
                bytes = sizeof(long);
                return true;
            case Length::ll:
                bits = static_cast<unsigned long long>(va_arg(args, long long));
                bytes = sizeof(long long);
                return true;
            case Length::j:
                bits = static_cast<std::uintmax_t>(va_arg(args, std::intmax_t));
                bytes = sizeof(std::intmax_t);
                return true;
            case Length::z:
                bits = va_arg(args, std::size_t);
                bytes = sizeof(std::size_t);
                return true;
            case Length::t:
                bits = static_cast<std::size_t>(va_arg(args, std::ptrdiff_t));
                bytes = sizeof(std::ptrdiff_t);
                return true;
            case Length::I:
                bits = va_arg(args, std::uintptr_t);
                bytes = sizeof(std::uintptr_t);
                return true;
            case Length::I32:
                bits = static_cast<std::uint32_t>(va_arg(args, std::int32_t));
                bytes = 4;
                return true;
            case Length::I64:
                bits = static_cast<std::uint64_t>(va_arg(args, std::int64_t));
                bytes = 8;
                return true;
            case Length::L:
            case Length::w:
                return false;
        }
        return false;
    }

    static std::uint64_t Mask(unsigned bytes) {
        return bytes >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * bytes)) - 1;
    }

    bool SignedInteger(const Directive& directive) {
        std::uint64_t bits = 0;
        unsigned bytes = 0;
        if (!ReadInteger(directive.length, bits, bytes)) return false;
        const std::uint64_t mask = Mask(bytes);
        bits &= mask;
        const bool negative = (bits >> (8 * bytes - 1)) & 1u;
        // Two's complement magnitude within the argument's own width, so the most negative
        // value of every size prints without overflow.
        const std::uint64_t magnitude = negative ? ((~bits & mask) + 1) & mask : bits;
        char16_t sign = u'\0';
        if (negative) sign = u'-';
        else if (directive.flags & kPlus) sign = u'+';
        else if (directive.flags & kSpace) sign = u' ';
        EmitInteger(directive, magnitude, sign, 10, false);
        return true;
    }

    bool UnsignedInteger(const Directive& directive, unsigned base, bool upperCase) {
        std::uint64_t bits = 0;
        unsigned bytes = 0;
        if (!ReadInteger(directive.length, bits, bytes)) return false;
        EmitInteger(directive, bits & Mask(bytes), u'\0', base, upperCase);
        return true;
    }

    bool Pointer(const Directive& directive) {
        const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(va_arg(args, void*));
        Directive fixed = directive;
        fixed.flags &= kLeft;
        fixed.precision = static_cast<int>(2 * sizeof(void*));
        EmitInteger(fixed, address, u'\0', 16, true);
        return true;
    }

    void EmitInteger(const Directive& directive, std::uint64_t magnitude, char16_t sign,
                     unsigned base, bool upperCase) {
        const char* digitSet = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
        char16_t digits[24];
        std::size_t first = sizeof(digits) / sizeof(digits[0]);
        for (std::uint64_t rest = magnitude; rest != 0; rest /= base) {
            digits[--first] = static_cast<char16_t>(digitSet[rest % base]);
        }
        const std::size_t digitCount = sizeof(digits) / sizeof(digits[0]) - first;

        const std::uint64_t precision = directive.precision == kNoPrecision
                                            ? 1
                                            : static_cast<std::uint64_t>(directive.precision);
        std::uint64_t zeros = precision > digitCount ? precision - digitCount : 0;
        if (base == 8 && (directive.flags & kAlternate) && zeros == 0) zeros = 1;

        char16_t prefix[3];
        std::size_t prefixLength = 0;
        if (sign != u'\0') prefix[prefixLength++] = sign;
        if (base == 16 && (directive.flags & kAlternate) && magnitude != 0) {
            prefix[prefixLength++] = u'0';
            prefix[prefixLength++] = directive.conversion == u'X' ? u'X' : u'x';
        }

        const std::uint64_t body = prefixLength + zeros + digitCount;
        const std::uint64_t padding = directive.width > body ? directive.width - body : 0;
        const bool left = (directive.flags & kLeft) != 0;
        // An explicit precision already fixes the digit count, so it turns zero padding off.
        const bool zeroPad =
            !left && (directive.flags & kZero) && directive.precision == kNoPrecision;
        if (!left && !zeroPad) sink.Repeat(u' ', padding);
        sink.Append(prefix, prefixLength);
        if (zeroPad) sink.Repeat(u'0', padding);
        sink.Repeat(u'0', zeros);
        sink.Append(digits + first, digitCount);
        if (left) sink.Repeat(u' ', padding);
    }

    static bool IsWideText(const Directive& directive) {
        if (directive.length == Length::l || directive.length == Length::w) return true;
        if (directive.length == Length::h) return false;
        // Windows wide functions: lower case is the caller's own width, upper case the other.
        return directive.conversion == u'c' || directive.conversion == u's';
    }

    void Padded(const Directive& directive, std::uint64_t units, bool before) {
        if (directive.width <= units) return;
        if (((directive.flags & kLeft) == 0) == before) sink.Repeat(u' ', directive.width - units);
    }

    bool Character(const Directive& directive) {
        char16_t unit = 0;
        const int value = va_arg(args, int);
        if (IsWideText(directive)) {
            unit = static_cast<char16_t>(value);
        } else {
            // A single byte is only a whole UTF-8 character when it is ASCII.
            const unsigned char byte = static_cast<unsigned char>(value);
            unit = byte < 0x80 ? static_cast<char16_t>(byte) : kReplacement;
        }
        Padded(directive, 1, true);
        sink.Put(unit);
        Padded(directive, 1, false);
        return true;
    }

    bool String(const Directive& directive) {
        const bool wide = IsWideText(directive);
        const void* argument =
            wide ? static_cast<const void*>(va_arg(args, const char16_t*))
                 : static_cast<const void*>(va_arg(args, const char*));
        if (wide || argument == nullptr) {
            WideString(directive, argument != nullptr
                                      ? static_cast<const char16_t*>(argument)
                                      : u"(null)");
        } else {
            NarrowString(directive, static_cast<const unsigned char*>(argument));
        }
        return true;
    }

    // Past the width and past the kept message, the length of a text no longer changes what
    // is kept, so no more of it is read than that.
    std::uint64_t UnitsThatMatter(const Directive& directive) const {
        return (directive.width > sink.Room() ? directive.width : sink.Room()) + 1;
    }

    void WideString(const Directive& directive, const char16_t* text) {
        const std::uint64_t matter = UnitsThatMatter(directive);
        const bool byPrecision = directive.precision != kNoPrecision &&
                                 static_cast<std::uint64_t>(directive.precision) <= matter;
        const std::size_t limit = static_cast<std::size_t>(
            byPrecision ? static_cast<std::uint64_t>(directive.precision) : matter);
        std::size_t units = 0;
        while (units < limit && text[units] != u'\0') ++units;
        // The unit after the precision may not be readable, so a high surrogate in the last
        // place counts as the first half of a pair that does not fit.
        if (byPrecision && units == limit && units > 0 && IsHighSurrogate(text[units - 1])) {
            --units;
        }
        Padded(directive, units, true);
        sink.Append(text, units);
        Padded(directive, units, false);
    }

    // Reads the character at `offset` of NUL-terminated UTF-8 `text`, of which at most `limit`
    // bytes may be read. Returns the bytes it takes, or 0 at the terminator or where the limit
    // cuts a character (which is then left out rather than shown in part).
    static std::size_t NextNarrow(const unsigned char* text, std::size_t offset,
                                  std::size_t limit, std::uint32_t& codePoint) {
        if (offset >= limit || text[offset] == 0) return 0;
        const std::size_t taken = DecodeUtf8(text + offset, limit - offset, codePoint);
        return codePoint == kUtf8Incomplete ? 0 : taken;
    }

    void NarrowString(const Directive& directive, const unsigned char* text) {
        const std::size_t limit = directive.precision == kNoPrecision
                                      ? SIZE_MAX
                                      : static_cast<std::size_t>(directive.precision);
        std::uint32_t codePoint = 0;
        if (directive.width > 0 && (directive.flags & kLeft) == 0) {
            std::uint64_t units = 0;
            std::size_t offset = 0;
            while (units < directive.width) {
                const std::size_t taken = NextNarrow(text, offset, limit, codePoint);
                if (taken == 0) break;
                offset += taken;
                units += codePoint >= 0x10000 ? 2 : 1;
            }
            Padded(directive, units, true);
        }
        std::uint64_t units = 0;
        std::size_t offset = 0;
        while (!sink.Full()) {
            const std::size_t taken = NextNarrow(text, offset, limit, codePoint);
            if (taken == 0) break;
            offset += taken;
            if (codePoint >= 0x10000) {
                codePoint -= 0x10000;
                sink.Put(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
                sink.Put(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
                units += 2;
            } else {
                sink.Put(static_cast<char16_t>(codePoint));
                ++units;
            }
        }
        Padded(directive, units, false);
    }

    bool Floating(const Directive& directive) {
        // A long double is narrowed so that every C runtime we build against prints it the
        // same way (not all of them take the L modifier); log output needs no more digits.
        const double value = directive.length == Length::L
                                 ? static_cast<double>(va_arg(args, long double))
                                 : va_arg(args, double);

        // The C runtime does the digits; sign, width and padding stay here, so a wide field
        // never needs a wide scratch buffer.
        char narrowFormat[12];
        std::size_t at = 0;
        narrowFormat[at++] = '%';
        if (directive.flags & kPlus) narrowFormat[at++] = '+';
        if (directive.flags & kSpace) narrowFormat[at++] = ' ';
        if (directive.flags & kAlternate) narrowFormat[at++] = '#';
        if (directive.precision != kNoPrecision) {
            narrowFormat[at++] = '.';
            narrowFormat[at++] = '*';
        }
        narrowFormat[at++] = static_cast<char>(directive.conversion);
        narrowFormat[at] = '\0';

        const bool finite = std::isfinite(value);
        const bool hexadecimal = directive.conversion == u'a' || directive.conversion == u'A';
        const bool general = directive.conversion == u'g' || directive.conversion == u'G';
        int precision = directive.precision;
        std::uint64_t zeros = 0;
        if (precision > kExactPrecision) {
            // "%g" drops trailing zeros unless '#' asks to keep them; infinity and NaN have
            // no digits to extend.
            if (finite && (!general || (directive.flags & kAlternate))) {
                zeros = static_cast<std::uint64_t>(precision - kExactPrecision);
            }
            precision = kExactPrecision;
        }

        char text[kFloatingText];
        const int length = Print(text, sizeof(text), narrowFormat, precision, value);
        // Cannot happen for a double; refused rather than shown in part.
        if (length < 0 || static_cast<std::size_t>(length) >= sizeof(text)) return false;
        const std::size_t total = static_cast<std::size_t>(length);

        const char lead = total > 0 ? text[0] : '\0';
        std::size_t prefix = (lead == '-' || lead == '+' || lead == ' ') ? 1 : 0;
        if (hexadecimal && total > prefix + 1 && text[prefix] == '0' &&
            (text[prefix + 1] == 'x' || text[prefix + 1] == 'X')) {
            prefix += 2;
        }
        // The added zeros belong to the digits, before the exponent if there is one.
        std::size_t digitsEnd = total;
        if (zeros > 0) {
            const char exponent = hexadecimal ? 'p' : 'e';
            for (std::size_t i = total; i-- > prefix;) {
                if ((text[i] | 0x20) == exponent) {
                    digitsEnd = i;
                    break;
                }
            }
        }
        const std::uint64_t printed = total + zeros;
        const std::uint64_t padding = directive.width > printed ? directive.width - printed : 0;
        const bool left = (directive.flags & kLeft) != 0;
        const bool zeroPad = !left && (directive.flags & kZero) && finite;
        if (!left && !zeroPad) sink.Repeat(u' ', padding);
        sink.AppendAscii(text, prefix);
        if (zeroPad) sink.Repeat(u'0', padding);
        sink.AppendAscii(text + prefix, digitsEnd - prefix);
        sink.Repeat(u'0', zeros);
        sink.AppendAscii(text + digitsEnd, total - digitsEnd);
        if (left) sink.Repeat(u' ', padding);
        return true;
    }

    static int Print(char* out, std::size_t size, const char* narrowFormat, int precision,
                     double value) {
        return precision == kNoPrecision ? std::snprintf(out, size, narrowFormat, value)
                                         : std::snprintf(out, size, narrowFormat, precision, value);
    }

    Sink& sink;
    va_list args;
};

}  // namespace

int FormatWideV(char16_t* buffer, std::size_t capacity, const char16_t* format,
                va_list args) noexcept {
    if (buffer == nullptr) capacity = 0;
    Sink sink(buffer, capacity);
    bool succeeded = false;
    if (format != nullptr) {
        Formatter formatter(sink, args);
        succeeded = formatter.Run(format);
    }
    return sink.Finish(succeeded);
}

char16_t* FormatWideAllocV(const char16_t* format, va_list args) noexcept {
    // One pass into the largest message there can be, then a copy of exactly its size.
    char16_t message[kMaxMessageUnits + 1];
    const int length = FormatWideV(message, kMaxMessageUnits + 1, format, args);
    if (length < 0) return nullptr;
    const std::size_t size = static_cast<std::size_t>(length) + 1;
    char16_t* text = new (std::nothrow) char16_t[size];
    if (text == nullptr) return nullptr;
    std::memcpy(text, message, size * sizeof(char16_t));
    return text;
}

}  // namespace VTLogAdapter

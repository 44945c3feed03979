// The wide printf formatter that turns LogEx arguments into the message.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/WideFormat.h"

namespace VTLogAdapter::Testing {
namespace {

constexpr char16_t kGuard = 0xBEEF;

// Formats the way LogEx does; a refused format shows as "<refused>".
std::u16string Format(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    char16_t* text = FormatWideAllocV(format, args);
    va_end(args);
    if (text == nullptr) return u"<refused>";
    std::u16string result(text);
    delete[] text;
    return result;
}

int Measure(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = FormatWideV(nullptr, 0, format, args);
    va_end(args);
    return length;
}

int FormatInto(char16_t* buffer, std::size_t capacity, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int length = FormatWideV(buffer, capacity, format, args);
    va_end(args);
    return length;
}

std::string Shown(const char16_t* format) {
    return ::testing::PrintToString(std::u16string(format));
}

template <typename T>
struct Case {
    const char16_t* format;
    T value;
    const char16_t* expected;
};

// Checks the text and that measuring alone agrees with it.
template <typename T>
void ExpectAll(const std::vector<Case<T>>& cases) {
    for (const Case<T>& c : cases) {
        const std::u16string expected(c.expected);
        EXPECT_EQ(expected, Format(c.format, c.value)) << Shown(c.format);
        EXPECT_EQ(static_cast<int>(expected.size()), Measure(c.format, c.value))
            << Shown(c.format);
    }
}

TEST(WideFormat, Utf16Strings) {
    ExpectAll<const char16_t*>({
        {u"[%s]", u"plain", u"[plain]"},
        {u"%s", u"a\U0001F600b", u"a\U0001F600b"},
        {u"%ls", u"wide", u"wide"},
        {u"%ws", u"wide", u"wide"},
        {u"%lS", u"wide", u"wide"},
        {u"%5s|", u"ab", u"   ab|"},
        {u"%-5s|", u"ab", u"ab   |"},
        {u"%05s", u"ab", u"   ab"},  // zeros are for numbers
        {u"%.1s", u"abc", u"a"},
        {u"%.0s", u"abc", u""},
        {u"%.2s", u"a\U0001F600", u"a"},  // a pair is never cut in half
        {u"%.3s", u"a\U0001F600z", u"a\U0001F600"},
        {u"%4.2s|", u"a\U0001F600", u"   a|"},
        {u"%s", nullptr, u"(null)"},
        {u"%.3s", nullptr, u"(nu"},
        {u"%8s", nullptr, u"  (null)"},
        {u"%s", u"", u""},
    });
    // Lone surrogates are passed on untouched; the UTF-8 conversion of the line deals with them.
    std::u16string lone = u"a";
    lone += static_cast<char16_t>(0xD800);
    lone += u"b";
    EXPECT_EQ(lone, Format(u"%s", lone.c_str()));
}

TEST(WideFormat, NarrowStringsAreDecodedAsUtf8) {
    ExpectAll<const char*>({
        {u"%hs", "abc", u"abc"},
        {u"%S", "abc", u"abc"},
        {u"%hS", "abc", u"abc"},
        {u"%hs", "caf\xC3\xA9", u"caf\u00E9"},
        {u"%hs", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {u"%hs", "a\xFF" "b", u"a\uFFFD" "b"},
        {u"%hs", "\xE2\x82" "x", u"\uFFFDx"},    // incomplete sequence; the next text survives
        {u"%hs", "\xE2\x82", u"\uFFFD"},         // cut by the terminator
        {u"%hs", "\xC0\xAF", u"\uFFFD\uFFFD"},   // overlong
        {u"%hs", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},           // encoded surrogate
        {u"%hs", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
        {u"%.2hs", "\xC3\xA9!", u"\u00E9"},      // precision counts bytes
        {u"%.1hs", "\xC3\xA9", u""},             // never half a character
        {u"%.3hs", "\xF0\x9F\x98\x80", u""},
        {u"%4hs|", "\xC3\xA9", u"   \u00E9|"},   // width counts UTF-16 units
        {u"%-3hs|", "\xF0\x9F\x98\x80", u"\U0001F600 |"},
        {u"%hs", nullptr, u"(null)"},
        {u"%.2S", nullptr, u"(n"},
    });
}

TEST(WideFormat, Characters) {
    ExpectAll<int>({
        {u"%c", u'x', u"x"},
        {u"%c", 0x20AC, u"\u20AC"},
        {u"%lc", 0xE9, u"\u00E9"},
        {u"%wc", u'w', u"w"},
        {u"%hc", 'y', u"y"},
        {u"%C", 'z', u"z"},
        {u"%hc", 0xE9, u"\uFFFD"},  // a lone byte above ASCII is no UTF-8 character
        {u"%3c|", u'x', u"  x|"},
        {u"%-3c|", u'x', u"x  |"},
    });
}

TEST(WideFormat, Integers) {
    ExpectAll<int>({
        {u"%d", 42, u"42"},          {u"%i", -42, u"-42"},        {u"%d", 0, u"0"},
        {u"%d", INT_MIN, u"-2147483648"},                         {u"%d", INT_MAX, u"2147483647"},
        {u"%+d", 5, u"+5"},          {u"% d", 5, u" 5"},          {u"%+ d", 5, u"+5"},
        {u"% d", -5, u"-5"},         {u"%5d|", 42, u"   42|"},    {u"%-5d|", 42, u"42   |"},
        {u"%05d", -42, u"-0042"},    {u"%-05d|", 42, u"42   |"},  {u"%.3d", 7, u"007"},
        {u"%08.3d", -7, u"    -007"},  // a precision turns zero padding off
        {u"%.0d", 0, u""},           {u"%3.0d|", 0, u"   |"},
        {u"%u", -1, u"4294967295"},  {u"%+u", 1, u"1"},           {u"%x", -1, u"ffffffff"},
        {u"%x", 255, u"ff"},         {u"%X", 255, u"FF"},         {u"%#x", 255, u"0xff"},
        {u"%#X", 255, u"0XFF"},      {u"%#x", 0, u"0"},           {u"%#08x", 255, u"0x0000ff"},
        {u"%#8x", 255, u"    0xff"}, {u"%o", 8, u"10"},           {u"%#o", 8, u"010"},
        {u"%#o", 0, u"0"},           {u"%#.0o", 0, u"0"},         {u"%#.3o", 8, u"010"},
        {u"%hd", 65535, u"-1"},      {u"%hd", -32768, u"-32768"}, {u"%hu", 70000, u"4464"},
        {u"%hhd", 255, u"-1"},       {u"%hhu", 256, u"0"},        {u"%hhx", 0x1234, u"34"},
        {u"%I32d", -1, u"-1"},       {u"%I32x", -1, u"ffffffff"},
    });
    ExpectAll<long long>({
        {u"%lld", LLONG_MIN, u"-9223372036854775808"},
        {u"%lld", LLONG_MAX, u"9223372036854775807"},
        {u"%llu", -1LL, u"18446744073709551615"},
        {u"%llo", -1LL, u"1777777777777777777777"},
        {u"%#llo", -1LL, u"01777777777777777777777"},
        {u"%+20lld|", 1LL << 40, u"      +1099511627776|"},
    });
    ExpectAll<std::int64_t>({
        {u"%I64d", -1234567890123, u"-1234567890123"},
        {u"%I64X", 0x123456789ABCDEF, u"123456789ABCDEF"},
        {u"%I64u", INT64_MIN, u"9223372036854775808"},
    });
    ExpectAll<std::intmax_t>({{u"%jd", -5, u"-5"}});
    ExpectAll<long>({{u"%ld", -123456L, u"-123456"}, {u"%lx", 0xABCL, u"abc"}});
    ExpectAll<std::size_t>({{u"%zu", 123, u"123"}, {u"%Iu", 456, u"456"}});
    ExpectAll<std::ptrdiff_t>({{u"%td", -7, u"-7"}, {u"%Id", -8, u"-8"}});
}

TEST(WideFormat, PointersAsWindowsPrintsThem) {
    const std::size_t digits = 2 * sizeof(void*);
    void* pointer = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0xBEEF));
    const std::u16string text = std::u16string(digits - 4, u'0') + u"BEEF";
    EXPECT_EQ(text, Format(u"%p", pointer));
    EXPECT_EQ(std::u16string(digits, u'0'), Format(u"%p", static_cast<void*>(nullptr)));
    EXPECT_EQ(text, Format(u"%#+0p", pointer));  // flags add no prefix, sign or zeros
    EXPECT_EQ(u"[" + text + std::u16string(20 - digits, u' ') + u"]",
              Format(u"[%-20p]", pointer));
}

TEST(WideFormat, FloatingPoint) {
    ExpectAll<double>({
        {u"%f", 3.14159, u"3.141590"},
        {u"%.2f", 3.14159, u"3.14"},
        {u"%.0f", 2.4, u"2"},
        {u"%#.0f", 3.0, u"3."},
        {u"%F", 1.5, u"1.500000"},
        {u"%e", 31415.9, u"3.141590e+04"},
        {u"%.1E", 0.000123, u"1.2E-04"},
        {u"%g", 0.0001, u"0.0001"},
        {u"%g", 1e-5, u"1e-05"},
        {u"%g", 100000.0, u"100000"},
        {u"%G", 1e20, u"1E+20"},
        {u"%#g", 1.0, u"1.00000"},
        {u"%10.3f|", 3.14159, u"     3.142|"},
        {u"%-10.1e|", -2.5, u"-2.5e+00  |"},
        {u"%010.2f", -3.14159, u"-000003.14"},
        {u"%+08.1f", 2.0, u"+00002.0"},
        {u"% .1f", 2.0, u" 2.0"},
        {u"%08f", HUGE_VAL, u"     inf"},  // infinity is padded with blanks, never zeros
        {u"%-6f|", -HUGE_VAL, u"-inf  |"},
    });
    EXPECT_EQ(u"2.50", Format(u"%.2Lf", 2.5L));
    // Hexadecimal digits vary between C runtimes; the zeros must follow the "0x" whatever they are.
    const std::u16string hex = Format(u"%012.2a", 1.0);
    EXPECT_EQ(12u, hex.size());
    EXPECT_EQ(u"0x0", hex.substr(0, 3));
    // Longer than any scratch buffer, and still stored whole.
    const std::u16string wide = Format(u"%.600f", 1.0);
    EXPECT_EQ(602u, wide.size());
    EXPECT_EQ(u"1.000", wide.substr(0, 5));
    EXPECT_EQ(602, Measure(u"%.600f", 1.0));
}

TEST(WideFormat, StarTakesWidthAndPrecisionFromArguments) {
    EXPECT_EQ(u"   42", Format(u"%*d", 5, 42));
    EXPECT_EQ(u"42   |", Format(u"%*d|", -5, 42));  // a negative width left-justifies
    EXPECT_EQ(u"00042", Format(u"%0*d", 5, 42));
    EXPECT_EQ(u"3.14", Format(u"%.*f", 2, 3.14159));
    EXPECT_EQ(u"abc", Format(u"%.*s", -1, u"abc"));  // a negative precision is none
    EXPECT_EQ(u"7", Format(u"%.*d", -3, 7));
    EXPECT_EQ(u"    ab|x", Format(u"%*.*s|%c", 6, 2, u"abcd", u'x'));
}

TEST(WideFormat, PercentAndMixedDirectives) {
    EXPECT_EQ(u"100%", Format(u"100%%"));
    EXPECT_EQ(u"%d 5", Format(u"%%d %d", 5));  // "%%" takes no argument
    EXPECT_EQ(u"no directives", Format(u"no directives"));
    EXPECT_EQ(u"id=7 name=caf\u00E9 op=\U0001F600 1.5% 0x1f",
              Format(u"id=%d name=%hs op=%s %.1f%% %#x", 7, "caf\xC3\xA9", u"\U0001F600", 1.5,
                     31));
}

TEST(WideFormat, MessageOf2047UnitsKeepsItsLength) {
    std::u16string text;
    for (int i = 0; text.size() < 2045; ++i) text += i % 7 == 0 ? u"\U0001F600" : u"x";
    text.resize(2047, u'y');
    EXPECT_EQ(text, Format(u"%s", text.c_str()));
    EXPECT_EQ(text, Format(text.c_str()));

    std::vector<char16_t> buffer(2048 + 8, kGuard);
    EXPECT_EQ(2047, FormatInto(buffer.data(), 2048, u"%s", text.c_str()));
    EXPECT_EQ(text, std::u16string(buffer.data()));
    EXPECT_EQ(kGuard, buffer[2048]);
}

TEST(WideFormat, CutBuffersKeepThePrefixAndStayWithinCapacity) {
    const std::u16string full = u"key=00042 end";
    for (std::size_t capacity = 0; capacity <= full.size() + 2; ++capacity) {
        std::vector<char16_t> buffer(capacity + 8, kGuard);
        EXPECT_EQ(static_cast<int>(full.size()),
                  FormatInto(buffer.data(), capacity, u"%s=%05d %hs", u"key", 42, "end"));
        for (std::size_t i = capacity; i < buffer.size(); ++i) {
            ASSERT_EQ(kGuard, buffer[i]) << "capacity " << capacity << ", unit " << i;
        }
        if (capacity > 0) {
            EXPECT_EQ(full.substr(0, capacity - 1), std::u16string(buffer.data()))
                << "capacity " << capacity;
        }
    }
    EXPECT_EQ(static_cast<int>(full.size()),
              FormatInto(nullptr, 0, u"%s=%05d %hs", u"key", 42, "end"));
}

TEST(WideFormat, CutNeverSplitsASurrogatePair) {
    char16_t buffer[4] = {kGuard, kGuard, kGuard, kGuard};
    EXPECT_EQ(3, FormatInto(buffer, 3, u"a%s", u"\U0001F600"));
    EXPECT_EQ(u"a", std::u16string(buffer));
    EXPECT_EQ(kGuard, buffer[3]);
    EXPECT_EQ(3, FormatInto(buffer, 3, u"a%hs", "\xF0\x9F\x98\x80"));
    EXPECT_EQ(u"a", std::u16string(buffer));
    // A lone high surrogate is no pair: the cut keeps it like any other unit.
    const char16_t lone[] = {u'a', 0xD800, u'b', u'\0'};
    EXPECT_EQ(3, FormatInto(buffer, 3, u"%s", lone));
    EXPECT_EQ(std::u16string(lone, 2), std::u16string(buffer));
}

TEST(WideFormat, PercentNIsRefusedAndWritesNothing) {
    int count = 12345;
    short small = 123;
    EXPECT_EQ(u"<refused>", Format(u"abc%n", &count));
    EXPECT_EQ(-1, Measure(u"abc%n", &count));
    EXPECT_EQ(u"<refused>", Format(u"%hn", &small));
    EXPECT_EQ(u"<refused>", Format(u"%lln", &count));
    EXPECT_EQ(12345, count);
    EXPECT_EQ(123, small);
}

TEST(WideFormat, MalformedFormatsAreRefused) {
    for (const char16_t* format :
         {u"abc%", u"%", u"%-", u"%5", u"%5.", u"%.3", u"%l", u"%hh", u"%I64", u"%y", u"%Z",
          u"%k", u"%Ld", u"%wx", u"%lhd", u"%5%", u"%*5d", u"%2147483648d", u"%.2147483648f"}) {
        EXPECT_EQ(-1, Measure(format, 1, 2)) << Shown(format);
        char16_t buffer[8] = {u'#', u'#', u'#', u'#', u'#', u'#', u'#', u'#'};
        EXPECT_EQ(-1, FormatInto(buffer, 8, format, 1, 2)) << Shown(format);
        EXPECT_EQ(u'\0', buffer[0]) << Shown(format);
        EXPECT_EQ(u"<refused>", Format(format, 1, 2)) << Shown(format);
    }
    EXPECT_EQ(-1, Measure(nullptr));
}

// The C runtime's own text for `format` (at most a few thousand characters), widened.
std::u16string Printed(const char* format, double value) {
    char text[4096];
    const int length = std::snprintf(text, sizeof text, format, value);
    return std::u16string(text, text + (length > 0 ? length : 0));
}

// Only the first 2047 units of a result are kept, and nothing beyond them is produced: each of
// these would otherwise take gigabytes or seconds. What is kept is the unbounded text's prefix.
TEST(WideFormat, ResultsAreCutAt2047UnitsWithoutProducingTheRest) {
    constexpr std::size_t kKept = 2047;
    const std::u16string spaces(kKept, u' ');
    const std::u16string zeros(kKept, u'0');
    const std::u16string pair = u"\U0001F600";
    int count = 5;
    struct Row {
        const char* what;
        std::u16string result;
        std::u16string expected;
    };
    const Row rows[] = {
        {"width d", Format(u"%1000000000d", 7), spaces},
        {"left width i", Format(u"%-1000000000i", 7), u"7" + spaces.substr(1)},
        {"precision u", Format(u"%.1000000000u", 7u), zeros},
        {"precision x", Format(u"%#.1000000000x", 255u), u"0x" + zeros.substr(2)},
        {"width o", Format(u"%01000000000o", 8u), zeros},
        {"width X", Format(u"%-1000000000X", 255u), u"FF" + spaces.substr(2)},
        {"width p", Format(u"%1000000000p", nullptr), spaces},
        {"width c", Format(u"%-1000000000c", u'c'), u"c" + spaces.substr(1)},
        {"width s", Format(u"%1000000000s", u"ab"), spaces},
        {"width ls", Format(u"%-1000000000ls", u"ab"), u"ab" + spaces.substr(2)},
        {"width hs", Format(u"%-1000000000hs", "ab"), u"ab" + spaces.substr(2)},
        {"width S", Format(u"%1000000000S", "ab"), spaces},
        {"star width", Format(u"%*d|", 1000000000, 7), spaces},
        {"negative star width", Format(u"%*s|", -1000000000, u"ab"), u"ab" + spaces.substr(2)},
        {"star precision", Format(u"%.*f", 300000000, 1.0), u"1." + zeros.substr(2)},
        {"precision e", Format(u"%.300000000e", 1.0), u"1." + zeros.substr(2)},
        {"precision E", Format(u"%+.300000000E", 2.5), u"+2.5" + zeros.substr(4)},
        {"precision f", Format(u"%.300000000f", -0.5), u"-0.5" + zeros.substr(4)},
        {"precision F", Format(u"%1000000000.300000000F", 0.5), spaces},
        {"precision #g", Format(u"%#.300000000g", 1.0), u"1." + zeros.substr(2)},
        {"precision G", Format(u"%.300000000G", 0.1), Printed("%.2000G", 0.1)},
        {"precision a", Format(u"%.300000000a", 1.0), u"0x1." + zeros.substr(4)},
        {"precision A", Format(u"%.300000000A", 1.0), u"0X1." + zeros.substr(4)},
        {"infinity", Format(u"%.300000000e", HUGE_VAL), u"inf"},
        // Every digit a double has survives the cap on the runtime's precision; the zeros
        // added past it go before the exponent.
        {"digits f", Format(u"%.2000f", 1e-300), Printed("%.2000f", 1e-300).substr(0, kKept)},
        {"digits e", Format(u"%.2000e", 5e-324), Printed("%.2000e", 5e-324)},
        {"digits #g", Format(u"%#.2000g", 1e-310), Printed("%#.2000g", 1e-310)},
        {"digits a", Format(u"%.2040a", 1.0), u"0x1." + zeros.substr(0, 2040) + u"p+0"},
        // Past INT_MAX units in all: still the prefix, and the format is still checked whole.
        {"many widths", Format(u"%1000000000d%1000000000d%1000000000d", 1, 2, 3), spaces},
        {"refused after the cut", Format(u"%3000d%n", 1, &count), u"<refused>"},
        {"long format", Format((std::u16string(3000, u'x') + u"%d").c_str(), 1),
         std::u16string(kKept, u'x')},
        // A pair across the cut is left out whole.
        {"pair", Format(u"%2046d%s", 7, pair.c_str()), spaces.substr(2) + u"7"},
        {"narrow pair", Format(u"%2046d%hs", 7, "\xF0\x9F\x98\x80"), spaces.substr(2) + u"7"},
        {"pair fits", Format(u"%2045d%s", 7, pair.c_str()), spaces.substr(3) + u"7" + pair},
    };
    for (const Row& row : rows) EXPECT_EQ(row.expected, row.result) << row.what;
    EXPECT_EQ(5, count);

    // Measuring and a small buffer report the kept length and store its prefix.
    EXPECT_EQ(2047, Measure(u"%2000000000d", 1));
    EXPECT_EQ(2046, Measure(u"%2046d%s", 7, pair.c_str()));
    char16_t buffer[5] = {kGuard, kGuard, kGuard, kGuard, kGuard};
    EXPECT_EQ(2047, FormatInto(buffer, 4, u"%-2000000000d", 7));
    EXPECT_EQ(u"7  ", std::u16string(buffer));
    EXPECT_EQ(kGuard, buffer[4]);
}

}  // namespace
}  // namespace VTLogAdapter::Testing

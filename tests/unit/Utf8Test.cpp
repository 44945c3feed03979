// The strict UTF-8 decoder every conversion shares, seen through Utf8ToUtf16; and the block
// reads of UTF-16 text.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/TextConversion.h"
#include "platform/common/Utf8Decode.h"

namespace VTLogAdapter::Testing {
namespace {

constexpr char16_t kBad = 0xFFFD;

std::u16string Decode(const std::string& bytes, std::size_t capacity = 64) {
    std::u16string buffer(capacity + 4, u'#');
    const std::size_t length = Utf8ToUtf16(bytes.data(), bytes.size(), &buffer[0], capacity);
    EXPECT_EQ(u'\0', buffer[length]);
    EXPECT_EQ(u'#', buffer[capacity]) << "wrote past the capacity";
    return buffer.substr(0, length);
}

TEST(Utf8, IllFormedSubpartsEachReadAsOneReplacement) {
    struct Case {
        std::string bytes;
        std::u16string expected;
    };
    const Case cases[] = {
        // Well-formed, one to four bytes, at the edges of each length.
        {"a\x7F", u"a\x7F"},
        {std::string("\0z", 2), std::u16string(u"\0z", 2)},
        {"\xC2\x80\xDF\xBF", u"\u0080\u07FF"},
        {"\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF", u"\u0800\uD7FF\uE000\uFFFF"},
        {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", u"\U00010000\U0010FFFF"},
        // Overlong forms: '/' and NUL must not slip through.
        {"\xC0\xAF", {kBad, kBad}},
        {"\xC0\x80", {kBad, kBad}},
        {"\xC1\xBF", {kBad, kBad}},
        {"\xE0\x80\xAF", {kBad, kBad, kBad}},
        {"\xE0\x9F\xBF", {kBad, kBad, kBad}},
        {"\xF0\x80\x80\xAF", {kBad, kBad, kBad, kBad}},
        {"\xF0\x8F\xBF\xBF", {kBad, kBad, kBad, kBad}},
        // Encoded surrogates and values past U+10FFFF.
        {"\xED\xA0\x80", {kBad, kBad, kBad}},
        {"\xED\xBF\xBF", {kBad, kBad, kBad}},
        {"\xF4\x90\x80\x80", {kBad, kBad, kBad, kBad}},
        {"\xF5\x80\x80\x80", {kBad, kBad, kBad, kBad}},
        {"\xFF", {kBad}},
        // Truncated: the valid start of a sequence is one replacement, the next text survives.
        {"\xE2\x82" "x", {kBad, u'x'}},
        {"\xF0\x9F\x98" "x", {kBad, u'x'}},
        {"\xF0\x9F\x98", {kBad}},
        {"\xC3", {kBad}},
        {"\xE2\x82\xC3\xA9", {kBad, u'\u00E9'}},
        {"\x80\xBF", {kBad, kBad}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, Decode(c.bytes)) << ::testing::PrintToString(c.bytes);
    }
}

TEST(Utf8, CutBeforeACharacterThatDoesNotFit) {
    EXPECT_EQ(u"ab", Decode("ab\xF0\x9F\x98\x80", 4));  // a pair needs two units and the NUL
    EXPECT_EQ(u"ab\U0001F600", Decode("ab\xF0\x9F\x98\x80", 5));
    EXPECT_EQ(u"", Decode("abc", 1));
    char16_t untouched = u'#';
    EXPECT_EQ(0u, Utf8ToUtf16("abc", 3, &untouched, 0));
    EXPECT_EQ(u'#', untouched);
}

// Printable ASCII is copied, and the terminator sought, a block of eight units at a time from
// aligned addresses: at every alignment of the text, every place of the first other unit and
// rooms ending inside the run, the results must be those of a reading unit by unit.
TEST(Utf16, BlockReadsAgreeAtEveryAlignmentAndStop) {
    struct Stop {
        char16_t unit;
        std::string utf8;   // with line breaks continued
    };
    const Stop stops[] = {{u'\0', ""}, {u'\n', "\n\t"}, {u'\u00E9', "\xC3\xA9"},
                          {u'\x1F', "\x1F"}, {u'\x7F', "\x7F"}, {u'\u0100', "\xC4\x80"}};
    alignas(16) char16_t storage[48];
    for (std::size_t offset = 0; offset < 8; ++offset) {
        for (std::size_t position = 0; position <= 25; ++position) {
            for (const Stop& stop : stops) {
                char16_t* text = storage + offset;
                std::string ascii;
                for (std::size_t i = 0; i < position; ++i) {
                    text[i] = static_cast<char16_t>(u'a' + i % 26);
                    ascii += static_cast<char>('a' + i % 26);
                }
                // Past a NUL, 'z' lies beyond the text and must not be taken for part of it.
                text[position] = stop.unit;
                text[position + 1] = u'z';
                text[position + 2] = u'\0';
                const std::string expected = ascii + stop.utf8 + (stop.unit != 0 ? "z" : "");
                const std::string where = "offset " + std::to_string(offset) + ", position " +
                                          std::to_string(position) + ", stop " +
                                          std::to_string(static_cast<int>(stop.unit));
                char out[64];
                EXPECT_EQ(expected.size(),
                          Utf16ToUtf8(text, out, sizeof out, LineBreaks::Continued))
                    << where;
                EXPECT_EQ(expected, std::string(out)) << where;
                const std::size_t room = position / 2;
                Utf16ToUtf8(text, out, room + 1, LineBreaks::Continued);
                EXPECT_EQ(ascii.substr(0, room), std::string(out)) << where;

                const std::size_t length = stop.unit != 0 ? position + 2 : position;
                EXPECT_EQ(length, Utf16Length(text, 40)) << where;
                for (std::size_t max : {room, position, position + 1}) {
                    EXPECT_EQ(std::min(length, max), Utf16Length(text, max)) << where;
                }
            }
        }
    }
}

// Runs of two-byte characters are converted eight at a time wherever the text lies: every
// alignment, run length and room must give the bytes of a conversion unit by unit.
TEST(Utf16, TwoByteRunsAgreeAtEveryAlignmentLengthAndRoom) {
    alignas(16) char16_t storage[48];
    for (std::size_t offset = 0; offset < 8; ++offset) {
        for (std::size_t run = 1; run <= 25; ++run) {
            char16_t* text = storage + offset;
            std::string expected;
            for (std::size_t i = 0; i < run; ++i) {
                // U+0410 to U+0417, and U+07FF at the edge of the range once in a while.
                const char16_t unit =
                    i % 5 == 4 ? u'\u07FF' : static_cast<char16_t>(0x410 + i % 8);
                text[i] = unit;
                expected += static_cast<char>(0xC0 | (unit >> 6));
                expected += static_cast<char>(0x80 | (unit & 0x3F));
            }
            // A unit just past the range ends the run; then the terminator.
            text[run] = u'\u0800';
            text[run + 1] = u'\0';
            const std::string where =
                "offset " + std::to_string(offset) + ", run " + std::to_string(run);
            char out[96];
            const std::size_t whole = Utf16ToUtf8(text, out, sizeof out);
            EXPECT_EQ(expected + "\xE0\xA0\x80", std::string(out, whole)) << where;
            // A room that ends inside the run keeps whole characters only.
            for (std::size_t room : {run, run + 1, 2 * run - 1}) {
                const std::size_t length = Utf16ToUtf8(text, out, room + 1);
                EXPECT_EQ(expected.substr(0, room / 2 * 2), std::string(out, length)) << where;
            }
        }
    }
}

}  // namespace
}  // namespace VTLogAdapter::Testing

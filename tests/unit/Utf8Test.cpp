// The strict UTF-8 decoder every conversion shares, seen through Utf8ToUtf16.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace VTLogAdapter::Testing

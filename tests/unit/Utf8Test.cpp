// The strict UTF-8 decoder every conversion shares, seen through Utf8ToUtf16; and the block
// reads of UTF-16 text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

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

// Two pages, the second unreadable; null when they cannot be had. `size` receives a page's.
#if defined(_WIN32)
char16_t* MapPageAndGuard(std::size_t& size) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    size = system.dwPageSize;
    char* pages = static_cast<char*>(
        VirtualAlloc(nullptr, 2 * size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD previous = 0;
    if (pages == nullptr) return nullptr;
    if (!VirtualProtect(pages + size, size, PAGE_NOACCESS, &previous)) {
        VirtualFree(pages, 0, MEM_RELEASE);
        return nullptr;
    }
    return reinterpret_cast<char16_t*>(pages);
}
void UnmapPageAndGuard(char16_t* pages, std::size_t) { VirtualFree(pages, 0, MEM_RELEASE); }
#else
char16_t* MapPageAndGuard(std::size_t& size) {
    size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void* pages =
        mmap(nullptr, 2 * size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) return nullptr;
    if (mprotect(static_cast<char*>(pages) + size, size, PROT_NONE) != 0) {
        munmap(pages, 2 * size);
        return nullptr;
    }
    return static_cast<char16_t*>(pages);
}
void UnmapPageAndGuard(char16_t* pages, std::size_t size) { munmap(pages, 2 * size); }
#endif

// A readable page that an unreadable one follows. A text placed at its end makes a block read
// past the page the text lies in fault.
class PageEnd {
public:
    PageEnd() : start(MapPageAndGuard(size)) {}
    ~PageEnd() {
        if (start != nullptr) UnmapPageAndGuard(start, size);
    }
    PageEnd(const PageEnd&) = delete;
    PageEnd& operator=(const PageEnd&) = delete;

    bool Ready() const { return start != nullptr; }

    // `units` placed so that `gap` units of 'y' follow them to the end of the page; before
    // them lie NULs, which no read may take for the text's terminator.
    const char16_t* Place(const std::u16string& units, std::size_t gap) {
        char16_t* end = start + size / sizeof(char16_t);
        char16_t* text = end - gap - units.size();
        std::fill(start, text, u'\0');
        std::copy(units.begin(), units.end(), text);
        std::fill(text + units.size(), end, u'y');
        return text;
    }

private:
    std::size_t size = 0;
    char16_t* start = nullptr;
};

// Utf16ToUtf8 into `capacity` bytes of a larger buffer, checking that it wrote nothing past
// them and that its result ends in a NUL.
std::string Encode(const char16_t* text, std::size_t capacity,
                   LineBreaks breaks = LineBreaks::Verbatim) {
    std::string buffer(capacity + 32, '#');
    const std::size_t length = Utf16ToUtf8(text, &buffer[0], capacity, breaks);
    EXPECT_EQ('\0', buffer[length]);
    EXPECT_EQ(std::string(32, '#'), buffer.substr(capacity)) << "wrote past the capacity";
    return buffer.substr(0, length);
}

// CopyUtf16 into `maxUnits` units of a larger buffer, checking that it wrote nothing past them.
std::u16string Copy(const char16_t* text, std::size_t maxUnits) {
    std::u16string buffer(maxUnits + 8, u'#');
    const std::size_t copied = CopyUtf16(text, &buffer[0], maxUnits);
    EXPECT_EQ(std::u16string(8, u'#'), buffer.substr(maxUnits)) << "wrote past the room";
    return buffer.substr(0, copied);
}

// Printable ASCII is copied, and the terminator sought, 16 units at a time: the first ones
// read where they lie when a page holds them, the rest from aligned addresses; UTF-16 text is
// copied eight units at a time where they lie. At every
// alignment, every place of the first other unit, every room and bound within the run and up to
// 15 units from the end of the page, the results must be those of a reading unit by unit.
TEST(Utf16, BlockReadsAgreeAtEveryAlignmentAndStop) {
    struct Stop {
        char16_t unit;
        std::string utf8;   // with line breaks continued
    };
    // Past ASCII, U+0100 has a low byte of 0 and U+FF41 one of 'A': neither may pass for it.
    const Stop stops[] = {{u'\0', ""},
                          {u'\n', "\n\t"},
                          {u'\u00E9', "\xC3\xA9"},
                          {u'\x1F', "\x1F"},
                          {u'\x7F', "\x7F"},
                          {u'\u0080', "\xC2\x80"},
                          {u'\u0100', "\xC4\x80"},
                          {u'\uFF41', "\xEF\xBD\x81"}};
    PageEnd page;
    ASSERT_TRUE(page.Ready());
    // A text without a terminator may end the page when its bound ends there too.
    for (std::size_t bound = 0; bound <= 40; ++bound) {
        EXPECT_EQ(bound, Utf16Length(page.Place(u"", bound), bound)) << "bound " << bound;
        EXPECT_EQ(std::u16string(bound, u'y'), Copy(page.Place(u"", bound), bound))
            << "bound " << bound;
    }
    // With the position, the gap sets the alignment: 16 of them reach every even one.
    for (std::size_t gap = 0; gap < 16; ++gap) {
        for (std::size_t position = 0; position <= 40; ++position) {
            for (const Stop& stop : stops) {
                std::u16string units;
                std::string ascii;
                for (std::size_t i = 0; i < position; ++i) {
                    units += static_cast<char16_t>(u'a' + i % 26);
                    ascii += static_cast<char>('a' + i % 26);
                }
                // Past a NUL, 'z' lies beyond the text and must not be taken for part of it.
                units += {stop.unit, u'z', u'\0'};
                const char16_t* text = page.Place(units, gap);
                const std::string expected = ascii + stop.utf8 + (stop.unit != 0 ? "z" : "");
                const std::string where = "gap " + std::to_string(gap) + ", position " +
                                          std::to_string(position) + ", stop " +
                                          std::to_string(static_cast<int>(stop.unit));
                EXPECT_EQ(expected, Encode(text, 64, LineBreaks::Continued)) << where;

                const std::size_t length = stop.unit != 0 ? position + 2 : position;
                EXPECT_EQ(length, Utf16Length(text, 2048)) << where;
                EXPECT_EQ(units.substr(0, length), Copy(text, 2048)) << where;
                for (std::size_t bound = 0; bound <= position + 3; ++bound) {
                    EXPECT_EQ(std::min(length, bound), Utf16Length(text, bound))
                        << where << ", bound " << bound;
                    EXPECT_EQ(units.substr(0, std::min(length, bound)), Copy(text, bound))
                        << where << ", bound " << bound;
                    if (bound > position) continue;
                    EXPECT_EQ(ascii.substr(0, bound),
                              Encode(text, bound + 1, LineBreaks::Continued))
                        << where << ", room " << bound;
                }
            }
        }
    }
}

// A text that runs on into the next readable page is copied across the edge unit by unit and by
// blocks again after it: at every place of the edge within its first 20 units, all of it.
TEST(Utf16, CopyGoesOnPastAPageEdge) {
    constexpr std::size_t kPage = 4096 / sizeof(char16_t);
    std::vector<char16_t> pages(3 * kPage);
    char16_t* edge = pages.data() + kPage;
    while (reinterpret_cast<std::uintptr_t>(edge) % 4096 != 0) ++edge;
    std::u16string units;
    for (std::size_t i = 0; i < 60; ++i) units += static_cast<char16_t>(u'a' + i % 26);
    for (std::size_t before = 0; before <= 20; ++before) {
        char16_t* text = edge - before;
        std::copy(units.begin(), units.end(), text);
        text[units.size()] = u'\0';
        text[units.size() + 1] = u'z';
        EXPECT_EQ(units, Copy(text, 2048)) << before << " units before the edge";
        EXPECT_EQ(units.substr(0, 41), Copy(text, 41)) << before << " units before the edge";
    }
}

// Runs of two-byte characters are converted eight at a time wherever the text lies: every
// alignment, run length and room must give the bytes of a conversion unit by unit.
TEST(Utf16, TwoByteRunsAgreeAtEveryAlignmentLengthAndRoom) {
    PageEnd page;
    ASSERT_TRUE(page.Ready());
    for (std::size_t gap = 0; gap < 16; ++gap) {
        for (std::size_t run = 1; run <= 25; ++run) {
            std::u16string units;
            std::string expected;
            for (std::size_t i = 0; i < run; ++i) {
                // U+0410 to U+0417, and U+07FF at the edge of the range once in a while.
                const char16_t unit =
                    i % 5 == 4 ? u'\u07FF' : static_cast<char16_t>(0x410 + i % 8);
                units += unit;
                expected += static_cast<char>(0xC0 | (unit >> 6));
                expected += static_cast<char>(0x80 | (unit & 0x3F));
            }
            // A unit just past the range ends the run; then the terminator.
            units += {u'\u0800', u'\0'};
            const char16_t* text = page.Place(units, gap);
            const std::string where =
                "gap " + std::to_string(gap) + ", run " + std::to_string(run);
            EXPECT_EQ(expected + "\xE0\xA0\x80", Encode(text, 96)) << where;
            // A room that ends inside the run keeps whole characters only.
            for (std::size_t room : {run, run + 1, 2 * run - 1}) {
                EXPECT_EQ(expected.substr(0, room / 2 * 2), Encode(text, room + 1)) << where;
            }
        }
    }
}

// Texts are compared eight units at a time while the blocks of both stay in their pages. With
// either text just before an unreadable page, every place of the first difference and of either
// text's end must give the answer of a comparison unit by unit; what follows a shared
// terminator does not count.
TEST(Utf16, TextsCompareAtEveryAlignmentAndDifference) {
    PageEnd left;
    PageEnd right;
    ASSERT_TRUE(left.Ready() && right.Ready());
    const std::u16string name = u"Orders.Daily.Europe";   // three blocks and a part
    for (std::size_t leftGap : {0, 1, 7, 8, 9}) {
        for (std::size_t rightGap : {0, 3, 8}) {
            for (std::size_t at = 0; at <= name.size(); ++at) {
                const std::string where = "gaps " + std::to_string(leftGap) + "/" +
                                          std::to_string(rightGap) + ", at " + std::to_string(at);
                const auto same = [&](const std::u16string& a, const std::u16string& b) {
                    return SameUtf16Text(left.Place(a, leftGap), right.Place(b, rightGap));
                };
                std::u16string changed = name;
                if (at < name.size()) changed[at] = u'#';
                if (at == name.size()) changed += u'#';
                const std::u16string cut = name.substr(0, at);
                const bool whole = at == name.size();
                EXPECT_TRUE(same(name + u'\0', name + u'\0' + u"zq")) << where;
                EXPECT_FALSE(same(name + u'\0', changed + u'\0')) << where;
                EXPECT_FALSE(same(changed + u'\0', name + u'\0')) << where;
                EXPECT_EQ(whole, same(name + u'\0', cut + u'\0' + name)) << where;
                EXPECT_EQ(whole, same(cut + u'\0' + u"zq", name + u'\0')) << where;
            }
        }
    }
}

}  // namespace
}  // namespace VTLogAdapter::Testing

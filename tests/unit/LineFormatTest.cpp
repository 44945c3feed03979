// The bytes of a log line: field order, switches, separators, level words, source location,
// UTF-8 text, and how an overlong line is cut while staying whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "config/ConfigLoader.h"
#include "config/LogConfig.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/WriterTesting.h"
#include "writers/LogWriterBase.h"

namespace VTLogAdapter::Testing {
namespace {

constexpr std::size_t kGuardBytes = 64;
constexpr char kGuardByte = '\x5A';
constexpr std::size_t kLongestLine = kLineCapacity - 1;

LocalTime Time(int hour, int minute, int second, int milliseconds) {
    LocalTime time;
    time.hour = hour;
    time.minute = minute;
    time.second = second;
    time.milliseconds = milliseconds;
    return time;
}

const LocalTime kTime = Time(14, 3, 7, 45);

struct Switches {
    int moduleName, sessionInfo, processId, threadId, sourceFileInfo, excelMode;
};
constexpr Switches kAllOn{1, 1, 1, 1, 1, 0};
constexpr Switches kAllOff{0, 0, 0, 0, 0, 0};
constexpr Switches kLocationOnly{0, 0, 0, 0, 1, 0};

const std::u16string kSep(1, static_cast<char16_t>(kPathSeparator));
const std::u16string kOtherSep(1, kPathSeparator == '/' ? u'\\' : u'/');
const std::u16string kSourcePath = u"C:" + kSep + u"src" + kSep + u"capture";

// Sets the identity fields directly, so the lines do not depend on how the real writers read
// them from the platform; only a fake that names an executable gives the module name.
class LineWriter : public LogWriterBase {
public:
    explicit LineWriter(FakePlatform& fake) : LogWriterBase(fake), settings(fake) {
        config = &settings;
        SetProcessIdentifier(4242);
        if (fake.executablePath.empty()) SetModule("app.exe");
        SetSessionTag(" SL(1) ");
        Set(kAllOn);
    }

    void Set(const Switches& on) {
        settings.moduleName = on.moduleName;
        settings.sessionInfo = on.sessionInfo;
        settings.processId = on.processId;
        settings.threadId = on.threadId;
        settings.sourceFileInfo = on.sourceFileInfo;
        settings.excelMode = on.excelMode;
    }
    void SetModule(const std::string& name) {
        SetModuleNameField(name.c_str());
    }
    void SetProcess(std::uint32_t id) { SetProcessIdentifier(id); }
    void DropConfig() { config = nullptr; }

    // Formats into a line buffer followed by guard bytes; checks the guards, the NUL and that
    // the line is whole (closing quotation mark, separator, line feed, at most 2047 bytes).
    std::string Format(const std::u16string& message, const char16_t* file = nullptr,
                       const char16_t* function = nullptr, int level = 0, int line = 120,
                       const LocalTime& time = kTime) const {
        std::vector<char> buffer(kLineCapacity + kGuardBytes, kGuardByte);
        EXPECT_EQ(1, FormatLine(buffer.data(), message.c_str(), file, function, line, level, time));
        EXPECT_TRUE(std::all_of(buffer.begin() + kLineCapacity, buffer.end(),
                                [](char c) { return c == kGuardByte; }))
            << "wrote past the line buffer";
        const auto end = std::find(buffer.begin(), buffer.begin() + kLineCapacity, '\0');
        EXPECT_NE(end, buffer.begin() + kLineCapacity) << "line has no NUL";
        const std::string result(buffer.begin(), end);
        const char sep = config != nullptr && config->excelMode != 0 ? '\t' : ' ';
        EXPECT_LE(result.size(), kLongestLine);
        EXPECT_TRUE(result.size() >= 4 && result.compare(result.size() - 3, 3,
                                                         std::string{'"', sep, '\n'}) == 0)
            << "line does not end whole: " << result;
        return result;
    }

    LogConfig settings;
};

class LineFormat : public ::testing::Test {
protected:
    LineFormat() { platform.threadId = 77; }

    FakePlatform platform;
    LineWriter writer{platform};
};

std::string Repeat(const std::string& text, std::size_t count) {
    std::string result;
    for (std::size_t i = 0; i < count; ++i) result += text;
    return result;
}

std::u16string Repeat(const std::u16string& text, std::size_t count) {
    std::u16string result;
    for (std::size_t i = 0; i < count; ++i) result += text;
    return result;
}

TEST_F(LineFormat, SwitchesChooseTheFieldsAndTheSeparator) {
    struct Row {
        Switches on;
        std::string expected;
    };
    const Row rows[] = {
        {kAllOn, "14:03:07:045  app.exe  SL(1)  PID=4242  TID=77  INFO  capture(120)::Init "
                 "\"Ready\" \n"},
        {{1, 1, 1, 1, 1, 1}, "14:03:07:045 \tapp.exe\t SL(1) \tPID=4242 \tTID=77 \tINFO \t"
                             "capture(120)::Init\t\"Ready\"\t\n"},
        {kAllOff, "14:03:07:045  INFO  \"Ready\" \n"},
        {{0, 0, 0, 0, 0, 1}, "14:03:07:045 \tINFO \t\"Ready\"\t\n"},
        {{0, 1, 1, 1, 1, 0}, "14:03:07:045   SL(1)  PID=4242  TID=77  INFO  capture(120)::Init "
                             "\"Ready\" \n"},
        {{1, 0, 1, 1, 1, 0}, "14:03:07:045  app.exe PID=4242  TID=77  INFO  capture(120)::Init "
                             "\"Ready\" \n"},
        {{1, 1, 0, 1, 1, 0}, "14:03:07:045  app.exe  SL(1)  TID=77  INFO  capture(120)::Init "
                             "\"Ready\" \n"},
        {{1, 1, 1, 0, 1, 0}, "14:03:07:045  app.exe  SL(1)  PID=4242  INFO  capture(120)::Init "
                             "\"Ready\" \n"},
        {{1, 1, 1, 1, 0, 0}, "14:03:07:045  app.exe  SL(1)  PID=4242  TID=77  INFO  \"Ready\" \n"},
        // Any non-zero value switches on.
        {{0, 7, 0, -1, 0, 2}, "14:03:07:045 \t SL(1) \tTID=77 \tINFO \t\"Ready\"\t\n"},
        {{0, 0, 0, 0, 3, 5}, "14:03:07:045 \tINFO \tcapture(120)::Init\t\"Ready\"\t\n"},
    };
    for (const Row& row : rows) {
        writer.Set(row.on);
        EXPECT_EQ(row.expected, writer.Format(u"Ready", kSourcePath.c_str(), u"Init"));
    }
}

TEST_F(LineFormat, LevelWordsAndTheEmptyLevelField) {
    struct Row {
        int level;
        std::string expected;
    };
    const Row rows[] = {
        {-1, "14:03:07:045   \"Ready\" \n"},     {0, "14:03:07:045  INFO  \"Ready\" \n"},
        {1, "14:03:07:045  TRACE  \"Ready\" \n"}, {2, "14:03:07:045  WARN  \"Ready\" \n"},
        {3, "14:03:07:045  ERROR  \"Ready\" \n"}, {4, "14:03:07:045  FATAL  \"Ready\" \n"},
        {5, "14:03:07:045   \"Ready\" \n"},      {7, "14:03:07:045   \"Ready\" \n"},
        {INT_MIN, "14:03:07:045   \"Ready\" \n"}, {INT_MAX, "14:03:07:045   \"Ready\" \n"},
    };
    writer.Set(kAllOff);
    for (const Row& row : rows) {
        EXPECT_EQ(row.expected, writer.Format(u"Ready", nullptr, nullptr, row.level))
            << "level " << row.level;
    }

    // The separator stays when the word is missing: three blanks, or two tabs, after TID.
    writer.Set(kAllOn);
    EXPECT_EQ("14:03:07:045  app.exe  SL(1)  PID=4242  TID=77   capture(120)::Init \"Ready\" \n",
              writer.Format(u"Ready", kSourcePath.c_str(), u"Init", 5));
    writer.Set({1, 1, 1, 1, 1, 1});
    EXPECT_EQ("14:03:07:045 \tapp.exe\t SL(1) \tPID=4242 \tTID=77 \t\tcapture(120)::Init\t"
              "\"Ready\"\t\n",
              writer.Format(u"Ready", kSourcePath.c_str(), u"Init", -1));
}

TEST_F(LineFormat, SourceLocationVariants) {
    struct Row {
        std::optional<std::u16string> file;
        std::optional<std::u16string> function;
        int line;
        std::string location;  // with its separator
    };
    const std::string sep(1, kPathSeparator);
    const std::string otherSep(kOtherSep.begin(), kOtherSep.end());
    const Row rows[] = {
        {kSourcePath, u"Init", 120, "capture(120)::Init "},
        {kSourcePath, std::nullopt, 120, "capture(120):: "},
        {kSourcePath, u"", 120, "capture(120):: "},
        {std::nullopt, u"Init", 120, "Init "},
        {u"", u"Init", 120, "Init "},
        {std::nullopt, std::nullopt, 120, ""},
        {u"", u"", 120, ""},
        {u"capture", u"Init", 120, "capture(120)::Init "},
        // The first character is never taken for a separator.
        {kSep + u"capture", u"Init", 120, sep + "capture(120)::Init "},
        {kSep, u"Init", 120, sep + "(120)::Init "},
        {u"src" + kOtherSep + u"capture", u"Init", 120, "src" + otherSep + "capture(120)::Init "},
        {u"src" + kSep, u"Init", 120, "(120)::Init "},
        {u"a" + kSep + kSep + u"b", u"Init", 120, "b(120)::Init "},
        {kSourcePath, u"Init", 0, "capture(0)::Init "},
        {kSourcePath, u"Init", -7, "capture(-7)::Init "},
        {kSourcePath, u"Init", INT_MIN, "capture(-2147483648)::Init "},
        {u"src" + kSep + u"Gr\u00FC\u00DFe.cpp", u"Gr\u00F6\u00DFe\U0001F600", 3,
         "Gr\xC3\xBC\xC3\x9F" "e.cpp(3)::Gr\xC3\xB6\xC3\x9F" "e\xF0\x9F\x98\x80 "},
    };
    writer.Set(kLocationOnly);
    for (const Row& row : rows) {
        const char16_t* file = row.file ? row.file->c_str() : nullptr;
        const char16_t* function = row.function ? row.function->c_str() : nullptr;
        EXPECT_EQ("14:03:07:045  INFO  " + row.location + "\"Ready\" \n",
                  writer.Format(u"Ready", file, function, 0, row.line))
            << row.location;
    }
}

TEST_F(LineFormat, MessageTextIsQuotedUnchangedAsUtf8) {
    struct Row {
        std::u16string message;
        std::string quoted;
    };
    const Row rows[] = {
        {u"", "\"\""},
        {u"say \"hi\" now", "\"say \"hi\" now\""},
        {u"a\tb", "\"a\tb\""},
        {u"100% %s %d", "\"100% %s %d\""},
        {u"Gr\u00FC\u00DFe \u20AC", "\"Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC\""},
        {u"\U0001F600\U0010FFFF", "\"\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\""},
        // A lone surrogate becomes U+FFFD and the rest of the text is kept.
        {u"a\xD800", "\"a\xEF\xBF\xBD\""},
        {u"a\xDC00" u"b", "\"a\xEF\xBF\xBD" "b\""},
        {u"\xDC00\xD800", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},
        {u"\xD800\xD800\xDC00!", "\"\xEF\xBF\xBD\xF0\x90\x80\x80!\""},
    };
    writer.Set(kAllOff);
    for (const Row& row : rows) {
        EXPECT_EQ("14:03:07:045  INFO  " + row.quoted + " \n", writer.Format(row.message));
    }
}

// Every line break inside a text field continues on a line that starts with a tab, so no text
// can start a line that passes for a record; the file's own line end stays the record's.
TEST_F(LineFormat, LineBreaksInTextFieldsContinueWithATab) {
    struct Row {
        Switches on;
        std::u16string executable, file, function, message;
        std::string expected;
    };
    const std::u16string forged = u"\n14:03:07:046  INFO  \"fake\"";
    const Row rows[] = {
        {kAllOff, u"", u"", u"", u"a\nb", "14:03:07:045  INFO  \"a\n\tb\" \n"},
        {kAllOff, u"", u"", u"", u"a\r\nb", "14:03:07:045  INFO  \"a\n\tb\" \n"},
        {kAllOff, u"", u"", u"", u"a\rb", "14:03:07:045  INFO  \"a\n\tb\" \n"},
        // LF CR is two breaks, CR LF one; a break at either end is continued as well.
        {kAllOff, u"", u"", u"", u"\r\r\n\n\r.\n",
         "14:03:07:045  INFO  \"\n\t\n\t\n\t\n\t.\n\t\" \n"},
        {kAllOff, u"", u"", u"", forged,
         "14:03:07:045  INFO  \"\n\t14:03:07:046  INFO  \"fake\"\" \n"},
        {kLocationOnly, u"", u"src" + kSep + u"a\r\nb.cpp", u"Init\n", u"m",
         "14:03:07:045  INFO  a\n\tb.cpp(120)::Init\n\t \"m\" \n"},
        {{1, 0, 0, 0, 0, 1}, Native(u"/opt/a\rpp\n"), u"", u"", u"\n",
         "14:03:07:045 \ta\n\tpp\n\t\tINFO \t\"\n\t\"\t\n"},
    };
    for (const Row& row : rows) {
        FakePlatform fake;
        fake.executablePath = row.executable;
        LineWriter lineWriter(fake);
        lineWriter.Set(row.on);
        EXPECT_EQ(row.expected, lineWriter.Format(row.message, row.file.c_str(),
                                                  row.function.c_str()));
    }

    // Only breaks, past the line's bound: the cut keeps each LF with its tab.
    for (const int excel : {0, 1}) {
        writer.Set({0, 0, 0, 0, 0, excel});
        const std::string head = excel != 0 ? "14:03:07:045 \tINFO \t\"" : "14:03:07:045  INFO  \"";
        const std::string end = excel != 0 ? "\"\t\n" : "\" \n";
        const std::size_t pairs = (kLongestLine - head.size() - end.size()) / 2;
        for (const char16_t* breakText : {u"\n", u"\r\n"}) {
            EXPECT_EQ(head + Repeat("\n\t", pairs) + end,
                      writer.Format(Repeat(breakText, 2047)));
        }
    }
}

TEST_F(LineFormat, TimeAndIdentifiersPrintAsDecimalNumbers) {
    struct Row {
        LocalTime time;
        std::string text;
    };
    const Row rows[] = {
        {Time(0, 0, 0, 0), "00:00:00:000"},
        {Time(23, 59, 59, 999), "23:59:59:999"},
        {Time(1, 2, 3, 4), "01:02:03:004"},
        {Time(9, 10, 11, 12), "09:10:11:012"},
        // Out-of-range values still print as the numbers they are.
        {Time(-5, 100, 0, -5), "-5:100:00:-05"},
        {Time(INT_MIN, 0, 0, INT_MAX), "-2147483648:00:00:2147483647"},
    };
    writer.Set(kAllOff);
    for (const Row& row : rows) {
        EXPECT_EQ(row.text + "  INFO  \"Ready\" \n", writer.Format(u"Ready", nullptr, nullptr,
                                                                   0, 120, row.time));
    }

    writer.Set({0, 0, 1, 1, 0, 0});
    writer.SetProcess(0);
    EXPECT_EQ("14:03:07:045  PID=0  TID=77  INFO  \"Ready\" \n", writer.Format(u"Ready"));
    // A new process identifier, as a forked child's writers take, builds the fields again, and
    // asks the thread's identifier again with them.
    writer.SetProcess(2147483647);
    platform.threadId = 123456;
    EXPECT_EQ("14:03:07:045  PID=2147483647  TID=123456  INFO  \"Ready\" \n",
              writer.Format(u"Ready"));
}

TEST_F(LineFormat, WithoutSettingsTheLineKeepsTimeLevelAndMessage) {
    writer.DropConfig();
    EXPECT_EQ("14:03:07:045  WARN  \"Ready\" \n",
              writer.Format(u"Ready", kSourcePath.c_str(), u"Init", 2));
    EXPECT_EQ(1, writer.FormatLine(nullptr, u"Ready", nullptr, nullptr, 1, 0, kTime));
}

TEST_F(LineFormat, LongMessageUsesAllTheRoomLeft) {
    // Longer than one converted field, shorter than the line: kept whole.
    writer.Set(kAllOff);
    const std::string whole = writer.Format(Repeat(u"m", 1500));
    EXPECT_EQ("14:03:07:045  INFO  \"" + std::string(1500, 'm') + "\" \n", whole);

    // A message of 2047 characters fills the line to its last byte, in both modes.
    for (const int excel : {0, 1}) {
        writer.Set({1, 1, 1, 1, 1, excel});
        const std::string line = writer.Format(Repeat(u"x", 2047), kSourcePath.c_str(), u"Init");
        const std::string prefix = excel != 0
            ? "14:03:07:045 \tapp.exe\t SL(1) \tPID=4242 \tTID=77 \tINFO \tcapture(120)::Init\t\""
            : "14:03:07:045  app.exe  SL(1)  PID=4242  TID=77  INFO  capture(120)::Init \"";
        const std::string end = excel != 0 ? "\"\t\n" : "\" \n";
        EXPECT_EQ(prefix + std::string(kLongestLine - prefix.size() - end.size(), 'x') + end,
                  line);
    }
}

TEST_F(LineFormat, MessageIsCutBeforeTheFirstCharacterThatDoesNotFit) {
    struct Piece {
        std::u16string utf16;
        std::string utf8;
    };
    const Piece pieces[] = {
        {u"a", "a"},
        {u"\u00E9", "\xC3\xA9"},
        {u"\u20AC", "\xE2\x82\xAC"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
    };
    // Every mix of widths, ending at every offset of the line, so the cut meets each kind of
    // character at each of its byte positions.
    writer.Set({1, 0, 0, 0, 0, 0});
    for (std::size_t moduleLength = 0; moduleLength < 4; ++moduleLength) {
        writer.SetModule(std::string(moduleLength, 'p'));
        const std::string prefix = "14:03:07:045  " + std::string(moduleLength, 'p') + " INFO  \"";
        const std::size_t room = kLongestLine - prefix.size() - 3;
        for (std::size_t first = 0; first < 4; ++first) {
            for (std::size_t second = 0; second < 4; ++second) {
                std::u16string message;
                std::string expected;
                bool full = false;
                for (std::size_t i = 0; message.size() < 2047; ++i) {
                    const Piece& piece = pieces[i % 2 == 0 ? first : second];
                    message += piece.utf16;
                    full = full || expected.size() + piece.utf8.size() > room;
                    if (!full) expected += piece.utf8;
                }
                ASSERT_TRUE(full);
                EXPECT_EQ(prefix + expected + "\" \n", writer.Format(message))
                    << "module " << moduleLength << ", pieces " << first << "/" << second;
            }
        }
    }
}

TEST_F(LineFormat, OverlongLocationIsCutAndTheLineStaysWhole) {
    writer.Set(kLocationOnly);
    const std::u16string longFile = u"src" + kSep + Repeat(u"f", 2000);
    const std::string prefix = "14:03:07:045  INFO  ";

    // A converted name holds at most 1023 bytes, cut at a character boundary.
    EXPECT_EQ(prefix + std::string(1023, 'g') + " \"m\" \n",
              writer.Format(u"m", nullptr, Repeat(u"g", 1500).c_str()));
    EXPECT_EQ(prefix + Repeat("\xC3\xA9", 511) + "(120):: \"m\" \n",
              writer.Format(u"m", (u"src" + kSep + Repeat(u"\u00E9", 600)).c_str(), nullptr));

    // File and function together: the function gets what is left, cut at a character, and
    // the separator after the location and the quoted message still fit.
    EXPECT_EQ(prefix + std::string(1023, 'f') + "(120)::" + Repeat("\xE2\x82\xAC", 330) +
                  " \"ok\" \n",
              writer.Format(u"ok", longFile.c_str(), Repeat(u"\u20AC", 2000).c_str()));
    writer.Set({0, 0, 0, 0, 1, 1});
    EXPECT_EQ("14:03:07:045 \tINFO \t" + std::string(1023, 'f') + "(120)::" +
                  Repeat("\xE2\x82\xAC", 330) + "\t\"ok\"\t\n",
              writer.Format(u"ok", longFile.c_str(), Repeat(u"\u20AC", 2000).c_str()));

    // When the fields take the whole line, the message is left empty but still quoted.
    writer.Set(kLocationOnly);
    const std::string line =
        writer.Format(Repeat(u"x", 2047), longFile.c_str(), Repeat(u"g", 2000).c_str());
    EXPECT_EQ(prefix + std::string(1023, 'f') + "(120)::" + std::string(992, 'g') + " \"\" \n",
              line);
    EXPECT_EQ(kLongestLine, line.size());
}

}  // namespace
}  // namespace VTLogAdapter::Testing

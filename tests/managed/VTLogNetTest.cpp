// VTLogNet and its C API against a recording LogEx: the arguments of the one call per Trace,
// the bounded buffers, and the life of an instance.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "RecordingLogEx.h"
#include "VTLogAdapter.h"
#include "VTLogNetApi.h"

namespace VTLogAdapter::Testing {
namespace {

#if defined(_WIN32)
const std::u16string kSourceFile = u".\\VTLogAdapter.cpp";
#else
const std::u16string kSourceFile = u"./VTLogAdapter.cpp";
#endif

// A character outside the BMP: U+1F600, two UTF-16 units.
const std::u16string kPair = u"\U0001F600";
const char16_t kHighHalf = kPair[0];
const char16_t kLowHalf = kPair[1];

std::u16string Repeat(std::size_t count, char16_t unit = u'a') {
    return std::u16string(count, unit);
}

class VTLogNetTest : public ::testing::Test {
protected:
    void SetUp() override { TakeLogExCalls(); }
};

TEST_F(VTLogNetTest, EachOverloadMakesOneCallWithItsOwnLine) {
    VTLogNet log(u"Login");
    log.Trace(u"abc");
    log.Trace(u"abc", u"def");

    const std::vector<LogExCall> calls = TakeLogExCalls();
    ASSERT_EQ(2u, calls.size());
    const int lines[] = {46, 60};
    const std::u16string texts[] = {u"abc", u"abcdef"};
    for (std::size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(kSourceFile, calls[i].sourceFile);
        EXPECT_EQ(u"VTLogAdapter::VTLogNet::Trace", calls[i].function);
        EXPECT_EQ(lines[i], calls[i].line);
        EXPECT_EQ(VT_LOG_TRACE, calls[i].level);
        EXPECT_EQ(u"Login", calls[i].operation);
        EXPECT_EQ(u"%s", calls[i].format);
        EXPECT_EQ(texts[i], calls[i].text);
    }
    // A call the settings filter out never reaches LogEx.
    logEnabled = false;
    log.Trace(u"filtered");
    log.Trace(u"filtered", u"too");
    VTLogNet_TraceTo(u"Login", u"filtered");
    VTLogNet_TraceToWithParameter(u"Login", u"filtered", u"too");
    logEnabled = true;
    EXPECT_TRUE(TakeLogExCalls().empty());
}

TEST_F(VTLogNetTest, MessageTextIsMessageThenParameterVerbatim) {
    struct Case {
        const char16_t* message;
        const char16_t* parameter;
        std::u16string expected;
    };
    const Case cases[] = {
        {u"abc", u"def", u"abcdef"},
        {u"100%s done %d", u"%n%%", u"100%s done %d%n%%"},
        {u"", u"", u""},
        {nullptr, nullptr, u""},
        {nullptr, u"def", u"def"},
        {u"abc", nullptr, u"abc"},
        {u"Gr\u00FC\u00DFe ", u"\u65E5\u672C\U0001F600", u"Gr\u00FC\u00DFe \u65E5\u672C\U0001F600"},
        {u"a \"quoted\"\ttab", u"\nline", u"a \"quoted\"\ttab\nline"},
    };
    VTLogNet log(u"Name");
    for (const Case& c : cases) {
        log.Trace(c.message, c.parameter);
        if (c.parameter == nullptr) log.Trace(c.message);
        const std::vector<LogExCall> calls = TakeLogExCalls();
        ASSERT_FALSE(calls.empty());
        for (const LogExCall& call : calls) EXPECT_EQ(c.expected, call.text);
    }
}

TEST_F(VTLogNetTest, EmptyOrNullNameGivesAnEmptyOperation) {
    for (const char16_t* name : {static_cast<const char16_t*>(nullptr), u""}) {
        VTLogNet log(name);
        log.Trace(u"x");
        const std::vector<LogExCall> calls = TakeLogExCalls();
        ASSERT_EQ(1u, calls.size());
        EXPECT_FALSE(calls[0].operationIsNull);
        EXPECT_EQ(u"", calls[0].operation);
    }
}

TEST_F(VTLogNetTest, NameIsCutToFitWithoutSplittingASurrogatePair) {
    struct Case {
        std::u16string name;
        std::u16string stored;
    };
    const Case cases[] = {
        {Repeat(259), Repeat(259)},
        {Repeat(260), Repeat(259)},
        {Repeat(1000, u'n'), Repeat(259, u'n')},
        {Repeat(257) + kPair, Repeat(257) + kPair},     // ends exactly at 259
        {Repeat(258) + kPair, Repeat(258)},             // pair would straddle the cut
        {Repeat(258) + kHighHalf, Repeat(258) + kHighHalf},  // lone half, nothing cut
        {Repeat(258) + kLowHalf + u"b", Repeat(258) + kLowHalf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.size());
        VTLogNet log(c.name.c_str());
        log.Trace(u"x");
        // The C API's instance-free calls cut the name the same way, on every call.
        VTLogNet_TraceTo(c.name.c_str(), u"x");
        VTLogNet_TraceToWithParameter(c.name.c_str(), u"x", u"y");
        const std::vector<LogExCall> calls = TakeLogExCalls();
        ASSERT_EQ(3u, calls.size());
        for (const LogExCall& call : calls) EXPECT_EQ(c.stored, call.operation);
    }
}

TEST_F(VTLogNetTest, TextIsCutToFitWithoutSplittingASurrogatePair) {
    struct Case {
        std::u16string message;
        std::u16string parameter;
        std::u16string logged;
    };
    const Case cases[] = {
        {Repeat(2047), u"", Repeat(2047)},
        {Repeat(2048), u"", Repeat(2047)},
        {Repeat(5000), u"zzz", Repeat(2047)},
        {Repeat(2000), Repeat(47, u'b'), Repeat(2000) + Repeat(47, u'b')},
        {Repeat(2000), Repeat(48, u'b'), Repeat(2000) + Repeat(47, u'b')},
        {Repeat(2045) + kPair, u"", Repeat(2045) + kPair},
        {Repeat(2046) + kPair, u"", Repeat(2046)},
        {Repeat(2046), kPair, Repeat(2046)},
        // The pair is formed only by joining the two texts, and the cut falls between them.
        {Repeat(2046) + kHighHalf, std::u16string(1, kLowHalf), Repeat(2046)},
        // A cut message is where the text ends: the parameter must not fill the freed unit.
        {Repeat(2046) + kPair, u"x", Repeat(2046)},
        {Repeat(2046) + kPair + u"y", kPair, Repeat(2046)},
        {Repeat(2047), kPair, Repeat(2047)},
    };
    VTLogNet log(u"Name");
    // The C API cuts the texts the same way, also where it cuts the name too.
    const std::u16string longName = Repeat(300, u'n');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.size());
        log.Trace(c.message.c_str(), c.parameter.c_str());
        VTLogNet_TraceToWithParameter(longName.c_str(), c.message.c_str(), c.parameter.c_str());
        if (c.parameter.empty()) {
            log.Trace(c.message.c_str());
            VTLogNet_TraceTo(longName.c_str(), c.message.c_str());
        }
        const std::vector<LogExCall> calls = TakeLogExCalls();
        ASSERT_EQ(c.parameter.empty() ? 4u : 2u, calls.size());
        for (std::size_t i = 0; i < calls.size(); ++i) {
            EXPECT_EQ(c.logged, calls[i].text);
            EXPECT_EQ(i % 2 == 0 ? u"Name" : Repeat(259, u'n'), calls[i].operation);
        }
    }
}

TEST_F(VTLogNetTest, DisposedInstanceWritesNothingAndDisposesOnce) {
    VTLogNet log(u"Name");
    log.Dispose();
    log.Dispose();
    log.Trace(u"after");
    log.Trace(u"after", u"dispose");
    EXPECT_TRUE(TakeLogExCalls().empty());
}  // the destructor runs after Dispose: no second release

class CountingLog : public VTLogNet {
public:
    using VTLogNet::VTLogNet;
    std::vector<bool> disposeCalls;

protected:
    void Dispose(bool disposing) override {
        disposeCalls.push_back(disposing);
        VTLogNet::Dispose(disposing);
    }
};

TEST_F(VTLogNetTest, DisposeReachesAnOverrideOfDisposeBool) {
    CountingLog log(u"Name");
    VTLogNet& base = log;
    base.Dispose();
    EXPECT_EQ(std::vector<bool>{true}, log.disposeCalls);
    base.Trace(u"after");
    EXPECT_TRUE(TakeLogExCalls().empty());
}

TEST_F(VTLogNetTest, ManyThreadsShareOneInstance) {
    VTLogNet log(u"Shared");
    constexpr int kThreads = 8;
    constexpr int kPerThread = 200;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            const std::u16string text(1, static_cast<char16_t>(u'A' + t));
            for (int i = 0; i < kPerThread; ++i) log.Trace(text.c_str(), text.c_str());
        });
    }
    for (std::thread& thread : threads) thread.join();

    const std::vector<LogExCall> calls = TakeLogExCalls();
    ASSERT_EQ(static_cast<std::size_t>(kThreads * kPerThread), calls.size());
    for (const LogExCall& call : calls) {
        ASSERT_EQ(2u, call.text.size());
        EXPECT_EQ(call.text[0], call.text[1]);
        EXPECT_EQ(u"Shared", call.operation);
    }
}

TEST_F(VTLogNetTest, CApiWritesThroughAnInstanceOrByName) {
    VTLogNetHandle handle = VTLogNet_Create(u"Api");
    ASSERT_NE(nullptr, handle);
    VTLogNet_Trace(handle, u"one");
    VTLogNet_TraceWithParameter(handle, u"two", u"three");
    VTLogNet_Trace(handle, nullptr);
    VTLogNet_Dispose(handle);
    // Without an instance: the same records.
    VTLogNet_TraceTo(u"Api", u"one");
    VTLogNet_TraceToWithParameter(u"Api", u"two", u"three");
    VTLogNet_TraceTo(u"Api", nullptr);

    const std::vector<LogExCall> calls = TakeLogExCalls();
    ASSERT_EQ(6u, calls.size());
    for (std::size_t i = 0; i < calls.size(); i += 3) {
        EXPECT_EQ(u"one", calls[i].text);
        EXPECT_EQ(46, calls[i].line);
        EXPECT_EQ(u"twothree", calls[i + 1].text);
        EXPECT_EQ(60, calls[i + 1].line);
        EXPECT_EQ(u"", calls[i + 2].text);
    }
    for (const LogExCall& call : calls) EXPECT_EQ(u"Api", call.operation);
}

TEST_F(VTLogNetTest, CApiIgnoresANullHandleAndTakesANullNameAsTheGeneralLog) {
    VTLogNet_Trace(nullptr, u"x");
    VTLogNet_TraceWithParameter(nullptr, u"x", u"y");
    VTLogNet_Dispose(nullptr);
    EXPECT_TRUE(TakeLogExCalls().empty());

    VTLogNetHandle unnamed = VTLogNet_Create(nullptr);
    VTLogNet_Trace(unnamed, u"general");
    VTLogNet_Dispose(unnamed);
    VTLogNet_TraceTo(nullptr, u"general");
    const std::vector<LogExCall> calls = TakeLogExCalls();
    ASSERT_EQ(2u, calls.size());
    for (const LogExCall& call : calls) EXPECT_EQ(u"", call.operation);
}

TEST_F(VTLogNetTest, CApiLogCarriesLevelAndCategoryThroughTheTraceBounds) {
    struct Case {
        int level;
        const char16_t* category;
        std::u16string message;
        std::u16string logged;
    };
    const Case cases[] = {
        {VT_LOG_INFO, u"Microsoft.Hosting.Lifetime", u"started", u"started"},
        {VT_LOG_FATAL, u"App", u"100%s %d", u"100%s %d"},
        {7, nullptr, u"", u""},
        {VT_LOG_WARN, u"App", Repeat(2046) + kPair, Repeat(2046)},
        {VT_LOG_ERROR, u"App", Repeat(3000), Repeat(2047)},
    };
    VTLogNetHandle handle = VTLogNet_Create(u"Cat");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        VTLogNet_Log(handle, c.level, c.category, c.message.c_str());
        const std::vector<LogExCall> calls = TakeLogExCalls();
        ASSERT_EQ(1u, calls.size());
        EXPECT_EQ(c.level, static_cast<int>(calls[0].level));
        // No source file: the location field is the category alone.
        EXPECT_EQ(u"", calls[0].sourceFile);
        EXPECT_EQ(c.category != nullptr ? c.category : u"", calls[0].function);
        EXPECT_EQ(u"Cat", calls[0].operation);
        EXPECT_EQ(u"%s", calls[0].format);
        EXPECT_EQ(c.logged, calls[0].text);
    }
    VTLogNet_Log(handle, VT_LOG_INFO, u"App", nullptr);
    ASSERT_EQ(1u, TakeLogExCalls().size()) << "a null message is an empty one";
    VTLogNet_Dispose(handle);

    VTLogNet_Log(nullptr, VT_LOG_FATAL, u"App", u"x");
    EXPECT_TRUE(TakeLogExCalls().empty());
    EXPECT_EQ(1, VTLogNet_IsEnabled(VT_LOG_WARN));
    EXPECT_EQ(0, VTLogNet_IsEnabled(-1));
    logEnabled = false;
    EXPECT_EQ(0, VTLogNet_IsEnabled(VT_LOG_WARN));
    logEnabled = true;
}

}  // namespace
}  // namespace VTLogAdapter::Testing

// VTLogNet and the C API's instance-free TraceTo: the name, the message buffer and the one LogEx
// call per message. Log lines show the line numbers of the two LogEx calls: lines 46 and 60.
// Their results are discarded: a record the engine drops or fails to write is lost silently.
#include "VTLogAdapter.h"

#include <cstdlib>
#include <cstring>

#include "core/LogCore.h"
#include "managed/TraceTo.h"
#include "platform/HotPath.h"
#include "platform/TextConversion.h"
#include "writers/ClassLocation.h"

// The class's location is the engine's to know: FormatLine recognises these arrays and
// keeps the fields built from them. Lines show the line numbers of the two LogEx calls
// below, which therefore stay where they are.
#define VTLOGNET_SOURCE_FILE kClassSourceFile

namespace VTLogAdapter {
namespace {

constexpr const char16_t* kFunction = kClassFunction;

// What reaches LogEx: a message cut at MessageCapacity - 1 units, never inside a surrogate pair,
// a null text counting as empty; the engine bounds the line again. A message that fits is passed
// on where it is, and one that does not is cut by a call of its own, whose frame holds the copy.
// The helpers come after the two writing functions, so that the LogEx calls keep their lines.
// AppendBounded appends `text` (null counts as empty) after the `used` units in `buffer` of
// `capacity` units, moving `used` on; false when it had to be cut.
bool AppendBounded(char16_t* buffer, std::size_t capacity, std::size_t& used, const char16_t* text);
bool Fits(const char16_t* text, std::size_t capacity);
void TraceCut(const char16_t* logName, const char16_t* text);

}  // namespace

// Trace of the log `logName`, a name that fits: the instance's own, or one the C API's TraceTo
// bounded. Its callers test the level first, once. The work of a call that is written stays
// apart (VTLOG_APART), so that the caller of a dropped call returns before that work's frame
// (a message buffer and saved registers) is set up.
static void TraceAs(const char16_t* logName, const char16_t* Message) {
    [logName, Message]() VTLOG_APART VTLOG_HOT {
        const char16_t* message = Message != nullptr ? Message : u"";
        if (!Fits(message, VTLogNet::MessageCapacity)) return TraceCut(logName, message);
        try {
            LogEx(VTLOGNET_SOURCE_FILE, kFunction, __LINE__, VT_LOG_TRACE, logName, u"%s",
                  message);
        } catch (...) {}
    }();
}

static void TraceAs(const char16_t* logName, const char16_t* Message,
                    const char16_t* Parameter) {
    [logName, Message, Parameter]() VTLOG_APART VTLOG_HOT {
        char16_t message[VTLogNet::MessageCapacity];
        std::size_t used = 0;
        const bool whole = AppendBounded(message, VTLogNet::MessageCapacity, used, Message);
        if (whole) AppendBounded(message, VTLogNet::MessageCapacity, used, Parameter);
        try {   // the text is the argument of "%s": its percent signs are never interpreted
            LogEx(VTLOGNET_SOURCE_FILE, kFunction, __LINE__, VT_LOG_TRACE, logName, u"%s",
                  message);
        } catch (...) {}
    }();
}

void VTLogNet::Trace(const char16_t* Message) {
    if (m_szLogName == nullptr || !LogIsEnabled(VT_LOG_TRACE)) return;  // disposed or filtered
    TraceAs(m_szLogName, Message);
}

void VTLogNet::Trace(const char16_t* Message, const char16_t* Parameter) {
    if (m_szLogName == nullptr || !LogIsEnabled(VT_LOG_TRACE)) return;
    TraceAs(m_szLogName, Message, Parameter);
}

namespace {

// Appends `text` (null counts as empty) after the first `used` units of `buffer` (`capacity`
// units), terminates the text and moves `used` to its end; false when it had to be cut, and a
// cut never keeps a high surrogate without its low half.
bool AppendBounded(char16_t* buffer, std::size_t capacity, std::size_t& used,
                   const char16_t* text) {
    // Copied by blocks in one pass: the texts of a line are joined here on every call.
    buffer[used] = u'\0';
    if (text == nullptr) return true;
    const std::size_t room = capacity - 1 - used;
    const std::size_t taken = CopyUtf16(text, buffer + used, room);
    // The unit past a full room tells a text that ends there from one that goes on.
    const bool whole = taken < room || text[room] == u'\0';
    used += taken;
    if (!whole && used > 0 && (buffer[used - 1] & 0xFC00u) == 0xD800u &&
        (text[taken] & 0xFC00u) == 0xDC00u) {
        --used;
    }
    buffer[used] = u'\0';
    return whole;
}

// True when `text` (not null) fits a buffer of `capacity` units, which is nearly always.
bool Fits(const char16_t* text, std::size_t capacity) {
    return Utf16Length(text, capacity) < capacity;
}

// The cut prefix of `text` in `cut` (`capacity` units).
const char16_t* Cut(const char16_t* text, char16_t* cut, std::size_t capacity) {
    std::size_t used = 0;
    AppendBounded(cut, capacity, used, text);
    return cut;
}

// TraceAs and LogWithCategory of `text`, which does not fit, cut to fit.
VTLOG_RARE
void TraceCut(const char16_t* logName, const char16_t* text) {
    char16_t cut[VTLogNet::MessageCapacity];
    TraceAs(logName, Cut(text, cut, VTLogNet::MessageCapacity));
}
VTLOG_RARE
void LogCutWithCategory(VTLogNet& log, int level, const char16_t* category,
                                   const char16_t* text) {
    char16_t cut[VTLogNet::MessageCapacity];
    LogWithCategory(log, level, category, Cut(text, cut, VTLogNet::MessageCapacity));
}

// TraceTo of a name that does not fit, cut as the constructor cuts it.
VTLOG_RARE
void TraceToCut(const char16_t* logName, const char16_t* message, const char16_t* parameter,
                bool withParameter) {
    char16_t cut[VTLogNet::NameCapacity];
    Cut(logName, cut, VTLogNet::NameCapacity);
    if (withParameter) return TraceAs(cut, message, parameter);
    TraceAs(cut, message);
}

}  // namespace

// The test comes first: a dropped call does not measure the name.
void TraceTo(const char16_t* logName, const char16_t* message) {
    if (!LogIsEnabled(VT_LOG_TRACE)) return;
    if (logName == nullptr) logName = u"";
    if (!Fits(logName, VTLogNet::NameCapacity)) {
        return TraceToCut(logName, message, nullptr, false);
    }
    TraceAs(logName, message);
}

void TraceTo(const char16_t* logName, const char16_t* message, const char16_t* parameter) {
    if (!LogIsEnabled(VT_LOG_TRACE)) return;
    if (logName == nullptr) logName = u"";
    if (!Fits(logName, VTLogNet::NameCapacity)) {
        return TraceToCut(logName, message, parameter, true);
    }
    TraceAs(logName, message, parameter);
}

void LogWithCategory(VTLogNet& log, int level, const char16_t* category,
                     const char16_t* message) {
    if (log.m_szLogName == nullptr || !LogIsEnabled(level)) return;
    const char16_t* text = message != nullptr ? message : u"";
    if (!Fits(text, VTLogNet::MessageCapacity)) return LogCutWithCategory(log, level, category, text);
    // No source file and the category as the function: the line's location field shows exactly
    // the category, with no "(line)::" before it.
    try {
        LogEx(nullptr, category != nullptr ? category : u"", 0, static_cast<VT_LOGLEVEL>(level),
              log.m_szLogName, u"%s", text);
    } catch (...) {
    }
}

VTLogNet::VTLogNet(const char16_t* LogName) : m_szLogName(nullptr) {
    // malloc rather than new[]: it reports exhaustion as null instead of throwing. Without a
    // buffer the instance behaves as disposed and writes nothing.
    m_szLogName = static_cast<char16_t*>(std::malloc(NameCapacity * sizeof(char16_t)));
    if (m_szLogName == nullptr) return;
    std::memset(m_szLogName, 0, NameCapacity * sizeof(char16_t));
    std::size_t used = 0;
    AppendBounded(m_szLogName, NameCapacity, used, LogName);
}

void VTLogNet::Dispose() {
    try {
        Dispose(true);
    } catch (...) {
        // An override in a derived class may throw; nothing leaves the library.
    }
}

void VTLogNet::Dispose(bool disposing) {
    if (disposing) ReleaseName();
}

VTLogNet::~VTLogNet() { ReleaseName(); }

void VTLogNet::ReleaseName() {
    // Cleared at once, so a second Dispose or a later Trace sees a disposed instance.
    std::free(m_szLogName);
    m_szLogName = nullptr;
}

}  // namespace VTLogAdapter

// VTLogNet: the name buffer, the per-call message buffer and the one LogEx call per message.
// Log lines show the line numbers of the two LogEx calls, so they must stay on lines 46 and 60.
// Their results are discarded: a record the engine drops or fails to write is lost silently.
#include "VTLogAdapter.h"

#include <cstdlib>
#include <cstring>

#include "core/LogCore.h"
#include "platform/HotPath.h"
#include "platform/TextConversion.h"
#include "writers/ClassLocation.h"

// The class's location is the engine's to know: FormatLine recognises these arrays and
// keeps the fields built from them. Lines show the line numbers of the two LogEx calls
// below, which therefore stay where they are.
#define VTLOGNET_SOURCE_FILE kClassSourceFile
// Trace keeps the work of a call that is written apart from the test before it (VTLOG_APART):
// a dropped call then returns before that work's frame (a message buffer and saved registers)
// is set up.

namespace VTLogAdapter {
namespace {

constexpr const char16_t* kFunction = kClassFunction;

// What reaches LogEx: a message cut at MessageCapacity - 1 units, never inside a surrogate pair,
// a null text counting as empty; the engine bounds the line again. A message that fits is passed
// on where it is, and one that does not is cut by a call of its own, whose frame holds the copy.
// A disposed instance (no name) writes nothing. The helpers come after the members, so that the
// LogEx calls keep their lines. AppendBounded appends `text` (null counts as empty) after the
// `used` units in `buffer` of `capacity` units, moving `used` on; false when it had to be cut.
bool AppendBounded(char16_t* buffer, std::size_t capacity, std::size_t& used, const char16_t* text);
bool FitsMessage(const char16_t* text);
// Trace of a text that does not fit, cut to fit.
void TraceCut(VTLogNet& log, const char16_t* text);

}  // namespace

void VTLogNet::Trace(const char16_t* Message) {
    if (m_szLogName == nullptr || !LogIsEnabled(VT_LOG_TRACE)) return;  // disposed or filtered
    [this, Message]() VTLOG_APART VTLOG_HOT {
        const char16_t* message = Message != nullptr ? Message : u"";
        if (!FitsMessage(message)) return TraceCut(*this, message);
        try {
            LogEx(VTLOGNET_SOURCE_FILE, kFunction, __LINE__, VT_LOG_TRACE, m_szLogName, u"%s",
                  message);
        } catch (...) {}
    }();
}

void VTLogNet::Trace(const char16_t* Message, const char16_t* Parameter) {
    if (m_szLogName == nullptr || !LogIsEnabled(VT_LOG_TRACE)) return;
    [this, Message, Parameter]() VTLOG_APART VTLOG_HOT {
        char16_t message[MessageCapacity];
        std::size_t used = 0;
        const bool whole = AppendBounded(message, MessageCapacity, used, Message);
        if (whole) AppendBounded(message, MessageCapacity, used, Parameter);   // none after a cut
        try {   // the text is the argument of "%s": its percent signs are never interpreted
            LogEx(VTLOGNET_SOURCE_FILE, kFunction, __LINE__, VT_LOG_TRACE, m_szLogName, u"%s",
                  message);
        } catch (...) {}
    }();
}

namespace {

// Appends `text` (null counts as empty) after the first `used` units of `buffer` (`capacity`
// units), terminates the text and moves `used` to its end; false when it had to be cut, and a
// cut never keeps a high surrogate without its low half.
bool AppendBounded(char16_t* buffer, std::size_t capacity, std::size_t& used,
                   const char16_t* text) {
    // Measured and copied by blocks: the texts of a line are joined here on every call.
    buffer[used] = u'\0';
    if (text == nullptr) return true;
    const std::size_t room = capacity - 1 - used;
    // One unit past the room tells a text that ends there from one that goes on.
    const std::size_t length = Utf16Length(text, room + 1);
    const bool whole = length <= room;
    const std::size_t taken = whole ? length : room;
    std::memcpy(buffer + used, text, taken * sizeof(char16_t));
    used += taken;
    if (!whole && used > 0 && (buffer[used - 1] & 0xFC00u) == 0xD800u &&
        (text[taken] & 0xFC00u) == 0xDC00u) {
        --used;
    }
    buffer[used] = u'\0';
    return whole;
}

// True when `text` (not null) fits the message bound, which is nearly always.
bool FitsMessage(const char16_t* text) {
    return Utf16Length(text, VTLogNet::MessageCapacity) < VTLogNet::MessageCapacity;
}

// The cut prefix of `text` in `cut` (MessageCapacity units).
const char16_t* CutMessage(const char16_t* text, char16_t* cut) {
    std::size_t used = 0;
    AppendBounded(cut, VTLogNet::MessageCapacity, used, text);
    return cut;
}

// Trace and LogWithCategory of `text`, which does not fit, cut to fit.
VTLOG_RARE
void TraceCut(VTLogNet& log, const char16_t* text) {
    char16_t cut[VTLogNet::MessageCapacity];
    log.Trace(CutMessage(text, cut));
}
VTLOG_RARE
void LogCutWithCategory(VTLogNet& log, int level, const char16_t* category,
                                   const char16_t* text) {
    char16_t cut[VTLogNet::MessageCapacity];
    LogWithCategory(log, level, category, CutMessage(text, cut));
}

}  // namespace

void LogWithCategory(VTLogNet& log, int level, const char16_t* category,
                     const char16_t* message) {
    if (log.m_szLogName == nullptr || !LogIsEnabled(level)) return;
    const char16_t* text = message != nullptr ? message : u"";
    if (!FitsMessage(text)) return LogCutWithCategory(log, level, category, text);
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

// VTLogNet: a named log that turns each message into one record of the logging engine.
// Self-contained public header: it pulls in nothing of the engine.
#pragma once

#include "Export.h"

namespace VTLogAdapter {

// Thread safety: any number of threads may call Trace on one instance at once; Dispose must
// not run while a Trace on the same instance is in progress.
// Ownership: the instance owns its name buffer until Dispose() or destruction, whichever
// comes first. No member throws.
class VTLOGADAPTER_API VTLogNet {
public:
    // UTF-16 units per buffer, terminating zero included.
    static constexpr int NameCapacity = 260;
    static constexpr int MessageCapacity = 2048;

    // An empty or null name sends the records to the general log; any other name to that
    // name's file in the performance log. A longer name is cut to 259 units, never between
    // the halves of a surrogate pair.
    explicit VTLogNet(const char16_t* LogName);
    VTLogNet(const VTLogNet&) = delete;
    VTLogNet& operator=(const VTLogNet&) = delete;

    // One record at the TRACE level with the text verbatim (a null text counts as empty);
    // text beyond 2047 units is cut like the name. After Dispose() nothing is written.
    void Trace(const char16_t* Message);
    // As above with `Parameter` appended directly to `Message`, no separator between them.
    void Trace(const char16_t* Message, const char16_t* Parameter);

    // Releases the name buffer through Dispose(true); calling it again does nothing.
    virtual void Dispose() final;

protected:
    // true: release the name buffer. A derived class that overrides this calls the base.
    virtual void Dispose(bool disposing);

public:
    // Releases the name buffer if Dispose() has not.
    virtual ~VTLogNet();

private:
    // The C API's record at any level under a category (VTLogNet_Log), which needs the name.
    // Found through the argument only and never exported: no part of the class's surface.
    friend void LogWithCategory(VTLogNet& log, int level, const char16_t* category,
                                const char16_t* message);

    void ReleaseName();

    char16_t* m_szLogName;
};

}  // namespace VTLogAdapter

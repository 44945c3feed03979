// The library's single LogCore and the free entry point that reaches it. Kept apart from
// LogCore.cpp so that programs linking the engine statically (tests) do not build the
// library's instance unless they call LogEx.
#include "core/LogCore.h"

namespace VTLogAdapter {

namespace {
// Built by the static initialisers when the library loads, destroyed when it unloads.
LogCore libraryCore(GetOsPlatform());
}  // namespace

LogCore& GetLogCore() { return libraryCore; }

int LogEx(const char16_t* sourceFile, const char16_t* function, int line, VT_LOGLEVEL level,
          const char16_t* operation, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = libraryCore.LogExV(sourceFile, function, line, level, operation, format,
                                          args);
    va_end(args);
    return result;
}

int LogIsEnabled(int level) { return libraryCore.IsEnabled(level); }

}  // namespace VTLogAdapter

// Performance log (placeholder until the writers land).
#include "writers/PerformanceLog.h"

namespace VTLogAdapter {

PerformanceLog::PerformanceLog(const LogConfig* config, Platform& platform)
    : LogWriterBase(platform) {
    this->config = config;
}

PerformanceLog::~PerformanceLog() = default;

int PerformanceLog::WriteRecord(const char16_t*, const char16_t*, int, int, const char16_t*,
                                const char16_t*) {
    return 1;
}

int PerformanceLog::WriteLine(const char16_t*, const char*) { return 1; }

}  // namespace VTLogAdapter

// General log (placeholder until the writers land).
#include "writers/FileLog.h"

namespace VTLogAdapter {

FileLog::FileLog(const LogConfig* config, Platform& platform) : LogWriterBase(platform) {
    this->config = config;
}

FileLog::~FileLog() { Close(); }

int FileLog::WriteRecord(const char16_t*, const char16_t*, int, int, const char16_t*) {
    return 1;
}

int FileLog::WriteText(const char*) { return 1; }

void FileLog::Close() {}

}  // namespace VTLogAdapter

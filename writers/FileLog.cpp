// The general log: filter, build the line, send it to the file and the debugger output.
#include "writers/FileLog.h"

#include <cstring>

#include "platform/HotPath.h"
#include "writers/FileNaming.h"

namespace VTLogAdapter {

FileLog::FileLog(const LogConfig* config, Platform& platform) : LogWriterBase(platform) {
    this->config = config;
}

FileLog::~FileLog() { Close(); }

int FileLog::WriteRecord(const char16_t* sourceFile, const char16_t* function, int line,
                         int level, const char16_t* message) {
    if (config == nullptr || !config->Admits(level)) return 0;
    const LocalTime now = platform.GetLocalTime();
    char text[kLineCapacity];
    FormatLine(text, message != nullptr ? message : u"", sourceFile, function, line, level, now);
    WriteText(text, now);
    return 1;
}

bool FileLog::MakeNamePart(char* buffer) const {
    const LogFileSettings& settings = config->generalLog;
    const bool joined = settings.useDefaultFileName != 0
                            ? JoinPath(buffer, kPathCapacity, moduleFileName, ".dat")
                            : JoinPath(buffer, kPathCapacity, settings.fileName, "");
    // A configured name such as "../../x.log" would put the file outside the log folder.
    return joined && NameStaysInFolder(buffer);
}

int FileLog::WriteText(const char* line) { return WriteText(line, platform.GetLocalTime()); }

int FileLog::WriteText(const char* line, const LocalTime& now) {
    if (line == nullptr) return 1;
    const LineToWrite one{line, std::strlen(line), now};
    const LineToWrite* const lines[] = {&one};
    WriteLines(lines, 1);
    return 1;
}

VTLOG_HOT
void FileLog::WriteLines(const LineToWrite* const* lines, std::size_t count) {
    if (config == nullptr) return;
    // The name part is made only when a file is opened (see MakeNamePart): a name that does
    // not fit or leaves the folder gets no file rather than a cut or stray one, and such lines
    // reach only the debugger output.
    if (config->fileOutput != 0) WriteLinesToFile(file, nullptr, lines, count);
    WriteDebugOutput(lines, count);
}

void FileLog::Close() {
    CloseFile(file);
    CloseFileMutex();
}

void FileLog::CloseFilesIn(const char* day) { CloseFileIn(file, day); }

void FileLog::ForgetAfterFork() {
    ForgetFile(file);
    RefreshIdentity();
}

}  // namespace VTLogAdapter

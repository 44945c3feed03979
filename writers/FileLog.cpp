// The general log: filter, build the line, send it to the file and the debugger output.
#include "writers/FileLog.h"

#include <cstdio>
#include <cstring>

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
    WriteText(text);
    return 1;
}

bool FileLog::MakeNamePart(char* buffer) const {
    const LogFileSettings& settings = config->generalLog;
    if (settings.useDefaultFileName != 0) {
        return JoinPath(buffer, kPathCapacity, moduleFileName, ".dat");
    }
    return JoinPath(buffer, kPathCapacity, settings.fileName, "");
}

int FileLog::WriteText(const char* line) {
    if (config == nullptr || line == nullptr) return 1;
    if (config->fileOutput != 0) {
        // An executable name too long for ".dat" gets no file rather than a cut name.
        char namePart[kPathCapacity];
        if (MakeNamePart(namePart)) {
            WriteToFile(file, namePart, line, std::strlen(line));
        }
    }
    if (config->debugOutput != 0) platform.WriteDebugOutput(line);
    return 1;
}

void FileLog::Close() {
    if (file != nullptr) {
        platform.CloseLogFile(file);
        file = nullptr;
    }
    CloseFileMutex();
}

}  // namespace VTLogAdapter

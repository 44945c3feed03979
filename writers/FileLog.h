// The general log: every message that names no operation, in one file series.
// Called only by LogCore, inside its critical section.
#pragma once

#include "writers/LogWriterBase.h"

namespace VTLogAdapter {

class FileLog : public LogWriterBase {
public:
    // Keeps a pointer to `config`, which must outlive the writer; opens nothing yet.
    FileLog(const LogConfig* config, Platform& platform);
    ~FileLog();

    // 0 when filtered out, 1 otherwise (also when no file could be written).
    int WriteRecord(const char16_t* sourceFile, const char16_t* function, int line, int level,
                    const char16_t* message);
    // Sends a finished line to the enabled channels, the file first; always 1.
    int WriteText(const char* line);
    // Closes the file and the mutex handle; the work of destruction.
    void Close();

private:
    // The name part of the next file: the executable's name + ".dat", or the configured name.
    bool MakeNamePart(char* buffer) const;

    LogFile* file = nullptr;
};

}  // namespace VTLogAdapter

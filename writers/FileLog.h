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
    // Sends a finished line to the enabled channels, the file first; always 1. The first form
    // reads the clock for the file's day.
    int WriteText(const char* line);
    int WriteText(const char* line, const LocalTime& now);
    // WriteText for finished lines in their order; the file gets those in a row in one write.
    void WriteLines(const LineToWrite* const* lines, std::size_t count);
    // Closes the file and the mutex handle; the work of destruction and of unload.
    void Close();
    // Closes the file when it lies in the day folder `day`, which is about to be removed.
    void CloseFilesIn(const char* day);
    // In a forked child: drops the parent's file unwritten and reads the process identity again.
    void ForgetAfterFork();

private:
    // The name part of the next file: the executable's name + ".dat", or the configured name.
    // False when it would not fit or would lead out of the day folder.
    bool MakeNamePart(char* buffer) const override;

    LogFileSlot file;
};

}  // namespace VTLogAdapter

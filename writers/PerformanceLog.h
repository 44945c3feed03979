// The performance log: one file series per operation name. Times nothing; its lines are
// ordinary log lines. Called only by LogCore, inside its critical section.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "writers/LogWriterBase.h"

namespace VTLogAdapter {

// One operation's file series. Owned by the PerformanceLog, which closes its file.
struct OperationFile {
    explicit OperationFile(std::u16string operation);
    OperationFile(const OperationFile&) = delete;
    OperationFile& operator=(const OperationFile&) = delete;

    // What every line reads first: the name it compares and the slot's leading fields.
    std::u16string operation;   // the table's key points into this text
    // Neighbours in the list of operations with an open file, most recently written first.
    OperationFile* newer = nullptr;
    OperationFile* older = nullptr;
    LogFileSlot slot;
    char name[kPathCapacity];   // the operation name as UTF-8: the name part of its files
};

class PerformanceLog : public LogWriterBase {
public:
    // At most this many operation files are open at once; the one written least recently is
    // closed (and taken up again by its next line) when another needs a descriptor.
    static constexpr std::size_t kMaxOpenFiles = 64;

    // Keeps a pointer to `config`, which must outlive the writer; opens nothing yet.
    PerformanceLog(const LogConfig* config, Platform& platform);
    // Closes every operation's file, then the mutex handle.
    ~PerformanceLog();

    // 0 when filtered out, 1 otherwise (also when no file could be written).
    int WriteRecord(const char16_t* sourceFile, const char16_t* function, int line, int level,
                    const char16_t* operation, const char16_t* message);
    // Sends a finished line to the operation's file and the debugger output as the switches
    // say. A name that would lead out of the day folder, or is too long for a path, gets no
    // file: its lines reach only the debugger output. Always 1. The first form reads the clock
    // for the file's day.
    int WriteLine(const char16_t* operation, const char* line);
    int WriteLine(const char16_t* operation, const char* line, const LocalTime& now);
    // WriteLine for finished lines of one operation in their order; its file gets those in a
    // row in one write.
    void WriteLines(const char16_t* operation, const LineToWrite* const* lines,
                    std::size_t count);
    // Closes every operation's file and the mutex handle; the work of destruction and unload.
    void Close();
    // Closes the operations' files that lie in the day folder `day`, which is about to be
    // removed.
    void CloseFilesIn(const char* day);
    // In a forked child: drops the parent's files unwritten and reads the process identity
    // again.
    void ForgetAfterFork();
    // Operation files open right now.
    std::size_t OpenFileCount() const { return openCount; }

private:
    // The entry of `operation`, created at its first line; null when the name gets no file or
    // memory ran out.
    OperationFile* FindOrAddOperation(const char16_t* operation);
    void Unlink(OperationFile* entry);
    void LinkNewest(OperationFile* entry);

    // Keyed by the exact UTF-16 name (case-sensitive). The key views the entry's own copy of
    // the name, so a lookup needs no allocation.
    std::unordered_map<std::u16string_view, std::unique_ptr<OperationFile>> operations;
    // The entry written last: a run of lines under one name, the common case, skips hashing.
    OperationFile* lastEntry = nullptr;
    // The operations with an open file, newest first.
    OperationFile* newest = nullptr;
    OperationFile* oldest = nullptr;
    std::size_t openCount = 0;
};

}  // namespace VTLogAdapter

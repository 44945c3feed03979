// The performance log: one file series per operation name. Times nothing; its lines are
// ordinary log lines. Called only by LogCore, inside its critical section.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>

#include "writers/LogWriterBase.h"

namespace VTLogAdapter {

struct OperationFile {
    char name[kPathCapacity];   // the operation name as UTF-8: the name part of its files
    LogFile* file = nullptr;
};

class PerformanceLog : public LogWriterBase {
public:
    PerformanceLog(const LogConfig* config, Platform& platform);
    ~PerformanceLog();

    // 0 when filtered out, 1 otherwise (also when no file could be written).
    int WriteRecord(const char16_t* sourceFile, const char16_t* function, int line, int level,
                    const char16_t* operation, const char16_t* message);
    // Always 1.
    int WriteLine(const char16_t* operation, const char* line);

private:
    std::unordered_map<std::u16string, std::unique_ptr<OperationFile>> operations;
};

}  // namespace VTLogAdapter

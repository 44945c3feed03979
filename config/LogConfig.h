// The engine's settings: one record per process, filled once from "LogConfigure.xml".
#pragma once

#include "platform/Platform.h"

namespace VTLogAdapter {

struct LogFileSettings {
    char filePath[kPathCapacity];   // folder of the log files; ends in a separator once loaded
    char fileName[kPathCapacity];   // general log file name when useDefaultFileName is 0
    double fileSizeLimit;           // megabytes of 1048576 bytes; never below 0.1 once loaded
    int useDefaultFileName;         // non-zero: the general log is named after the executable
    int retainDays;                 // day folders more than this many days old go; 0: all stay
    double retainSizeLimit;         // megabytes the log files may take together; 0: no limit
};

// Integer flags are booleans: 0 off, anything else on.
struct LogConfig {
    // Fills every field with its default; asks `platform` for the common application data
    // folder, the default home of the log files.
    explicit LogConfig(const Platform& platform);

    // Fills the record from the registry and "LogConfigure.xml". Runs its body at most once per
    // record: `loaded` is set first, so a failed load is never retried. Returns 1 when the file
    // was read through the "log" element, 0 otherwise; fields set before a failure keep their
    // new values. Not thread-safe: the caller runs it once (see LogCore).
    int Load(const Platform& platform);

    // The one admission test, repeated by the dispatcher and by each writer: logging on and
    // the level not below the threshold (a signed comparison).
    bool Admits(int level) const { return enable != 0 && level >= logLevel; }

    int loaded;
    int enable;
    int logLevel;
    int processId;
    int threadId;
    int moduleName;
    int sourceFileInfo;
    int sessionInfo;
    int excelMode;
    int fileOutput;
    int eventViewerOutput;   // stored only
    int debugOutput;
    int viewerOutput;        // stored only
    LogFileSettings perfLog;     // stored only; the "performancelog" element
    LogFileSettings generalLog;  // folder and size limit of both logs; the "log" element
};

}  // namespace VTLogAdapter

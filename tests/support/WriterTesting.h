// Helpers for the writer tests: settings that write into a TempFolder, and a writer base whose
// state the tests may look at.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "config/ConfigLoader.h"
#include "config/LogConfig.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/TempFolder.h"
#include "writers/LogWriterBase.h"

namespace VTLogAdapter::Testing {

// `path` with every '/' turned into the platform's separator.
inline std::string Native(std::string path) {
    for (char& c : path) {
        if (c == '/') c = kPathSeparator;
    }
    return path;
}

inline std::u16string Native(std::u16string path) {
    for (char16_t& c : path) {
        if (c == u'/') c = static_cast<char16_t>(kPathSeparator);
    }
    return path;
}

// Logging on at every level into `folder` + separator, files only, a roomy size limit.
inline std::unique_ptr<LogConfig> WritingConfig(const FakePlatform& platform,
                                                const std::string& folder) {
    auto config = std::make_unique<LogConfig>(platform);
    config->loaded = 1;
    config->enable = 1;
    config->logLevel = 0;
    config->fileOutput = 1;
    config->debugOutput = 0;
    std::snprintf(config->generalLog.filePath, kPathCapacity, "%s%c", folder.c_str(),
                  kPathSeparator);
    config->generalLog.fileSizeLimit = 100.0;
    return config;
}

// The base on its own, with its state in reach.
class TestWriter : public LogWriterBase {
public:
    TestWriter(const LogConfig* settings, Platform& platform) : LogWriterBase(platform) {
        config = settings;
    }
    ~TestWriter() { CloseFile(file); }
    // Writes `line` as the writers do, at the platform's time: roll over if needed, then one
    // write.
    void Write(const std::string& line, const char* namePart = "trace") {
        WriteToFile(file, namePart, line.c_str(), line.size(), platform.GetLocalTime());
    }

    // As group commit hands lines over: those that go to one file in a row in one write.
    using LogWriterBase::WriteLinesToFile;
    using LogWriterBase::currentDay;
    using LogWriterBase::fileMutex;
    using LogWriterBase::moduleFileName;
    using LogWriterBase::processIdentifier;
    using LogWriterBase::sessionTag;
    LogFileSlot file;
};

}  // namespace VTLogAdapter::Testing

// The configuration load from hostile input: the registry text before the first NUL byte, the
// bytes of LogConfigure.xml after it. The record must come out usable whatever they hold, and a
// line written with it (its folder moved into a temporary one) must be whole and stay there.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "config/ConfigLoader.h"
#include "config/LogConfig.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/ConfigFiles.h"
#include "writers/FileLog.h"

using namespace VTLogAdapter;
using namespace VTLogAdapter::Testing;

namespace {

void CheckSettings(const LogFileSettings& settings, const char* block) {
    for (const char* text : {settings.filePath, settings.fileName}) {
        FuzzCheck(std::memchr(text, '\0', kPathCapacity) != nullptr,
                  "a loaded path is terminated inside its buffer", block);
    }
    const std::size_t length = std::strlen(settings.filePath);
    FuzzCheck(length == 0 || settings.filePath[length - 1] == kPathSeparator,
              "a loaded folder ends with a separator", settings.filePath);
    FuzzCheck(!std::isnan(settings.fileSizeLimit) && settings.fileSizeLimit >= 0.1,
              "a size limit is a number of at least 0.1", block);
}

// Writes one line through the general log with every loaded setting but the folder, which
// becomes `logs`; the file name and the line switches are the input's.
void WriteOneLine(LogConfig& config, FakePlatform& platform, const std::string& logs) {
    std::snprintf(config.generalLog.filePath, kPathCapacity, "%s%c", logs.c_str(),
                  kPathSeparator);
    config.enable = 1;
    config.logLevel = 0;
    config.fileOutput = 1;
    config.debugOutput = 0;
    GuardCreatedFiles(platform, logs);
    {
        FileLog log(&config, platform);
        log.WriteRecord(u"src/config.cpp", u"Load", 1, VT_LOG_INFO, u"configured");
    }
    std::size_t files = 0;
    for (const std::string& file : ListFiles(logs)) {
        FuzzCheck(CheckRecords(ReadFile(logs + kPathSeparator + file), file.c_str()) == 1,
                  "the general log holds the one line written", file);
        ++files;
    }
    FuzzCheck(files <= 1, "one line makes at most one file");
    std::error_code error;
    std::filesystem::remove_all(logs, error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One folder for the whole run: every input rewrites the whole file.
    static TempFolder temp;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string registryText = split == std::string::npos ? "bin" : input.substr(0, split);
    const std::string xml = split == std::string::npos ? input : input.substr(split + 1);

    FakePlatform platform;
    InstallConfig(platform, temp, xml);
    // Below the installation folder, so a text without separators finds the file written above
    // and one with separators reads some other place (or nothing).
    platform.registry["SOFTWARE\\Corvessa\\Vantiro\\ZLM_HOME"] =
        temp.Join("install") + kPathSeparator + registryText;

    LogConfig config(platform);
    const int result = config.Load(platform);
    FuzzCheck(result == 0 || result == 1, "Load returns 0 or 1");
    FuzzCheck(config.loaded == 1, "Load marks the record loaded");
    CheckSettings(config.generalLog, "log");
    CheckSettings(config.perfLog, "performancelog");
    WriteOneLine(config, platform, temp.Join("logs"));
    return 0;
}

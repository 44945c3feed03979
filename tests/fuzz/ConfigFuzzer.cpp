// The configuration load from hostile input: the registry text before the first NUL byte, the
// bytes of LogConfigure.xml after it. The record must come out usable whatever they hold.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "config/ConfigLoader.h"
#include "config/LogConfig.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/ConfigFiles.h"

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
    return 0;
}

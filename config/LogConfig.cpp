// Defaults of the settings record.
#include "config/LogConfig.h"

#include <cstdio>
#include <cstring>

#include "config/ConfigLoader.h"

namespace VTLogAdapter {

namespace {
void SetText(char* field, const char* text) {
    std::snprintf(field, kPathCapacity, "%s", text);
}
}  // namespace

LogConfig::LogConfig(const Platform& platform)
    : loaded(0),
      enable(0),
      logLevel(0),
      processId(1),
      threadId(1),
      moduleName(1),
      sourceFileInfo(1),
      sessionInfo(1),
      excelMode(0),
      fileOutput(1),
      eventViewerOutput(1),
      debugOutput(1),
      viewerOutput(1),
      perfLog(),
      generalLog() {
    char folder[kPathCapacity] = {};
    // Without the folder the path stays empty (the current directory) rather than becoming a
    // bare separator, which would put the day folders at the file system root.
    if (platform.GetSpecialFolderPath(SpecialFolder::CommonAppData, folder, sizeof folder) &&
        std::strlen(folder) + 1 < kPathCapacity) {
        const std::size_t length = std::strlen(folder);
        folder[length] = kPathSeparator;
        folder[length + 1] = '\0';
    } else {
        folder[0] = '\0';
    }
    SetText(perfLog.filePath, folder);
    SetText(perfLog.fileName, "Vantiro_log.dat");
    perfLog.fileSizeLimit = 0.1;
    perfLog.useDefaultFileName = 0;
    SetText(generalLog.filePath, perfLog.filePath);
    SetText(generalLog.fileName, "Performance_Vantiro.dat");
    generalLog.fileSizeLimit = 0.1;
    generalLog.useDefaultFileName = 0;
}

}  // namespace VTLogAdapter

// Loading "LogConfigure.xml" into the settings record.
#include "config/ConfigLoader.h"

#include "config/LogConfig.h"

namespace VTLogAdapter {

int ReadInstallDirectory(const Platform&, char* buffer) {
    buffer[0] = '\0';
    return 0;
}

int ExpandFolderMacro(const Platform&, char*) { return 1; }

int LogConfig::Load(const Platform&) {
    if (loaded != 0) return 0;
    loaded = 1;
    return 0;
}

}  // namespace VTLogAdapter

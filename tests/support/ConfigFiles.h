// Puts a "LogConfigure.xml" where a FakePlatform's registry says the installation lives.
#pragma once

#include <string>

#include "tests/support/FakePlatform.h"
#include "tests/support/TempFolder.h"

namespace VTLogAdapter::Testing {

// Writes `xml` as <temp>/install/LogConfigure.xml and points ZLM_HOME at <temp>/install/bin,
// the way an installer records its binaries folder.
void InstallConfig(FakePlatform& platform, const TempFolder& temp, const std::string& xml);

// A configuration that enables logging into <temp>/logs/ with the given level and outputs.
std::string EnabledConfig(const TempFolder& temp, int logLevel = 0, int fileOutput = 1,
                          int debugOutput = 0);

}  // namespace VTLogAdapter::Testing

#include "tests/support/ConfigFiles.h"

#include "config/ConfigLoader.h"

namespace VTLogAdapter::Testing {

void InstallConfig(FakePlatform& platform, const TempFolder& temp, const std::string& xml) {
    temp.WriteFile("install/LogConfigure.xml", xml);
    platform.registry["SOFTWARE\\Corvessa\\Vantiro\\ZLM_HOME"] =
        temp.Path() + kPathSeparator + "install" + kPathSeparator + "bin";
}

std::string EnabledConfig(const TempFolder& temp, int logLevel, int fileOutput,
                          int debugOutput) {
    return "<LogConfigure enable=\"1\">"
           "<global processid=\"1\" threadid=\"1\" modulename=\"1\" sourcefileinfo=\"1\""
           " sessioninfo=\"1\" excelmode=\"0\">"
           "<output name=\"file\" enable=\"" + std::to_string(fileOutput) + "\"/>"
           "<output name=\"outputdebugwindows\" enable=\"" + std::to_string(debugOutput) + "\"/>"
           "</global>"
           "<log filepath=\"" + temp.Join("logs") + "\" filesizelimit=\"10\" loglevel=\"" +
           std::to_string(logLevel) + "\" usedefaultfilename=\"1\"/>"
           "</LogConfigure>";
}

}  // namespace VTLogAdapter::Testing

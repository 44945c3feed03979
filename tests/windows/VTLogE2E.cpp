// Windows end-to-end helper: logs through the shipped library as an application would, so the
// driver (run-e2e.sh) can check the files and debugger output it leaves behind. Each mode first
// prints "pid=<process> session=<session>" for the driver to find in the lines.
//   vtlog_e2e trace NAME COUNT TEXT [PAUSE_MS]  VTLogNet(NAME) traces "TEXT #i", i = 1..COUNT
//   vtlog_e2e capi NAME MESSAGE PARAMETER        the C API: one Trace with, one without parameter
// NAME "-" stands for the empty name (general log). Arguments are ASCII.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "VTLogAdapter.h"
#include "VTLogNetApi.h"

namespace {

std::u16string Widen(const char* text) {
    std::u16string wide;
    for (const char* c = text; *c != '\0'; ++c) wide.push_back(static_cast<unsigned char>(*c));
    return wide;
}

std::u16string LogName(const char* argument) {
    return std::strcmp(argument, "-") == 0 ? std::u16string() : Widen(argument);
}

int Usage() {
    std::fprintf(stderr,
                 "usage: vtlog_e2e trace NAME COUNT TEXT [PAUSE_MS] | capi NAME MESSAGE PARAM\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) {
        std::fprintf(stderr, "ProcessIdToSessionId failed: %lu\n", GetLastError());
        return 1;
    }
    std::printf("pid=%lu session=%lu\n", GetCurrentProcessId(), session);
    std::fflush(stdout);

    const std::string mode = argv[1];
    if (mode == "trace" && (argc == 5 || argc == 6)) {
        const int count = std::atoi(argv[3]);
        const int pause = argc == 6 ? std::atoi(argv[5]) : 0;
        VTLogAdapter::VTLogNet log(LogName(argv[2]).c_str());
        for (int i = 1; i <= count; ++i) {
            const std::u16string message =
                Widen(argv[4]) + u" #" + Widen(std::to_string(i).c_str());
            log.Trace(message.c_str());
            if (pause > 0) Sleep(static_cast<DWORD>(pause));
        }
        log.Dispose();
        return 0;
    }
    if (mode == "capi" && argc == 5) {
        VTLogNetHandle handle = VTLogNet_Create(LogName(argv[2]).c_str());
        if (handle == nullptr) return 1;
        VTLogNet_TraceWithParameter(handle, Widen(argv[3]).c_str(), Widen(argv[4]).c_str());
        VTLogNet_Trace(handle, Widen(argv[3]).c_str());
        VTLogNet_Dispose(handle);
        return 0;
    }
    return Usage();
}

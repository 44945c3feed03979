// Arbitrary UTF-16 in every text field of a line (message, operation name, source file and
// function), through the line builder alone and through a LogCore writing real files; and
// arbitrary UTF-16 through VTLogNet::Trace into the library's own engine.
//
// Input: one byte of line-content switches, one of level, four of line number, then UTF-16LE
// units; U+0000 separates message, operation, source file and function (a missing field is
// null). With the switches' top bit set, the message and the next field (the parameter, when
// there is one) go to Trace instead, on the general log or, with bit 6, on a named log.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "managed/VTLogAdapter.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/WriterTesting.h"

using namespace VTLogAdapter;
using namespace VTLogAdapter::Testing;

namespace {

// The logs of the library's engine. Its settings are loaded once per process, through the
// registry root in the environment, so the installation outlives every input; each input's
// files are emptied after their check, so the next input finds only its own record.
std::string libraryLogs;

void InstallForTheLibrary() {
    static TempFolder installation;
    installation.WriteFile("registry/HKEY_LOCAL_MACHINE/SOFTWARE/Corvessa/Vantiro/ZLM_HOME",
                           installation.Join("install/bin"));
    // No debugger output: it would reach the machine's syslog. A size limit no run reaches,
    // as emptied files still count what was written to them.
    installation.WriteFile(
        "install/LogConfigure.xml",
        "<LogConfigure enable=\"1\"><global processid=\"1\" threadid=\"1\" modulename=\"1\""
        " sourcefileinfo=\"1\" sessioninfo=\"1\" excelmode=\"0\">"
        "<output name=\"file\" enable=\"1\"/><output name=\"outputdebugwindows\" enable=\"0\"/>"
        "</global><log filepath=\"" + installation.Join("logs") +
            "/\" filesizelimit=\"65536\" loglevel=\"0\" usedefaultfilename=\"1\"/></LogConfigure>");
    setenv("VTLOGADAPTER_REGISTRY_ROOT", installation.Join("registry").c_str(), 1);
    libraryLogs = installation.Join("logs");
}

void TraceThroughTheLibrary(bool named, const char16_t* message, const char16_t* parameter) {
    VTLogNet log(named ? u"Fuzzed" : u"");
    if (parameter == nullptr) {
        log.Trace(message);
    } else {
        log.Trace(message, parameter);
    }
    std::size_t records = 0;
    for (const std::string& file : ListFiles(libraryLogs)) {
        const std::string path = libraryLogs + kPathSeparator + file;
        records += CheckRecords(ReadFile(path), file.c_str(), Stamp::SystemClock);
        std::error_code error;
        std::filesystem::resize_file(path, 0, error);
        FuzzCheck(!error, "a checked file can be emptied", path);
    }
    FuzzCheck(records == 1, "each Trace writes one record");
}

std::vector<std::u16string> SplitFields(const std::u16string& units) {
    std::vector<std::u16string> fields(1);
    for (const char16_t unit : units) {
        if (unit == u'\0') {
            fields.emplace_back();
        } else {
            fields.back() += unit;
        }
    }
    return fields;
}

const char16_t* Field(const std::vector<std::u16string>& fields, std::size_t index) {
    return index < fields.size() ? fields[index].c_str() : nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InstallForTheLibrary();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const unsigned bits = input.ConsumeIntegral<std::uint8_t>();
    const LineSwitches switches = LineSwitches::FromBits(bits);
    const int level = input.ConsumeIntegralInRange<int>(-1, 5);
    const int line = input.ConsumeIntegral<int>();
    const std::vector<std::u16string> fields =
        SplitFields(Utf16FromBytes(input.ConsumeRemainingBytesAsString()));
    const char16_t* message = Field(fields, 0);
    const char16_t* operation = Field(fields, 1);
    const char16_t* source = Field(fields, 2);
    const char16_t* function = Field(fields, 3);

    if ((bits & 0x80u) != 0) {
        TraceThroughTheLibrary((bits & 0x40u) != 0, message, operation);
        return 0;
    }

    LogSandbox sandbox(switches);

    // The line builder on its own, into a buffer of exactly its size so any overrun is caught.
    {
        auto config = WritingConfig(sandbox.Platform(), "unused");
        config->processId = switches.processId;
        config->threadId = switches.threadId;
        config->moduleName = switches.moduleName;
        config->sourceFileInfo = switches.sourceFileInfo;
        config->sessionInfo = switches.sessionInfo;
        config->excelMode = switches.excelMode;
        TestWriter builder(config.get(), sandbox.Platform());
        const std::unique_ptr<char[]> buffer(new char[kLineCapacity]);
        builder.FormatLine(buffer.get(), message, source, function, line, level,
                           sandbox.Platform().GetLocalTime());
        const std::size_t length = strnlen(buffer.get(), kLineCapacity);
        FuzzCheck(length < kLineCapacity, "FormatLine terminates its line");
        FuzzCheck(CheckRecords(std::string(buffer.get(), length), "FormatLine") == 1,
                  "FormatLine builds one record", buffer.get());
    }

    // Through the engine: the general log and, when named, the operation's file.
    const int general = sandbox.Core().LogEx(source, function, line,
                                             static_cast<VT_LOGLEVEL>(level), nullptr, u"%s",
                                             message);
    // An empty name is the general log's; it would add a second record there.
    const bool hasName = operation != nullptr && operation[0] != u'\0';
    const int named = hasName ? sandbox.Core().LogEx(source, function, line,
                                                     static_cast<VT_LOGLEVEL>(level), operation,
                                                     u"%s", message)
                              : general;
    std::size_t records = 0;
    bool generalFile = false;
    for (const auto& [file, count] : sandbox.CheckOutput()) {
        FuzzCheck(count == 1, "each file holds the one record written to it", file);
        generalFile = generalFile || file == std::string(kFuzzDay) + "/app.exe.dat";
        records += count;
    }
    FuzzCheck(records <= 2, "no more records than calls");
    FuzzCheck(generalFile == (general == 1), "an admitted line reaches the general log");
    FuzzCheck(general == named, "both writers admit the same levels");
    return 0;
}

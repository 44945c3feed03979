// Arbitrary UTF-16 in every text field of a line (message, operation name, source file and
// function), through the line builder alone and through a LogCore writing real files.
//
// Input: one byte of line-content switches, one of level, four of line number, then UTF-16LE
// units; U+0000 separates message, operation, source file and function (a missing field is
// null).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/WriterTesting.h"

using namespace VTLogAdapter;
using namespace VTLogAdapter::Testing;

namespace {

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

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const LineSwitches switches = LineSwitches::FromBits(input.ConsumeIntegral<std::uint8_t>());
    const int level = input.ConsumeIntegralInRange<int>(-1, 5);
    const int line = input.ConsumeIntegral<int>();
    const std::vector<std::u16string> fields =
        SplitFields(Utf16FromBytes(input.ConsumeRemainingBytesAsString()));
    const char16_t* message = Field(fields, 0);
    const char16_t* operation = Field(fields, 1);
    const char16_t* source = Field(fields, 2);
    const char16_t* function = Field(fields, 3);

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

// What every fuzz target checks on log lines, and a sandbox in which a LogCore on a FakePlatform
// writes real files into a temporary folder. A broken check aborts, which libFuzzer reports
// with the input that caused it.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/LogCore.h"
#include "tests/support/FakePlatform.h"
#include "tests/support/TempFolder.h"

namespace VTLogAdapter::Testing {

// Little-endian byte pairs as UTF-16 code units (an odd last byte is dropped).
std::u16string Utf16FromBytes(const std::string& bytes);

// Prints `what` and aborts unless `condition` holds.
void FuzzCheck(bool condition, const char* what, const std::string& detail = "");

// True when `text` is UTF-8 without overlong forms, encoded surrogates or values past U+10FFFF.
bool IsStrictUtf8(const std::string& text);

// The clock that stamped the records checked: a FakePlatform's, whose time is known, or the
// system's, of which only the form "hh:mm:ss:mmm " is.
enum class Stamp { FakeClock, SystemClock };

// One record as the engine writes it: starts with its time, ends with "\n", holds at most
// 2,047 bytes before that, is strict UTF-8, and every other line break in it is "\n" followed
// by a tab (no CR at all), so no text inside it can pass for a record of its own.
void CheckRecord(const std::string& record, const char* where, Stamp stamp = Stamp::FakeClock);

// Splits file content into records (a record goes on while a line break is followed by a tab),
// checks each, and returns how many there are.
std::size_t CheckRecords(const std::string& content, const char* where,
                         Stamp stamp = Stamp::FakeClock);

// Makes every file creation on `platform` check that the file lies in the fake clock's day
// folder below `logFolder`, or further below it, and abort otherwise.
void GuardCreatedFiles(FakePlatform& platform, const std::string& logFolder);

// The line-content switches of the <global> element, one bit each.
struct LineSwitches {
    bool processId = true;
    bool threadId = true;
    bool moduleName = true;
    bool sourceFileInfo = true;
    bool sessionInfo = true;
    bool excelMode = false;

    static LineSwitches FromBits(unsigned bits);
};

// A temporary folder with LogConfigure.xml (logging on at every level, file and debugger
// output) and a LogCore that writes below <temp>/logs. Every file the engine creates is checked
// to lie inside that folder.
class LogSandbox {
public:
    explicit LogSandbox(const LineSwitches& switches = LineSwitches());

    LogCore& Core() { return *core; }
    FakePlatform& Platform() { return platform; }
    // Every file below <temp>/logs, relative path and content.
    std::vector<std::pair<std::string, std::string>> Files() const;
    // Checks every file and every debugger line; returns the records per file, by path.
    std::vector<std::pair<std::string, std::size_t>> CheckOutput() const;

private:
    TempFolder temp;
    FakePlatform platform;
    std::string logFolder;
    std::unique_ptr<LogCore> core;
};

// Day folder of the fake clock.
constexpr char kFuzzDay[] = "2026-12-07";

}  // namespace VTLogAdapter::Testing

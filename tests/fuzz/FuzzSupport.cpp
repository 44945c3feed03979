#include "tests/fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>

#include "config/ConfigLoader.h"
#include "tests/support/ConfigFiles.h"

namespace VTLogAdapter::Testing {

namespace {

// Records start with the fake clock's time, "hh:mm:ss:mmm ".
constexpr char kTimePrefix[] = "14:03:07:045 ";
constexpr std::size_t kMaxRecordBytes = 2047;

// True when `record` starts with a time of the form "hh:mm:ss:mmm ".
bool StartsWithATime(const std::string& record) {
    static constexpr char kForm[] = "00:00:00:000 ";
    if (record.size() < sizeof kForm - 1) return false;
    for (std::size_t i = 0; i + 1 < sizeof kForm; ++i) {
        const bool digit = record[i] >= '0' && record[i] <= '9';
        if (kForm[i] == '0' ? !digit : record[i] != kForm[i]) return false;
    }
    return true;
}

}  // namespace

std::u16string Utf16FromBytes(const std::string& bytes) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return units;
}

void FuzzCheck(bool condition, const char* what, const std::string& detail) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n%s\n", what, detail.c_str());
    std::abort();
}

bool IsStrictUtf8(const std::string& text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        const unsigned lead = bytes[i];
        std::size_t need = 0;
        unsigned low = 0x80, high = 0xBF;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            need = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            need = 2;
            if (lead == 0xE0) low = 0xA0;    // overlong
            if (lead == 0xED) high = 0x9F;   // surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            need = 3;
            if (lead == 0xF0) low = 0x90;    // overlong
            if (lead == 0xF4) high = 0x8F;   // past U+10FFFF
        } else {
            return false;
        }
        for (std::size_t k = 1; k <= need; ++k) {
            if (i + k >= size) return false;
            const unsigned next = bytes[i + k];
            if (next < low || next > high) return false;
            low = 0x80;
            high = 0xBF;
        }
        i += need + 1;
    }
    return true;
}

void CheckRecord(const std::string& record, const char* where, Stamp stamp) {
    FuzzCheck(stamp == Stamp::FakeClock
                  ? record.compare(0, sizeof kTimePrefix - 1, kTimePrefix) == 0
                  : StartsWithATime(record),
              "a record starts with its time", std::string(where) + ": " + record);
    FuzzCheck(!record.empty() && record.back() == '\n', "a record ends with a line break",
              std::string(where) + ": " + record);
    FuzzCheck(record.size() - 1 <= kMaxRecordBytes, "a record holds at most 2,047 bytes",
              std::string(where) + ": " + std::to_string(record.size() - 1) + " bytes");
    FuzzCheck(IsStrictUtf8(record), "a record is strict UTF-8", std::string(where) + ": " + record);
    FuzzCheck(record.find('\r') == std::string::npos, "a record holds no carriage return",
              std::string(where) + ": " + record);
    for (std::size_t at = record.find('\n'); at + 1 < record.size();
         at = record.find('\n', at + 1)) {
        FuzzCheck(record[at + 1] == '\t', "a line break inside a record is followed by a tab",
                  std::string(where) + ": " + record);
    }
}

std::size_t CheckRecords(const std::string& content, const char* where, Stamp stamp) {
    std::size_t count = 0;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        while (end != std::string::npos && end + 1 < content.size() && content[end + 1] == '\t') {
            end = content.find('\n', end + 1);
        }
        end = end == std::string::npos ? content.size() : end + 1;
        CheckRecord(content.substr(start, end - start), where, stamp);
        ++count;
        start = end;
    }
    return count;
}

void GuardCreatedFiles(FakePlatform& platform, const std::string& logFolder) {
    const std::string day = logFolder + kPathSeparator + kFuzzDay + kPathSeparator;
    platform.allowCreate = [day](const char* path) {
        const std::string file(path);
        FuzzCheck(file.compare(0, day.size(), day) == 0, "files are created in the day folder",
                  file);
        std::size_t start = day.size();
        for (;;) {
            const std::size_t end = file.find(kPathSeparator, start);
            FuzzCheck(file.substr(start, end - start) != "..",
                      "a file name never leaves the day folder", file);
            if (end == std::string::npos) break;
            start = end + 1;
        }
        return true;
    };
}

LineSwitches LineSwitches::FromBits(unsigned bits) {
    LineSwitches switches;
    switches.processId = (bits & 1u) != 0;
    switches.threadId = (bits & 2u) != 0;
    switches.moduleName = (bits & 4u) != 0;
    switches.sourceFileInfo = (bits & 8u) != 0;
    switches.sessionInfo = (bits & 16u) != 0;
    switches.excelMode = (bits & 32u) != 0;
    return switches;
}

LogSandbox::LogSandbox(const LineSwitches& switches) : logFolder(temp.Join("logs")) {
    const auto flag = [](bool on) { return on ? "\"1\"" : "\"0\""; };
    const std::string xml =
        std::string("<LogConfigure enable=\"1\"><global processid=") + flag(switches.processId) +
        " threadid=" + flag(switches.threadId) + " modulename=" + flag(switches.moduleName) +
        " sourcefileinfo=" + flag(switches.sourceFileInfo) +
        " sessioninfo=" + flag(switches.sessionInfo) + " excelmode=" + flag(switches.excelMode) +
        "><output name=\"file\" enable=\"1\"/><output name=\"outputdebugwindows\" enable=\"1\"/>"
        "</global><log filepath=\"" + logFolder +
        "\" filesizelimit=\"1\" loglevel=\"0\" usedefaultfilename=\"1\"/></LogConfigure>";
    InstallConfig(platform, temp, xml);
    platform.threadId = 77;
    GuardCreatedFiles(platform, logFolder);
    core = std::make_unique<LogCore>(platform);
}

std::vector<std::pair<std::string, std::string>> LogSandbox::Files() const {
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string& file : ListFiles(logFolder)) {
        files.emplace_back(file, ReadFile(logFolder + kPathSeparator + file));
    }
    return files;
}

std::vector<std::pair<std::string, std::size_t>> LogSandbox::CheckOutput() const {
    std::vector<std::pair<std::string, std::size_t>> records;
    for (const auto& [file, content] : Files()) {
        records.emplace_back(file, CheckRecords(content, file.c_str()));
    }
    for (const std::string& line : platform.DebugLines()) {
        FuzzCheck(CheckRecords(line, "debugger output") == 1,
                  "a debugger line is one record", line);
    }
    return records;
}

}  // namespace VTLogAdapter::Testing

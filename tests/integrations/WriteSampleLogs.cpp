// Writes log files with the library itself for the lnav and rsyslog suites, on a fake clock so
// every run writes the same lines.
//   vtlog_sample_logs views FOLDER EXPECTED
//       lines of every layout in two day folders below FOLDER, and the file EXPECTED: per
//       record, in time order, what a reader should take out of it (one column per field, text
//       escaped as jq's @tsv does)
//   vtlog_sample_logs burst FOLDER YYYY-MM-DD FIRST COUNT PROCESSES
//       records FIRST .. FIRST+COUNT-1 from PROCESSES forked processes writing at once; every
//       field of a record follows from its number (see BurstRecord)
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/FakePlatform.h"
#include "tests/support/WriterTesting.h"
#include "writers/FileLog.h"

namespace VTLogAdapter::Testing {
namespace {

const char* const kLnavLevels[] = {"info", "trace", "warning", "error", "fatal"};

// Which optional fields a process writes, and who it is.
struct Layout {
    const char* executable;
    std::uint32_t pid;
    std::uint32_t tid;
    std::uint32_t session;
    bool remote;
    bool excel;
    bool module;
    bool sessionInfo;
    bool processId;
    bool threadId;
    bool sourceFileInfo;
};

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Narrow(const char16_t* ascii) {
    return std::string(ascii, ascii + std::char_traits<char16_t>::length(ascii));
}

// A process of its own as the library sees it: platform, settings and general log.
class SampleProcess {
public:
    SampleProcess(const Layout& layout, const std::string& folder, double sizeLimit)
        : layout(layout) {
        platform.processId = layout.pid;
        platform.threadId = layout.tid;
        platform.sessionId = layout.session;
        platform.remoteSession = layout.remote;
        platform.executablePath = Native(u"/opt/apps/" + Widen(layout.executable));
        config = WritingConfig(platform, folder);
        config->generalLog.useDefaultFileName = 1;
        config->generalLog.fileSizeLimit = sizeLimit;
        config->excelMode = layout.excel;
        SetFields(layout.module, layout.sessionInfo, layout.processId, layout.threadId,
                  layout.sourceFileInfo);
        log = std::make_unique<FileLog>(config.get(), platform);
    }

    // The writer reads its switches for every line, so a process may change them between lines.
    void SetFields(bool module, bool sessionInfo, bool processId, bool threadId,
                   bool sourceFileInfo) {
        layout.module = module;
        layout.sessionInfo = sessionInfo;
        layout.processId = processId;
        layout.threadId = threadId;
        layout.sourceFileInfo = sourceFileInfo;
        config->moduleName = module;
        config->sessionInfo = sessionInfo;
        config->processId = processId;
        config->threadId = threadId;
        config->sourceFileInfo = sourceFileInfo;
    }

    void Write(const LocalTime& time, int level, const char16_t* file, const char16_t* function,
               int line, const std::u16string& message) {
        platform.SetTime(time.year, time.month, time.day, time.hour, time.minute, time.second,
                         time.milliseconds);
        log->WriteRecord(file, function, line, level, message.c_str());
    }

    const Layout& Current() const { return layout; }

private:
    Layout layout;
    FakePlatform platform;
    std::unique_ptr<LogConfig> config;
    std::unique_ptr<FileLog> log;
};

// The time `milliseconds` after midnight of the given day.
LocalTime At(int year, int month, int day, long milliseconds) {
    LocalTime time;
    time.year = year;
    time.month = month;
    time.day = day;
    time.hour = static_cast<int>(milliseconds / 3600000);
    time.minute = static_cast<int>(milliseconds / 60000 % 60);
    time.second = static_cast<int>(milliseconds / 1000 % 60);
    time.milliseconds = static_cast<int>(milliseconds % 1000);
    return time;
}

// jq's @tsv escaping, so the expectation compares with jq's rendering of lnav's answer.
std::string Escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

// One record of the views set: who writes it and what it says.
struct ViewRecord {
    int process;
    int level;
    const char16_t* file;
    const char16_t* function;
    int line;
    std::u16string message;
    std::string messageUtf8;  // the message as a reader shows it
};

int WriteViews(const std::string& folder, const std::string& expectedPath) {
    // Day one: the same program twice (local and remote session), blank and excel mode with
    // every field; another program with none. Day two: every combination of the optional
    // fields, in both modes.
    const Layout layouts[] = {
        {"app.exe", 1001, 11, 1, false, false, true, true, true, true, true},
        {"app.exe", 1002, 12, 3, true, true, true, true, true, true, true},
        {"tool.exe", 1003, 13, 1, false, false, false, false, false, false, false},
        {"tool.exe", 1004, 14, 1, false, true, false, false, false, false, false},
        {"svc.exe", 1005, 15, 0, false, false, true, false, false, true, true},
        {"svc.exe", 1006, 16, 2, false, true, false, true, true, false, true},
    };
    std::vector<std::unique_ptr<SampleProcess>> processes;
    for (const Layout& layout : layouts) {
        // The smallest limit the settings allow, so the busy process rolls over.
        processes.push_back(std::make_unique<SampleProcess>(layout, folder, 0.1));
    }

    std::ofstream expected(expectedPath, std::ios::binary);
    const std::string padding(150, '.');
    long clock = 9L * 3600000;
    auto emit = [&](int day, const ViewRecord& record) {
        clock += 250;
        const LocalTime time = At(2026, 12, day, clock);
        SampleProcess& process = *processes[static_cast<std::size_t>(record.process)];
        process.Write(time, record.level, record.file, record.function, record.line,
                      record.message);

        const Layout& layout = process.Current();
        const bool located = layout.sourceFileInfo;
        const bool hasFile = located && record.file != nullptr;
        // A line break inside the message continues on a line that starts with a tab.
        std::string body;
        for (const char c : record.messageUtf8) {
            body += c;
            if (c == '\n') body += '\t';
        }
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d", time.year,
                      time.month, time.day, time.hour, time.minute, time.second,
                      time.milliseconds);
        const std::vector<std::string> columns = {
            stamp,
            kLnavLevels[record.level],
            layout.module ? layout.executable : "",
            layout.sessionInfo ? (layout.remote ? "R" : "L") : "",
            layout.sessionInfo ? std::to_string(layout.session) : "",
            layout.processId ? std::to_string(layout.pid) : "",
            layout.threadId ? std::to_string(layout.tid) : "",
            hasFile ? Narrow(record.file) : "",
            hasFile ? std::to_string(record.line) : "",
            located && record.function != nullptr ? Narrow(record.function) : "",
            body,
        };
        for (std::size_t i = 0; i < columns.size(); ++i) {
            expected << (i == 0 ? "" : "\t") << Escape(columns[i]);
        }
        expected << '\n';
    };
    auto plain = [](int process, int level, const std::string& text) {
        return ViewRecord{process, level, u"capture.cpp", u"Init", 100 + level, Widen(text), text};
    };

    for (int i = 0; i < 1600; ++i) {
        const int slot = i % 8;
        const int process = slot < 5 ? 0 : slot - 4;
        std::string text = "request " + std::to_string(i) + " handled";
        if (process == 0) text += " " + padding;
        emit(7, plain(process, i % 5, text));
        if (i == 700) {
            emit(7, plain(0, 3, "disk full\nretrying in 5 s\nretry 1 failed"));
            emit(7, plain(3, 4, "worker stopped\n\tat step 3"));
            emit(7, plain(1, 2, "said \"hi\" to the device"));
            emit(7, ViewRecord{2, 0, nullptr, nullptr, 0, u"Gr\u00FC\u00DFe",
                               "Gr\xC3\xBC\xC3\x9F" "e"});
        }
    }
    clock = 9L * 3600000;
    for (unsigned i = 0; i < 64; ++i) {
        const unsigned fields = i / 2;
        SampleProcess& process = *processes[4 + i % 2];
        process.SetFields(fields & 1, fields & 2, fields & 4, fields & 8, fields & 16);
        // A location of file and function, of the function alone, of the file alone.
        const unsigned located = i % 3;
        const std::string text = "poll " + std::to_string(i);
        emit(8, ViewRecord{static_cast<int>(4 + i % 2), static_cast<int>(i % 5),
                           located == 1 ? nullptr : u"service.cpp",
                           located == 2 ? nullptr : u"Poll", static_cast<int>(40 + i),
                           Widen(text), text});
    }
    return expected ? 0 : 1;
}

// Record `sequence` of a burst: its process writes it at 10:00 plus 10 ms per number, at level
// sequence % 5, from burst.cpp line `sequence` in Burst; every hundredth record spans two lines.
std::u16string BurstMessage(long sequence) {
    std::u16string message = Widen("seq=" + std::to_string(sequence) + " payload");
    if (sequence % 100 == 99) message += Widen("\nsecond line of " + std::to_string(sequence));
    return message;
}

int WriteBurst(const std::string& folder, const std::string& day, long first, long count,
               int processCount) {
    int year = 0;
    int month = 0;
    int date = 0;
    if (std::sscanf(day.c_str(), "%d-%d-%d", &year, &month, &date) != 3) return 2;
    std::vector<pid_t> children;
    for (int k = 0; k < processCount; ++k) {
        const pid_t child = fork();
        if (child < 0) return 1;
        if (child == 0) {
            // Process k: blank mode when k is even, excel mode when odd; every field on.
            const Layout layout = {"burst.exe", static_cast<std::uint32_t>(2001 + k),
                                   static_cast<std::uint32_t>(21 + k), 1, false, k % 2 == 1,
                                   true, true, true, true, true};
            SampleProcess process(layout, folder, 0.1);
            for (long sequence = first + k; sequence < first + count; sequence += processCount) {
                process.Write(At(year, month, date, 10L * 3600000 + sequence * 10),
                              static_cast<int>(sequence % 5), u"burst.cpp", u"Burst",
                              static_cast<int>(sequence), BurstMessage(sequence));
            }
            _exit(0);
        }
        children.push_back(child);
    }
    int failures = 0;
    for (const pid_t child : children) {
        int status = 0;
        if (waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace
}  // namespace VTLogAdapter::Testing

int main(int argc, char** argv) {
    using namespace VTLogAdapter::Testing;
    const std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "views" && argc == 4) return WriteViews(argv[2], argv[3]);
    if (mode == "burst" && argc == 7) {
        return WriteBurst(argv[2], argv[3], std::atol(argv[4]), std::atol(argv[5]),
                          std::atoi(argv[6]));
    }
    std::fprintf(stderr,
                 "usage: %s views FOLDER EXPECTED\n"
                 "       %s burst FOLDER YYYY-MM-DD FIRST COUNT PROCESSES\n",
                 argv[0], argv[0]);
    return 2;
}

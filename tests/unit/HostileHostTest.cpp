// What a hostile host does to the files under a writer (deletes them, fills the disk, caps
// their size, opens many names, gives escaping names) and what must be on disk afterwards.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/FakePlatform.h"
#include "tests/support/TempFolder.h"
#include "tests/support/WriterTesting.h"
#include "writers/FileLog.h"
#include "writers/PerformanceLog.h"

namespace VTLogAdapter::Testing {
namespace {

namespace fs = std::filesystem;
using Contents = std::map<std::string, std::string>;   // file below the log folder -> text

struct Host {
    TempFolder temp;
    FakePlatform platform;
    std::unique_ptr<LogConfig> config = WritingConfig(platform, temp.Path());
    TestWriter writer{config.get(), platform};

    std::string Day(const std::string& name) const { return temp.Join(Native("2026-12-07/" + name)); }
    void NextSecond(int second) { platform.SetTime(2026, 12, 7, 14, 3, second); }
    // `lines` handed over together as group commit does, each stamped at its second.
    void Batch(const std::vector<std::pair<std::string, int>>& lines) {
        std::vector<LineToWrite> stamped;
        for (const auto& [text, second] : lines) {
            LocalTime now = platform.Now();
            now.second = second;
            stamped.push_back({text.c_str(), text.size(), now});
        }
        std::vector<const LineToWrite*> batch;
        for (const LineToWrite& line : stamped) batch.push_back(&line);
        writer.WriteLinesToFile(writer.file, "trace", batch.data(), batch.size());
    }
    Contents Files() const {
        Contents contents;
        for (const std::string& file : ListFiles(temp.Path())) {
            contents[file] = ReadFile(temp.Join(file));
        }
        return contents;
    }
};

TEST(HostileHost, FilesEndWholeAndInTheirPlace) {
    struct Case {
        const char* fault;
        std::function<void(Host&)> act;
        Contents expected;
        // Wine keeps the name of a deleted open file, and reports neither a pending delete nor
        // a missing link, until the file's last handle closes: nothing to notice there.
        bool deletesAnOpenFile = false;
    };
    const Case cases[] = {
        {"deleted file: lines of the same second are lost, the next second opens a new one",
         [](Host& h) {
             h.writer.Write("a\n");
             fs::remove(h.Day("trace.dat"));
             h.writer.Write("lost\n");
             h.NextSecond(8);
             h.writer.Write("b\n");
         },
         {{"2026-12-07/trace_1.dat", "b\n"}},
         true},
        {"deleted day folder is made again",
         [](Host& h) {
             h.writer.Write("a\n");
             fs::remove_all(h.temp.Join("2026-12-07"));
             h.NextSecond(8);
             h.writer.Write("b\n");
         },
         {{"2026-12-07/trace_1.dat", "b\n"}},
         true},
        {"file replaced at its name: the new one is not ours",
         [](Host& h) {
             h.writer.Write("a\n");
             fs::rename(h.Day("trace.dat"), h.Day("moved.txt"));
             h.temp.WriteFile(Native("2026-12-07/trace.dat"), "theirs\n");
             h.NextSecond(8);
             h.writer.Write("b\n");
         },
         {{"2026-12-07/moved.txt", "a\n"},
          {"2026-12-07/trace.dat", "theirs\n"},
          {"2026-12-07/trace_1.dat", "b\n"}}},
        {"short write is cut back, the next line starts clean",
         [](Host& h) {
             h.writer.Write("a\n");
             h.platform.bytesWritten = [](std::size_t length) { return length / 2; };
             h.writer.Write("half\n");
             h.platform.bytesWritten = nullptr;
             h.writer.Write("b\n");
         },
         {{"2026-12-07/trace.dat", "a\nb\n"}}},
        {"an empty line is no write (a write would leave a mark)",
         [](Host& h) {
             h.writer.Write("a\n");
             h.platform.bytesWritten = [&h](std::size_t length) {
                 h.temp.WriteFile("write-made", "");
                 return length;
             };
             h.writer.Write("");
             h.platform.bytesWritten = nullptr;
             h.writer.Write("b\n");
         },
         {{"2026-12-07/trace.dat", "a\nb\n"}}},
        {"a file that cannot be cut back is left for a new one",
         [](Host& h) {
             h.writer.Write("a\n");
             h.platform.bytesWritten = [](std::size_t) { return std::size_t{2}; };
             h.platform.truncateFails = true;
             h.writer.Write("half\n");
             h.platform.bytesWritten = nullptr;
             h.writer.Write("b\n");
         },
         {{"2026-12-07/trace.dat", "a\nha"}, {"2026-12-07/trace_1.dat", "b\n"}}},
        {"a batch cut short is cut back to before its write, whole lines it took included",
         [](Host& h) {
             h.writer.Write("a\n");
             h.platform.bytesWritten = [](std::size_t) { return std::size_t{3}; };
             h.Batch({{"b\n", 7}, {"c\n", 7}, {"d\n", 7}});
             h.platform.bytesWritten = nullptr;
             h.writer.Write("e\n");
         },
         {{"2026-12-07/trace.dat", "a\ne\n"}}},
        {"a batch that cannot be cut back: the rest of the batch goes to a new file",
         [](Host& h) {
             h.writer.Write("a\n");
             // Only the batch's first write is cut short; its line of the next second is a
             // write of its own.
             h.platform.bytesWritten = [calls = 0](std::size_t length) mutable {
                 return ++calls == 1 ? std::size_t{3} : length;
             };
             h.platform.truncateFails = true;
             h.Batch({{"b\n", 7}, {"c\n", 7}, {"d\n", 8}});
         },
         {{"2026-12-07/trace.dat", "a\nb\nc"}, {"2026-12-07/trace_1.dat", "d\n"}}},
        {"the system's file-size limit is never passed; a line longer than it is dropped",
         [](Host& h) {
             // Room for two lines as stored (CR LF on Windows).
             h.platform.fileSizeLimit = static_cast<std::int64_t>(StoredSize("1234\n5678\n"));
             h.writer.Write("1234\n");
             h.writer.Write("5678\n");
             h.writer.Write("9abc\n");
             h.writer.Write("0123456789abc\n");
             h.writer.Write("d\n");
         },
         {{"2026-12-07/trace.dat", "1234\n5678\n"}, {"2026-12-07/trace_1.dat", "9abc\nd\n"}}},
        {"the next file's number follows the last one made, a gap below stays",
         [](Host& h) {
             h.writer.Write("a\n");
             h.platform.fileLengthOverride = [](LogFile*) { return std::int64_t{1} << 40; };
             h.writer.Write("b\n");
             fs::remove(h.Day("trace.dat"));
             h.writer.Write("c\n");
         },
         {{"2026-12-07/trace_1.dat", "b\n"}, {"2026-12-07/trace_2.dat", "c\n"}}},
    };
    for (const Case& c : cases) {
        if (c.deletesAnOpenFile && kPathSeparator == '\\') continue;
        Host host;
        c.act(host);
        EXPECT_EQ(c.expected, host.Files()) << c.fault;
    }
}

TEST(HostileHost, ManyOperationNamesHoldABoundedNumberOfFiles) {
    Host host;
    PerformanceLog log(host.config.get(), host.platform);
    const int names = 3 * static_cast<int>(PerformanceLog::kMaxOpenFiles);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < names; ++i) {
            const std::u16string name = u"op" + std::u16string(1, static_cast<char16_t>(u'A' + i / 26)) +
                                        std::u16string(1, static_cast<char16_t>(u'a' + i % 26));
            log.WriteLine(name.c_str(), "line\n");
            ASSERT_LE(log.OpenFileCount(), PerformanceLog::kMaxOpenFiles);
        }
    }
    // Each name went back to the file it left: one file per name, both lines in it.
    const Contents files = host.Files();
    EXPECT_EQ(static_cast<std::size_t>(names), files.size());
    for (const auto& [file, text] : files) EXPECT_EQ("line\nline\n", text) << file;

    // A left file that someone else has written since is not taken up again.
    std::ofstream(host.Day("opAa.dat"), std::ios::app) << "theirs\n";
    log.WriteLine(u"opAa", "mine\n");
    EXPECT_EQ("mine\n", ReadFile(host.Day("opAa_1.dat")));
}

TEST(HostileHost, GeneralLogNameLeavingTheFolderGetsNoFile) {
    Host host;
    const std::string folder = host.temp.Join(Native("logs/deep/"));
    std::snprintf(host.config->generalLog.filePath, kPathCapacity, "%s", folder.c_str());
    std::snprintf(host.config->generalLog.fileName, kPathCapacity, "%s",
                  Native("../../x.log").c_str());
    host.config->debugOutput = 1;
    FileLog log(host.config.get(), host.platform);
    EXPECT_EQ(1, log.WriteRecord(nullptr, nullptr, 0, 1, u"escape"));
    EXPECT_TRUE(host.Files().empty());
    EXPECT_EQ(1u, host.platform.DebugLines().size());
}

}  // namespace
}  // namespace VTLogAdapter::Testing

// What both log writers share: the process identity printed in every line, the system-wide
// file mutex, the day folder, the naming, opening and roll-over of log files, and FormatLine.
// Not thread-safe: every call comes from LogCore inside its critical section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "config/LogConfig.h"
#include "platform/Platform.h"
#include "writers/LogFileSlot.h"

namespace VTLogAdapter {

// A log line holds at most this many bytes, NUL included.
constexpr std::size_t kLineCapacity = 2048;

// A finished line on its way to a file: its text (NUL-terminated), length and the clock
// reading it was stamped with, which also decides its file's day.
struct LineToWrite {
    const char* text;
    std::size_t length;
    LocalTime now;
};

class LogWriterBase {
public:
    // Reads the process identity and creates (or opens) the file mutex; touches no file.
    explicit LogWriterBase(Platform& platform);
    // Closes the file mutex unless a derived writer closed it already.
    virtual ~LogWriterBase();
    LogWriterBase(const LogWriterBase&) = delete;
    LogWriterBase& operator=(const LogWriterBase&) = delete;

    // Builds one whole log line into `buffer` (kLineCapacity bytes) and returns 1. Every line
    // break inside a text field (CR LF, LF or CR) is written as LF and a tab, so the line's own
    // LF is the only one that starts a record. Every field is cut at a UTF-8 character boundary
    // when the line would not fit, never between such an LF and its tab, and the line always
    // ends with the closing quotation mark, separator and line feed.
    int FormatLine(char* buffer, const char16_t* message, const char16_t* sourceFile,
                   const char16_t* function, int line, int level, const LocalTime& time) const;
    // FormatLine, returning the line's length in bytes (before its NUL).
    std::size_t FormatLineLength(char* buffer, const char16_t* message,
                                 const char16_t* sourceFile, const char16_t* function, int line,
                                 int level, const LocalTime& time) const;

    // Creates every folder along `path` that ends in a separator; a trailing part after the
    // last separator is not created. Failures are ignored (the open that follows fails).
    void CreateDirectories(const char* path);
    // Rewrites `path` (kPathCapacity bytes) into the first "name.dat", "name_1.dat", ... that
    // does not exist yet; false, with `path` unchanged, when no such name fits the buffer.
    bool MakeUniqueFileName(char* path);
    // Closes the file in `slot` and creates a new one for `namePart` (null: MakeNamePart's) in
    // the day folder of `now`.
    // Always 1; the slot stays empty when no file could be made, and then no open is tried
    // again within the same second.
    int OpenLogFile(LogFileSlot& slot, const char* namePart, const LocalTime& now);
    // Gives `slot` a file that can take a line of `lineBytes` written at `now`: opens one when
    // there is none, takes a parked one up again, and replaces the file when its day is over,
    // it grew past the size limit, it was deleted or replaced (looked at once a second), or the
    // line would carry it past the size the system allows. Runs before every write to the slot.
    // Returns the length of the slot's file then, -1 when it has none or cannot tell.
    std::int64_t RollOverIfNeeded(LogFileSlot& slot, const char* namePart, const LocalTime& now,
                                  std::size_t lineBytes);
    // The date (DayNumber) of the latest file open this writer tried, successful or not; 0
    // before the first. LogCore starts the day's clean-up of old day folders from it.
    std::int64_t LastOpenDay() const { return lastOpenDay; }

protected:
    // The name part ("name.dat") of the files of a writer that has one series, made when a
    // file is opened: a slot's `namePart` may be null, and stands for this then. False when the
    // lines get no file (the name does not fit or would leave the folder); so by default.
    virtual bool MakeNamePart(char* buffer) const;

    // Rolls the file in `slot` over if needed, then appends `line` to it with one write. Every
    // line on disk is whole or absent: a failed write is cut off again, and a file that cannot
    // be cut back is left for a new one. A line that no file can take is lost (silently).
    void WriteToFile(LogFileSlot& slot, const char* namePart, const char* line,
                     std::size_t length, const LocalTime& now);
    // Writes `count` lines in their order as WriteToFile would one by one (the same files,
    // roll-overs and cuts), but hands the lines that go to one file in a row to the system in
    // one write.
    void WriteLinesToFile(LogFileSlot& slot, const char* namePart,
                          const LineToWrite* const* lines, std::size_t count);
    // Sends the lines to the debugger output when the settings say so.
    void WriteDebugOutput(const LineToWrite* const* lines, std::size_t count);
    // Closes the slot's file for good; the next line opens a new one.
    void CloseFile(LogFileSlot& slot);
    // Closes the slot's file but remembers it, to be taken up again by its next line.
    void ParkFile(LogFileSlot& slot);
    // Closes the slot's file, open or parked, when it lies in the day folder `day`, which is
    // about to be removed.
    void CloseFileIn(LogFileSlot& slot, const char* day);
    // In a forked child: drops the slot's file (the parent's) without writing to it, and
    // everything remembered about it, so the child's next line opens a file of its own.
    void ForgetFile(LogFileSlot& slot);
    // In a forked child: reads the process identity again.
    void RefreshIdentity();
    // The day folder name of `now`, formatted only when the date changed since the last call.
    const char* DayFolderName(const LocalTime& now);
    void CloseFileMutex();

    Platform& platform;
    const LogConfig* config = nullptr;
    // The day folder name of the latest line; each file keeps its own day in its slot.
    char currentDay[kPathCapacity];
    // The date `currentDay` was formatted from, so a line on the same day skips formatting.
    int checkedYear = -1;
    int checkedMonth = -1;
    int checkedDay = -1;
    // The identity every line prints. Each text keeps its length beside it, so a line copies
    // it without measuring; the setters keep the two together.
    void SetProcessIdentifier(std::uint32_t identifier);
    void SetModuleNameField(const char* field);
    void SetSessionTag(const char* tag);
    std::uint32_t processIdentifier = 0;
    char moduleFileName[kPathCapacity];
    // The executable's name as lines print it: a file name may hold line breaks, which a line
    // continues (see FormatLine), so that is done once here rather than on every line.
    char moduleNameField[kPathCapacity];
    std::size_t moduleNameLength = 0;
    char sessionTag[kPathCapacity];
    std::size_t sessionTagLength = 0;
    // "PID=" and the identifier in decimal, as a line prints it.
    char processIdField[16] = {};
    std::size_t processIdLength = 0;
    // Changes with every setter call, and no two writers ever share one: a thread's copy of a
    // line's fields (see FormatLineLength) is valid only for the number it was made under.
    std::uint64_t identityNumber = 0;
    void* fileMutex;

private:
    std::int64_t lastOpenDay = 0;
    // Takes the parked file of `slot` up again; false when it is no longer the one left.
    bool ResumeFile(LogFileSlot& slot);
    // OpenLogFile, then the new file's length as RollOverIfNeeded returns it.
    std::int64_t OpenedLength(LogFileSlot& slot, const char* namePart, const LocalTime& now);
    // True when a line of `lineBytes` stamped `now` goes to the slot's open file once it holds
    // `before` bytes, with no roll-over and no look at the file due first.
    bool CanAppend(const LogFileSlot& slot, const LocalTime& now, std::size_t lineBytes,
                   std::uint64_t before) const;
    // True when a file of `length` bytes is past the configured size limit and must not take
    // another line (strictly greater: a file exactly at the limit keeps its next line).
    bool PastSizeLimit(std::uint64_t length) const {
        return static_cast<double>(length) > config->generalLog.fileSizeLimit * 1024.0 * 1024.0;
    }
    // True when `lineBytes` more keep a file of `length` bytes within the size the system
    // allows this process (writing past it raises a signal that ends the host).
    static bool WithinSystemLimit(const LogFileSlot& slot, std::uint64_t length,
                                  std::size_t lineBytes) {
        return length + lineBytes <= static_cast<std::uint64_t>(slot.sizeLimit);
    }
    // Appends `length` bytes of whole lines with one write to the file of `before` bytes; cuts a
    // failed write back to that length.
    void AppendToFile(LogFileSlot& slot, const char* bytes, std::size_t length,
                      std::int64_t before);

    // Lines gathered for one write, apart from the writer so that the fields every line reads
    // share a page; null when it could not be had, and then each line is written on its own.
    static constexpr std::size_t kBatchCapacity = 16384;
    std::unique_ptr<char[]> batch;
    // Formats candidates for the stem `path[0, stemLength)` from `number` upwards until one
    // names nothing that exists; `number` is left on it (0 stands for the plain "stem.dat").
    bool FindFreeFileName(const char* path, std::size_t stemLength, int& number,
                          char* candidate) const;
};

}  // namespace VTLogAdapter

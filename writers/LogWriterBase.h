// What both log writers share: the process identity printed in every line, the system-wide
// file mutex, the day folder, the naming, opening and roll-over of log files, and FormatLine.
// Not thread-safe: every call comes from LogCore inside its critical section.
#pragma once

#include <cstddef>
#include <cstdint>

#include "config/LogConfig.h"
#include "platform/Platform.h"

namespace VTLogAdapter {

// A log line holds at most this many bytes, NUL included.
constexpr std::size_t kLineCapacity = 2048;

class LogWriterBase {
public:
    // Reads the process identity and creates (or opens) the file mutex; touches no file.
    explicit LogWriterBase(Platform& platform);
    // Closes the file mutex unless a derived writer closed it already.
    ~LogWriterBase();
    LogWriterBase(const LogWriterBase&) = delete;
    LogWriterBase& operator=(const LogWriterBase&) = delete;

    // Builds one whole log line into `buffer` (kLineCapacity bytes) and returns 1. Every line
    // break inside a text field (CR LF, LF or CR) is written as LF and a tab, so the line's own
    // LF is the only one that starts a record. Every field is cut at a UTF-8 character boundary
    // when the line would not fit, never between such an LF and its tab, and the line always
    // ends with the closing quotation mark, separator and line feed.
    int FormatLine(char* buffer, const char16_t* message, const char16_t* sourceFile,
                   const char16_t* function, int line, int level, const LocalTime& time) const;

    // Creates every folder along `path` that ends in a separator; a trailing part after the
    // last separator is not created. Failures are ignored (the open that follows fails).
    void CreateDirectories(const char* path);
    // Rewrites `path` (kPathCapacity bytes) into the first "name.dat", "name_1.dat", ... that
    // does not exist yet; false, with `path` unchanged, when no such name fits the buffer.
    bool MakeUniqueFileName(char* path);
    // Closes the file in `slot` and creates a new one for `namePart` in the day folder
    // `currentDay`. Always 1; the slot stays empty when no file could be made.
    int OpenLogFile(LogFile*& slot, const char* namePart);
    // Opens, or replaces, the file in `slot` when there is none, the day changed or the file
    // grew past the size limit. Runs before every write to the slot.
    void RollOverIfNeeded(LogFile*& slot, const char* namePart);

protected:
    // Rolls the file in `slot` over if needed, then appends `line` to it with one write. The
    // line is lost (silently) when no file could be opened; the next call tries again.
    void WriteToFile(LogFile*& slot, const char* namePart, const char* line,
                     std::size_t length);
    void CloseFileMutex();

    Platform& platform;
    const LogConfig* config = nullptr;
    char currentDay[kPathCapacity];
    // The date `currentDay` was last compared against, so a line on the same day skips
    // formatting the day's name.
    int checkedYear = -1;
    int checkedMonth = -1;
    int checkedDay = -1;
    std::uint32_t processIdentifier;
    char moduleFileName[kPathCapacity];
    // The executable's name as lines print it: a file name may hold line breaks, which a line
    // continues (see FormatLine), so that is done once here rather than on every line.
    char moduleNameField[kPathCapacity];
    char sessionTag[kPathCapacity];
    void* fileMutex;

private:
    // Formats candidates for the stem `path[0, stemLength)` from `number` upwards until one
    // names nothing that exists; `number` is left on it (0 stands for the plain "stem.dat").
    bool FindFreeFileName(const char* path, std::size_t stemLength, int& number,
                          char* candidate) const;
};

}  // namespace VTLogAdapter

// Retention of old day folders: the pure rule for which of them go, and their removal.
// Nothing here holds a lock: the clean-up runs on the thread that made the day's first open,
// after it let go of the engine's lock, so other threads keep logging meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "config/LogConfig.h"
#include "platform/Platform.h"

namespace VTLogAdapter {

// What may stay under the log folder; 0 in a field means no limit of that kind.
struct RetentionLimits {
    int days = 0;              // day folders more than this many days before today go
    std::uint64_t bytes = 0;   // the log files together stay at or below this size
    bool Any() const { return days > 0 || bytes > 0; }
};

// The limits `settings` ask for (their megabytes of 1048576 bytes turned into bytes).
RetentionLimits RetentionLimitsOf(const LogFileSettings& settings);

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar; consecutive dates give
// consecutive numbers, across months, years and leap days.
//   (1970, 1, 1) -> 0     (2026, 12, 7) -> 20794     (2024, 3, 1) - (2024, 2, 28) -> 2
std::int64_t DayNumber(int year, int month, int day);

// The date of a folder named exactly as the engine names day folders (FormatDayFolderName),
// as a DayNumber; false for any other name, so nothing else under the log folder is taken for
// a day folder.
//   "2026-12-07" -> true       "2026-12-7", "02026-12-07", "2026-02-30", "2026-12-07.bak",
//                              "2026-13-01", "-2026-12-07", "" -> false
bool ParseDayFolderName(const char* name, std::int64_t& dayNumber);

// True for a name the engine gives log files: "<name>.dat" and "<name>_<N>.dat" with a name
// of at least one character and no ':'; the engine never makes any other.
//   "app.exe.dat", "Login_3.dat", ".x.dat" -> true
//   ".dat", "x.DAT", "x.dat.tmp", "notes.txt", "a:b.dat" -> false
bool IsLogFileName(const char* name);

// A day folder under the log folder: its date and the bytes of its log files.
struct DayFolderUsage {
    std::int64_t dayNumber = 0;
    std::uint64_t logBytes = 0;
};

// Which day folders go, as indexes into `folders`, oldest first. First the age rule: every
// folder more than `limits.days` days before `today`. Then the size rule: while the log files
// of the folders that stay exceed `limits.bytes`, the oldest of them goes, but never today's
// folder nor one dated after today (a process with another time zone may be writing there).
// Examples, today 2026-12-07 (sizes in MB):
//   days 1: 12-05, 12-06, 12-07                        -> 12-05
//   bytes 30: 12-04 (10), 12-05 (10), 12-06 (10), 12-07 (15)
//                                                      -> 12-04, 12-05 (25 left)
//   bytes 1: 12-06 (2), 12-07 (5), 12-08 (4)           -> 12-06 (today's and 12-08 stay)
//   days 0, bytes 0: anything                          -> nothing
std::vector<std::size_t> SelectDayFoldersToRemove(const std::vector<DayFolderUsage>& folders,
                                                  std::int64_t today,
                                                  const RetentionLimits& limits);

// Called for each day folder just before its files are removed, with the folder's name, so
// the process can close its own files there (on POSIX an open file frees no space).
using CloseFilesInDay = void (*)(void* context, const char* day);

// Removes the day folders under `filePath` that `limits` let go on the day `today` (a
// DayNumber): in each, the files IsLogFileName accepts, then the folder if that left it empty.
// Never follows a link, never touches another name, never leaves `filePath`. What another
// process removed first, or holds, is skipped without complaint. Never throws.
void RemoveOldDayFolders(Platform& platform, const char* filePath, std::int64_t today,
                         const RetentionLimits& limits, CloseFilesInDay closeFiles,
                         void* context);

}  // namespace VTLogAdapter

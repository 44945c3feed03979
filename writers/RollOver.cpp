// Opening log files in their day folder, and replacing them when their day is over, they
// outgrow the size limit, they were deleted, or they cannot take the next line whole.
#include <climits>
#include <cstring>

#include "platform/HotPath.h"
#include "writers/FileNaming.h"
#include "writers/LogWriterBase.h"
#include "writers/Retention.h"

namespace VTLogAdapter {

VTLOG_HOT
std::int64_t SecondOf(const LocalTime& time) {
    // Mixed radix with room for every field's range: distinct seconds never share a key, and
    // it costs a few multiplications on every line.
    return ((((static_cast<std::int64_t>(time.year) * 13 + time.month) * 32 + time.day) * 24 +
             time.hour) * 60 + time.minute) * 61 + time.second;
}

void LogWriterBase::CreateDirectories(const char* path) {
    char prefix[kPathCapacity] = {};
    for (std::size_t i = 0; path[i] != '\0' && i + 1 < kPathCapacity; ++i) {
        prefix[i] = path[i];
        if (IsPathSeparator(path[i])) platform.CreateFolder(prefix);
    }
}

const char* LogWriterBase::DayFolderName(const LocalTime& now) {
    if (now.year != checkedYear || now.month != checkedMonth || now.day != checkedDay) {
        checkedYear = now.year;
        checkedMonth = now.month;
        checkedDay = now.day;
        FormatDayFolderName(now, currentDay, sizeof currentDay);
    }
    return currentDay;
}

void LogWriterBase::CloseFile(LogFileSlot& slot) {
    if (slot.file != nullptr) platform.CloseLogFile(slot.file);
    slot.file = nullptr;
    slot.parked = false;
}

void LogWriterBase::ParkFile(LogFileSlot& slot) {
    if (slot.file == nullptr) return;
    slot.parkedIdentity = platform.GetLogFileIdentity(slot.file);
    slot.parkedLength = platform.GetFileLength(slot.file);
    platform.CloseLogFile(slot.file);
    slot.file = nullptr;
    slot.parked = slot.parkedLength >= 0;
}

void LogWriterBase::CloseFileIn(LogFileSlot& slot, const char* day) {
    if ((slot.file != nullptr || slot.parked) && std::strcmp(slot.day, day) == 0) CloseFile(slot);
}

void LogWriterBase::ForgetFile(LogFileSlot& slot) {
    if (slot.file != nullptr) platform.CloseLogFile(slot.file);
    slot = LogFileSlot{};
}

VTLOG_RARE
bool LogWriterBase::ResumeFile(LogFileSlot& slot) {
    slot.parked = false;
    LogFile* file = nullptr;
    if (!platform.ReopenLogFile(slot.path, slot.parkedIdentity, slot.parkedLength, file)) {
        return false;
    }
    slot.file = file;
    slot.sizeLimit = platform.GetFileSizeLimit();
    return true;
}

VTLOG_RARE
int LogWriterBase::OpenLogFile(LogFileSlot& slot, const char* namePart, const LocalTime& now) {
    CloseFile(slot);
    if (config == nullptr) return 1;
    char madeNamePart[kPathCapacity];
    if (namePart == nullptr) {
        if (!MakeNamePart(madeNamePart)) return 1;
        namePart = madeNamePart;
    }
    // Noted before the once-a-second gate: on a full disk the clean-up is what may help.
    lastOpenDay = DayNumber(now.year, now.month, now.day);
    const std::int64_t second = SecondOf(now);
    // A folder that takes no file now will not take one a moment later either, and every try
    // costs a scan of its names: lines in between reach only the debugger output.
    if (second == slot.failedSecond) return 1;
    slot.failedSecond = second;

    const char* today = DayFolderName(now);
    if (std::strcmp(today, slot.day) != 0) slot.nextNumber = 0;
    // A folder or path that would not fit is skipped rather than cut: a cut path could name
    // a file somewhere else entirely.
    const char separator[2] = {kPathSeparator, '\0'};
    char folder[kPathCapacity];
    if (!JoinPath(folder, sizeof folder, config->generalLog.filePath, today, separator)) {
        return 1;
    }
    CreateDirectories(folder);
    char path[kPathCapacity];
    if (!JoinPath(path, sizeof path, folder, namePart)) return 1;

    // The existence test is only the first guess: another process may take the name between
    // the test and the create, and the exclusive create then sends us on to the next number,
    // so two processes never share a file. The search starts after this slot's last file; a
    // gap that opens below it later stays a gap.
    const std::size_t stemLength = FileStemLength(path);
    int number = slot.nextNumber;
    char candidate[kPathCapacity];
    while (FindFreeFileName(path, stemLength, number, candidate)) {
        LogFile* file = nullptr;
        const CreateResult result = platform.CreateNewLogFile(candidate, file);
        if (result == CreateResult::Created) {
            slot.file = file;
            std::memcpy(slot.path, candidate, std::strlen(candidate) + 1);
            std::memcpy(slot.day, today, std::strlen(today) + 1);
            slot.dayKey = DayKey(now);
            slot.nextNumber = number == INT_MAX ? INT_MAX : number + 1;
            slot.sizeLimit = platform.GetFileSizeLimit();
            slot.checkedSecond = second;
            slot.failedSecond = -1;
            return 1;
        }
        if (result != CreateResult::NameTaken || number == INT_MAX) break;
        ++number;
    }
    return 1;
}

VTLOG_HOT
std::int64_t LogWriterBase::RollOverIfNeeded(LogFileSlot& slot, const char* namePart,
                                             const LocalTime& now, std::size_t lineBytes) {
    if (config == nullptr) return -1;
    // One clock reading decides both the line's stamp and its day, so a line stamped before
    // midnight never opens the next day's file.
    const std::int64_t today = DayKey(now);
    if (slot.file == nullptr) {
        if (!slot.parked || slot.dayKey != today || !ResumeFile(slot)) {
            return OpenedLength(slot, namePart, now);
        }
    }
    if (slot.dayKey != today) return OpenedLength(slot, namePart, now);
    // A deleted file would swallow every line until it reached the size limit; looking once a
    // second keeps the common line free of system calls.
    const std::int64_t second = SecondOf(now);
    if (second != slot.checkedSecond) {
        slot.checkedSecond = second;
        if (!platform.IsLogFileAtPath(slot.file, slot.path)) {
            return OpenedLength(slot, namePart, now);
        }
    }
    // An unreadable length (-1) never asks for a new file.
    const std::int64_t length = platform.GetFileLength(slot.file);
    if (length < 0) return length;
    // A line past the system's limit goes to a new file, which starts empty; a line too long
    // even for an empty file gets no new file (see WriteLinesToFile).
    if (PastSizeLimit(static_cast<std::uint64_t>(length)) ||
        (length > 0 && WithinSystemLimit(slot, 0, lineBytes) &&
         !WithinSystemLimit(slot, static_cast<std::uint64_t>(length), lineBytes))) {
        return OpenedLength(slot, namePart, now);
    }
    return length;
}

VTLOG_RARE
std::int64_t LogWriterBase::OpenedLength(LogFileSlot& slot, const char* namePart,
                                         const LocalTime& now) {
    OpenLogFile(slot, namePart, now);
    return slot.file != nullptr ? platform.GetFileLength(slot.file) : -1;
}

VTLOG_HOT
bool LogWriterBase::CanAppend(const LogFileSlot& slot, const LocalTime& now,
                              std::size_t lineBytes, std::uint64_t before) const {
    return SecondOf(now) == slot.checkedSecond && DayKey(now) == slot.dayKey &&
           !PastSizeLimit(before) && WithinSystemLimit(slot, before, lineBytes);
}

VTLOG_HOT
void LogWriterBase::AppendToFile(LogFileSlot& slot, const char* bytes, std::size_t length,
                                 std::int64_t before) {
    if (platform.WriteLogLine(slot.file, bytes, length)) return;
    // A full disk or a failing device may have taken part of the write. What the file held
    // before ends with a whole line, so cutting back to it leaves no half line for the next
    // one to be glued to; a file that cannot be cut back is left, and the next line starts a
    // new numbered file.
    if (before < 0 || !platform.TruncateLogFile(slot.file, before)) CloseFile(slot);
}

void LogWriterBase::WriteToFile(LogFileSlot& slot, const char* namePart, const char* line,
                                std::size_t length, const LocalTime& now) {
    const LineToWrite one{line, length, now};
    const LineToWrite* const lines[] = {&one};
    WriteLinesToFile(slot, namePart, lines, 1);
}

VTLOG_HOT
void LogWriterBase::WriteLinesToFile(LogFileSlot& slot, const char* namePart,
                                     const LineToWrite* const* lines, std::size_t count) {
    if (config == nullptr) return;
    // The lines of one write: `run` bytes, in `batch` once there are two, else in place, to go
    // to the slot's file after the `before` bytes it holds (-1: a length it cannot tell).
    const char* runStart = nullptr;
    std::size_t run = 0;
    std::int64_t before = -1;
    const std::size_t batchCapacity = batch != nullptr ? kBatchCapacity : 0;
    for (std::size_t i = 0; i < count; ++i) {
        const LineToWrite& line = *lines[i];
        // Only this writer changes the file meanwhile, so its length is still `before`.
        if (run > 0 && (run + line.length > batchCapacity || before < 0 ||
                        !CanAppend(slot, line.now, line.length,
                                   static_cast<std::uint64_t>(before) + run))) {
            AppendToFile(slot, runStart, run, before);
            run = 0;
        }
        if (run == 0) {
            before = RollOverIfNeeded(slot, namePart, line.now, line.length);
            if (slot.file == nullptr) continue;
            // A line that even an empty file could not take under the system's limit is lost.
            if (before >= 0 &&
                !WithinSystemLimit(slot, static_cast<std::uint64_t>(before), line.length)) {
                continue;
            }
            runStart = line.text;
            run = line.length;
            continue;
        }
        if (runStart != batch.get()) {
            std::memcpy(batch.get(), runStart, run);
            runStart = batch.get();
        }
        std::memcpy(batch.get() + run, line.text, line.length);
        run += line.length;
    }
    if (run > 0 && slot.file != nullptr) AppendToFile(slot, runStart, run, before);
}

}  // namespace VTLogAdapter

// Opening log files in the day folder and replacing them when the day changes or the file
// outgrows the size limit.
#include <climits>
#include <cstring>

#include "writers/FileNaming.h"
#include "writers/LogWriterBase.h"

namespace VTLogAdapter {

void LogWriterBase::CreateDirectories(const char* path) {
    char prefix[kPathCapacity] = {};
    for (std::size_t i = 0; path[i] != '\0' && i + 1 < kPathCapacity; ++i) {
        prefix[i] = path[i];
        if (IsPathSeparator(path[i])) platform.CreateFolder(prefix);
    }
}

int LogWriterBase::OpenLogFile(LogFile*& slot, const char* namePart) {
    if (slot != nullptr) {
        platform.CloseLogFile(slot);
        slot = nullptr;
    }
    if (config == nullptr || namePart == nullptr) return 1;

    // A folder or path that would not fit is skipped rather than cut: a cut path could name
    // a file somewhere else entirely.
    const char separator[2] = {kPathSeparator, '\0'};
    char folder[kPathCapacity];
    if (!JoinPath(folder, sizeof folder, config->generalLog.filePath, currentDay, separator)) {
        return 1;
    }
    CreateDirectories(folder);
    char path[kPathCapacity];
    if (!JoinPath(path, sizeof path, folder, namePart)) return 1;

    // The existence scan is only the first guess: another process may take the name between
    // the scan and the create, and the exclusive create then sends us on to the next number,
    // so two processes never share a file.
    const std::size_t stemLength = FileStemLength(path);
    int number = 0;
    char candidate[kPathCapacity];
    while (FindFreeFileName(path, stemLength, number, candidate)) {
        LogFile* file = nullptr;
        const CreateResult result = platform.CreateNewLogFile(candidate, file);
        if (result == CreateResult::Created) {
            slot = file;
            break;
        }
        if (result != CreateResult::NameTaken || number == INT_MAX) break;
        ++number;
    }
    return 1;
}

void LogWriterBase::RollOverIfNeeded(LogFile*& slot, const char* namePart) {
    if (config == nullptr) return;
    const LocalTime now = platform.GetLocalTime();
    if (now.year != checkedYear || now.month != checkedMonth || now.day != checkedDay) {
        checkedYear = now.year;
        checkedMonth = now.month;
        checkedDay = now.day;
        char today[kPathCapacity];
        FormatDayFolderName(now, today, sizeof today);
        // currentDay belongs to the writer, not to a file: in a writer with several files only
        // the one written first on a new day moves at once; the others follow at their next
        // open.
        if (std::strcmp(today, currentDay) != 0) {
            std::memcpy(currentDay, today, std::strlen(today) + 1);
            OpenLogFile(slot, namePart);
            return;
        }
    }
    if (slot == nullptr) {
        OpenLogFile(slot, namePart);
        return;
    }
    // Strictly greater: a file exactly at the limit keeps its next line. An unreadable
    // length (-1) never asks for a new file.
    const double length = static_cast<double>(platform.GetFileLength(slot));
    if (length > config->generalLog.fileSizeLimit * 1024.0 * 1024.0) OpenLogFile(slot, namePart);
}

void LogWriterBase::WriteToFile(LogFile*& slot, const char* namePart, const char* line,
                                std::size_t length) {
    RollOverIfNeeded(slot, namePart);
    if (slot != nullptr) platform.WriteLogLine(slot, line, length);
}

}  // namespace VTLogAdapter

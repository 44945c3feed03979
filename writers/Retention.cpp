// Which day folders may go, and their careful removal.
#include "writers/Retention.h"

#include <algorithm>
#include <cstring>

#include "writers/FileNaming.h"

namespace VTLogAdapter {

namespace {

constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;

bool IsLeapYear(std::int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(std::int64_t year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Reads at least `minimum` and at most `maximum` digits from `text`; false when fewer are there.
bool ReadDigits(const char*& text, int minimum, int maximum, int& value) {
    value = 0;
    int count = 0;
    while (count < maximum && *text >= '0' && *text <= '9') {
        value = value * 10 + (*text - '0');
        ++text;
        ++count;
    }
    return count >= minimum;
}

// The folder's open handle for as long as the scope lasts.
class OpenFolder {
public:
    OpenFolder(Platform& platform, LogFolder* folder) : platform(platform), folder(folder) {}
    ~OpenFolder() {
        if (folder != nullptr) platform.CloseFolder(folder);
    }
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    LogFolder* Get() const { return folder; }

private:
    Platform& platform;
    LogFolder* folder;
};

struct DayFolderList {
    std::vector<std::string> names;
    std::vector<DayFolderUsage> usage;
};

void CollectDayFolder(void* context, const char* name, EntryType type, std::int64_t) {
    std::int64_t dayNumber = 0;
    if (type != EntryType::Folder || !ParseDayFolderName(name, dayNumber)) return;
    DayFolderList& list = *static_cast<DayFolderList*>(context);
    list.names.emplace_back(name);
    list.usage.push_back(DayFolderUsage{dayNumber, 0});
}

void AddLogFileBytes(void* context, const char* name, EntryType type, std::int64_t size) {
    if (type == EntryType::File && size > 0 && IsLogFileName(name)) {
        *static_cast<std::uint64_t*>(context) += static_cast<std::uint64_t>(size);
    }
}

void CollectLogFile(void* context, const char* name, EntryType type, std::int64_t) {
    if (type == EntryType::File && IsLogFileName(name)) {
        static_cast<std::vector<std::string>*>(context)->emplace_back(name);
    }
}

void RemoveDayFolder(Platform& platform, LogFolder* root, const std::string& name,
                     CloseFilesInDay closeFiles, void* context) {
    {
        OpenFolder day(platform, platform.OpenSubfolder(root, name.c_str()));
        // Not a folder any more, or another process is cleaning it right now.
        if (day.Get() == nullptr) return;
        if (closeFiles != nullptr) closeFiles(context, name.c_str());
        std::vector<std::string> files;
        platform.ListFolder(day.Get(), &CollectLogFile, &files);
        for (const std::string& file : files) platform.RemoveFileIn(day.Get(), file.c_str());
    }
    // Fails, as it should, while anything else is left in it.
    platform.RemoveEmptyFolderIn(root, name.c_str());
}

}  // namespace

RetentionLimits RetentionLimitsOf(const LogFileSettings& settings) {
    RetentionLimits limits;
    limits.days = settings.retainDays > 0 ? settings.retainDays : 0;
    if (settings.retainSizeLimit > 0) {
        limits.bytes = static_cast<std::uint64_t>(settings.retainSizeLimit * kBytesPerMegabyte);
    }
    return limits;
}

std::int64_t DayNumber(int year, int month, int day) {
    // Counted in 400-year eras from 1 March 0000, so the leap day ends its year.
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra =
        yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool ParseDayFolderName(const char* name, std::int64_t& dayNumber) {
    if (name == nullptr) return false;
    const char* text = name;
    int year = 0;
    int month = 0;
    int day = 0;
    if (!ReadDigits(text, 1, 9, year) || *text++ != '-' || !ReadDigits(text, 2, 2, month) ||
        *text++ != '-' || !ReadDigits(text, 2, 2, day) || *text != '\0') {
        return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return false;
    // The engine's own spelling only: "02026-12-07" names the same date but no folder it made.
    LocalTime date;
    date.year = year;
    date.month = month;
    date.day = day;
    char spelled[kPathCapacity];
    if (!FormatDayFolderName(date, spelled, sizeof spelled) || std::strcmp(spelled, name) != 0) {
        return false;
    }
    dayNumber = DayNumber(year, month, day);
    return true;
}

bool IsLogFileName(const char* name) {
    if (name == nullptr) return false;
    const std::size_t length = std::strlen(name);
    return length > 4 && std::strcmp(name + length - 4, ".dat") == 0 &&
           std::strchr(name, ':') == nullptr;
}

std::vector<std::size_t> SelectDayFoldersToRemove(const std::vector<DayFolderUsage>& folders,
                                                  std::int64_t today,
                                                  const RetentionLimits& limits) {
    std::vector<std::size_t> oldestFirst(folders.size());
    for (std::size_t i = 0; i < folders.size(); ++i) oldestFirst[i] = i;
    std::stable_sort(oldestFirst.begin(), oldestFirst.end(), [&](std::size_t a, std::size_t b) {
        return folders[a].dayNumber < folders[b].dayNumber;
    });

    std::vector<bool> goes(folders.size(), false);
    std::uint64_t kept = 0;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        goes[i] = limits.days > 0 && today - folders[i].dayNumber > limits.days;
        if (!goes[i]) kept += folders[i].logBytes;
    }
    if (limits.bytes > 0) {
        for (const std::size_t i : oldestFirst) {
            if (kept <= limits.bytes || folders[i].dayNumber >= today) break;
            if (goes[i]) continue;
            goes[i] = true;
            kept -= folders[i].logBytes;
        }
    }
    std::vector<std::size_t> removed;
    for (const std::size_t i : oldestFirst) {
        if (goes[i]) removed.push_back(i);
    }
    return removed;
}

void RemoveOldDayFolders(Platform& platform, const char* filePath, std::int64_t today,
                         const RetentionLimits& limits, CloseFilesInDay closeFiles,
                         void* context) {
    if (filePath == nullptr || !limits.Any()) return;
    // The listings allocate; running out of memory only ends this clean-up.
    try {
        // The settings keep the folder with its separator; an empty one is the current folder.
        std::string path = filePath[0] != '\0' ? filePath : ".";
        while (path.size() > 1 && IsPathSeparator(path.back()) && path[path.size() - 2] != ':') {
            path.pop_back();
        }
        OpenFolder root(platform, platform.OpenFolder(path.c_str()));
        if (root.Get() == nullptr) return;

        DayFolderList days;
        platform.ListFolder(root.Get(), &CollectDayFolder, &days);
        if (limits.bytes > 0) {
            for (std::size_t i = 0; i < days.names.size(); ++i) {
                OpenFolder day(platform, platform.OpenSubfolder(root.Get(), days.names[i].c_str()));
                if (day.Get() != nullptr) {
                    platform.ListFolder(day.Get(), &AddLogFileBytes, &days.usage[i].logBytes);
                }
            }
        }
        for (const std::size_t i : SelectDayFoldersToRemove(days.usage, today, limits)) {
            RemoveDayFolder(platform, root.Get(), days.names[i], closeFiles, context);
        }
    } catch (...) {
    }
}

}  // namespace VTLogAdapter

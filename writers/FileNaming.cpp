// Day folder names and unique numbered log file names.
#include "writers/FileNaming.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "writers/LogWriterBase.h"

namespace VTLogAdapter {

bool FormatDayFolderName(const LocalTime& time, char* buffer, std::size_t capacity) {
    if (capacity == 0) return false;
    const int used =
        std::snprintf(buffer, capacity, "%d-%02d-%02d", time.year, time.month, time.day);
    if (used < 0 || static_cast<std::size_t>(used) >= capacity) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

std::size_t FileStemLength(const char* path) {
    const std::size_t length = std::strlen(path);
    for (std::size_t i = length; i-- > 1;) {
        if (IsPathSeparator(path[i])) break;
        if (path[i] == '.') return i;
    }
    return length;
}

bool FormatNumberedFileName(const char* stem, std::size_t stemLength, int number, char* buffer,
                            std::size_t capacity) {
    if (capacity == 0) return false;
    // The stem is not NUL-terminated at stemLength, hence the precision.
    if (stemLength > static_cast<std::size_t>(INT_MAX)) return false;
    const int precision = static_cast<int>(stemLength);
    const int used = number == 0
                         ? std::snprintf(buffer, capacity, "%.*s.dat", precision, stem)
                         : std::snprintf(buffer, capacity, "%.*s_%d.dat", precision, stem, number);
    if (used < 0 || static_cast<std::size_t>(used) >= capacity) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

bool NameStaysInFolder(const char* namePart) {
    if (namePart == nullptr || namePart[0] == '\0' || IsPathSeparator(namePart[0])) return false;
    if (std::strchr(namePart, ':') != nullptr) return false;
    const char* component = namePart;
    for (const char* p = namePart;; ++p) {
        if (*p == '\0' || IsPathSeparator(*p)) {
            if (p - component == 2 && component[0] == '.' && component[1] == '.') return false;
            if (*p == '\0') return true;
            component = p + 1;
        }
    }
}

const char16_t* LastPathComponent(const char16_t* path) {
    // One pass from the front: a source path is read on every line.
    const char16_t* component = path;
    if (path[0] == u'\0') return path;
    for (const char16_t* p = path + 1; *p != u'\0'; ++p) {
        if (*p == static_cast<char16_t>(kPathSeparator)) component = p + 1;
    }
    return component;
}

bool JoinPath(char* buffer, std::size_t capacity, const char* first, const char* second,
              const char* third) {
    if (capacity == 0) return false;
    // Joined on every line of the general log, so no printf.
    const char* parts[] = {first, second, third};
    std::size_t used = 0;
    for (const char* part : parts) {
        const std::size_t length = std::strlen(part);
        if (length >= capacity - used) {
            buffer[0] = '\0';
            return false;
        }
        std::memcpy(buffer + used, part, length);
        used += length;
    }
    buffer[used] = '\0';
    return true;
}

bool LogWriterBase::FindFreeFileName(const char* path, std::size_t stemLength, int& number,
                                     char* candidate) const {
    for (;;) {
        if (!FormatNumberedFileName(path, stemLength, number, candidate, kPathCapacity)) {
            return false;
        }
        if (!platform.PathExists(candidate)) return true;
        if (number == INT_MAX) return false;
        ++number;
    }
}

bool LogWriterBase::MakeUniqueFileName(char* path) {
    char candidate[kPathCapacity];
    int number = 0;
    if (!FindFreeFileName(path, FileStemLength(path), number, candidate)) return false;
    std::memcpy(path, candidate, std::strlen(candidate) + 1);
    return true;
}

}  // namespace VTLogAdapter

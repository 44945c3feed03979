// The performance log: one file series per operation name, found or started per line.
#include "writers/PerformanceLog.h"

#include <cstring>
#include <utility>

#include "platform/HotPath.h"
#include "platform/TextConversion.h"
#include "writers/FileNaming.h"

namespace VTLogAdapter {

OperationFile::OperationFile(std::u16string operation)
    : operation(std::move(operation)), name() {}

PerformanceLog::PerformanceLog(const LogConfig* config, Platform& platform)
    : LogWriterBase(platform) {
    this->config = config;
}

PerformanceLog::~PerformanceLog() {
    Close();
    lastEntry = nullptr;
    operations.clear();
}

void PerformanceLog::Close() {
    for (auto& entry : operations) CloseFile(entry.second->slot);
    newest = oldest = nullptr;
    for (auto& entry : operations) entry.second->newer = entry.second->older = nullptr;
    openCount = 0;
    CloseFileMutex();
}

void PerformanceLog::CloseFilesIn(const char* day) {
    for (auto& entry : operations) {
        OperationFile* operation = entry.second.get();
        if (operation->slot.file != nullptr && std::strcmp(operation->slot.day, day) == 0) {
            Unlink(operation);
        }
        CloseFileIn(operation->slot, day);
    }
}

void PerformanceLog::ForgetAfterFork() {
    for (auto& entry : operations) {
        ForgetFile(entry.second->slot);
        entry.second->newer = entry.second->older = nullptr;
    }
    newest = oldest = nullptr;
    openCount = 0;
    RefreshIdentity();
}

void PerformanceLog::Unlink(OperationFile* entry) {
    if (entry->newer != nullptr) entry->newer->older = entry->older;
    if (entry->older != nullptr) entry->older->newer = entry->newer;
    if (newest == entry) newest = entry->older;
    if (oldest == entry) oldest = entry->newer;
    entry->newer = entry->older = nullptr;
    --openCount;
}

void PerformanceLog::LinkNewest(OperationFile* entry) {
    entry->older = newest;
    entry->newer = nullptr;
    if (newest != nullptr) newest->newer = entry;
    newest = entry;
    if (oldest == nullptr) oldest = entry;
    ++openCount;
}

int PerformanceLog::WriteRecord(const char16_t* sourceFile, const char16_t* function, int line,
                                int level, const char16_t* operation, const char16_t* message) {
    if (config == nullptr || !config->Admits(level)) return 0;
    const LocalTime now = platform.GetLocalTime();
    // On the stack: a line needs no heap and so cannot fail for want of memory.
    char text[kLineCapacity];
    FormatLine(text, message != nullptr ? message : u"", sourceFile, function, line, level, now);
    WriteLine(operation, text, now);
    return 1;
}

int PerformanceLog::WriteLine(const char16_t* operation, const char* line) {
    return WriteLine(operation, line, platform.GetLocalTime());
}

int PerformanceLog::WriteLine(const char16_t* operation, const char* line,
                              const LocalTime& now) {
    if (line == nullptr) return 1;
    const LineToWrite one{line, std::strlen(line), now};
    const LineToWrite* const lines[] = {&one};
    WriteLines(operation, lines, 1);
    return 1;
}

VTLOG_HOT
void PerformanceLog::WriteLines(const char16_t* operation, const LineToWrite* const* lines,
                                std::size_t count) {
    if (config == nullptr) return;
    if (config->fileOutput != 0) {
        OperationFile* entry = FindOrAddOperation(operation != nullptr ? operation : u"");
        if (entry != nullptr) {
            LogFileSlot& slot = entry->slot;
            const bool wasOpen = slot.file != nullptr;
            if (!wasOpen && openCount >= kMaxOpenFiles && oldest != nullptr) {
                // Every name logged once would otherwise hold a descriptor for good, and a host
                // logging under many names would run out of them.
                OperationFile* leastRecent = oldest;
                Unlink(leastRecent);
                ParkFile(leastRecent->slot);
            }
            WriteLinesToFile(slot, entry->name, lines, count);
            // The list holds the operations with an open file, newest first; a run of lines
            // under the newest one, the common case, leaves it as it is.
            if (slot.file == nullptr) {
                if (wasOpen) Unlink(entry);
            } else if (entry != newest) {
                if (wasOpen) Unlink(entry);
                LinkNewest(entry);
            }
        }
    }
    WriteDebugOutput(lines, count);
}

VTLOG_HOT
OperationFile* PerformanceLog::FindOrAddOperation(const char16_t* operation) {
    if (lastEntry != nullptr && SameOperationName(lastEntry->operation.c_str(), operation)) {
        return lastEntry;
    }
    // Looked up and added out of line: a run of lines under one name finds it above.
    return [&]() VTLOG_RARE -> OperationFile* {
        try {
            const auto found = operations.find(std::u16string_view(operation));
            if (found != operations.end()) return lastEntry = found->second.get();

            // A name cut to fit would name another operation's file, so it gets none.
            std::size_t bytes = 0;
            const std::size_t units =
                Utf16PrefixFittingUtf8(operation, static_cast<std::size_t>(-1), kPathCapacity - 1,
                                       bytes);
            if (operation[units] != u'\0') return nullptr;
            char name[kPathCapacity];
            Utf16ToUtf8(operation, name, sizeof name);
            if (!NameStaysInFolder(name)) return nullptr;

            auto entry = std::make_unique<OperationFile>(std::u16string(operation));
            std::memcpy(entry->name, name, bytes + 1);
            OperationFile* added = entry.get();
            const std::u16string_view key(added->operation);
            operations.emplace(key, std::move(entry));
            return lastEntry = added;
        } catch (...) {
            // Out of memory: this line reaches only the debugger output.
            return nullptr;
        }
    }();
}

}  // namespace VTLogAdapter

// One file series' place to write: the open file (or the one it left), where it lies, the day
// it belongs to, and what keeps opening new files rare. A writer owns its slots and is the only
// one to touch them, inside LogCore's critical section.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace VTLogAdapter {

struct LogFileSlot {
    // What every line reads comes first, so that it shares a cache line and a page.
    LogFile* file = nullptr;
    // The date of `day` as DayKey gives it: every line compares this rather than the name.
    std::int64_t dayKey = 0;
    // The size the system lets this process give a file, read at the open.
    std::int64_t sizeLimit = INT64_MAX;
    // Seconds (see SecondOf) of the last look at whether `file` is still at `path`, and of the
    // last open that failed; each is done at most once a second.
    std::int64_t checkedSecond = -1;
    std::int64_t failedSecond = -1;
    // The number to try first for the next file in `day`: one past the last this slot created,
    // so a full folder is not scanned from "name.dat" upwards at every open.
    int nextNumber = 0;
    // Closed to spare a descriptor (`file` is null then): `path` is taken up again for its next
    // line if it is still the file this process left, same identity and length.
    bool parked = false;
    FileIdentity parkedIdentity;
    std::int64_t parkedLength = 0;
    // The file open now or left last; empty before the first open.
    char path[kPathCapacity] = {};
    // The day folder name of `path`. The day belongs to the file: each file of a writer moves to
    // the new day's folder at its own first line of that day.
    char day[kPathCapacity] = {};
};

// A key that changes exactly when the local time's second does; two readings compare equal
// only within the same second of the same day. Not a count: only equality means anything.
std::int64_t SecondOf(const LocalTime& time);

// A key that differs exactly when the date does (for every field up to 65535); never 0 for a
// real date, so an empty slot matches no day.
inline std::int64_t DayKey(const LocalTime& time) {
    // Unsigned, so that no year, however odd, makes the shift undefined.
    const std::uint64_t year = static_cast<std::uint32_t>(time.year);
    const std::uint64_t key = (year << 32) |
                              (static_cast<std::uint64_t>(time.month & 0xFFFF) << 16) |
                              static_cast<std::uint64_t>(time.day & 0xFFFF);
    return static_cast<std::int64_t>(key);
}

}  // namespace VTLogAdapter

// Message levels. INFO ranks below TRACE for filtering; values outside 0..4 are legal and pass
// the filter like any number, but print no level word.
#pragma once

#include <cstdint>

namespace VTLogAdapter {

enum VT_LOGLEVEL : std::int32_t {
    VT_LOG_INFO = 0,
    VT_LOG_TRACE = 1,
    VT_LOG_WARN = 2,
    VT_LOG_ERROR = 3,
    VT_LOG_FATAL = 4,
};

}  // namespace VTLogAdapter

// The platform class of this OS, for code (tests) that extends it.
#pragma once

#include "platform/win32/Win32Platform.h"

namespace VTLogAdapter {
using OsPlatform = Win32Platform;
}  // namespace VTLogAdapter

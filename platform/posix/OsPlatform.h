// The platform class of this OS, for code (tests) that extends it.
#pragma once

#include "platform/posix/PosixPlatform.h"

namespace VTLogAdapter {
using OsPlatform = PosixPlatform;
}  // namespace VTLogAdapter

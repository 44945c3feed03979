// Pieces of the configuration load that are useful on their own (and to tests).
#pragma once

#include <cstddef>

#include "platform/Platform.h"

namespace VTLogAdapter {

// Path separator of the platform's path rules ('\\' on Windows, '/' elsewhere).
#if defined(_WIN32)
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// Reads the installation directory (value "ZLM_HOME" of HKLM\SOFTWARE\Corvessa\Vantiro) into a
// buffer of kPathCapacity bytes. A 64-bit build retries in the 32-bit registry view. 1 or 0.
int ReadInstallDirectory(const Platform& platform, char* buffer);

// Rewrites a path that starts with "$(NAME)" in place: the special folder NAME stands for,
// then what followed the ")". Unknown names mean the common application data folder; a path
// without ")" or whose expansion would not fit stays as it is. Always 1.
int ExpandFolderMacro(const Platform& platform, char* path);

}  // namespace VTLogAdapter

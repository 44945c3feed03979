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

// Name of the configuration file, looked for in the installation directory.
constexpr char kConfigFileName[] = "LogConfigure.xml";

// A configuration file longer than this counts as unreadable; real ones take a few kilobytes.
constexpr std::size_t kMaxConfigBytes = 1024 * 1024;
// Deepest nesting of elements a configuration document may have. The parser recurses once per
// level, so a deeper document could exhaust the stack of whichever thread logs first.
constexpr int kMaxConfigDepth = 64;

// True when no element of the XML text nests deeper than `maxDepth`, judged from the bytes alone
// before any parsing: comments, CDATA sections, declarations and quoted attribute values hide
// their content; end tags close and self-closing tags do not open. Anything the parser would
// take differently from this scan, or reject anyway, is refused: markup that does not end, a
// '<' inside a tag or a quoted value, an end tag with nothing open. Examples, `maxDepth` 2:
//   "<a><b/><b x='>'></b></a>"    => true
//   "<a><!-- <b><c> --></a>"      => true
//   "<a><b><c/></b></a>"          => true (a self-closing tag opens nothing)
//   "<a><b><c></c></b></a>"       => false
//   "<a x='<'/>", "<a", "</a>"    => false
bool NestingWithin(const char* text, std::size_t length, int maxDepth);

// Reads the installation directory (value "ZLM_HOME" of HKLM\SOFTWARE\Corvessa\Vantiro) into a
// buffer of kPathCapacity bytes. A build for which the platform says so retries in the 32-bit
// registry view. A value that does not fit the buffer with its NUL is a failed lookup. Returns
// 1, or 0 with an empty buffer.
int ReadInstallDirectory(const Platform& platform, char* buffer);

// Builds the configuration file's path from the installation directory: the directory is cut
// after its last separator (its first character is never taken as one), then kConfigFileName
// is appended. `file` holds kPathCapacity bytes. Returns 0, with an empty `file`, when the
// result would not fit. Examples ('/' as separator):
//   "/opt/Vantiro/Bin" => "/opt/Vantiro/LogConfigure.xml"
//   "/opt/Vantiro/"    => "/opt/Vantiro/LogConfigure.xml"
//   "Bin", "/opt", ""  => "LogConfigure.xml" (relative to the current directory)
int ConfigFilePath(const char* installDirectory, char* file);

// Rewrites a path of kPathCapacity bytes that starts with "$(NAME)" in place: the special folder
// NAME stands for, then what followed the ")". Unknown names mean the common application data
// folder. A path without ")", whose folder cannot be found, or whose expansion would not fit
// stays as it is. Always 1. Example: "$(LOCAL_APPDATA)/Logs/" => "/home/u/.local/share/Logs/".
int ExpandFolderMacro(const Platform& platform, char* path);

}  // namespace VTLogAdapter

// Version numbers, build-date day numbers and module paths as plain values:
// no Win32 call here, so the arithmetic builds and is tested anywhere.
#pragma once

#include <cstdint>
#include <string>

// A file version with dwFileVersionMS in the high and dwFileVersionLS in the
// low 32 bits: major, minor, build and revision from the top down.
using FileVersion = std::uint64_t;

constexpr FileVersion MakeFileVersion(std::uint16_t major, std::uint16_t minor,
                                      std::uint16_t build, std::uint16_t revision) {
  return (FileVersion(major) << 48) | (FileVersion(minor) << 32) |
         (FileVersion(build) << 16) | FileVersion(revision);
}

// "major.minor.build.revision", decimal, no leading zeros.
std::wstring FormatVersion(FileVersion version);

// The build date encoded in a version: 372 × (10 × major + minor + 94) + build
// in a calendar of twelve 31-day months counted from 1 January 1896.
// A zero version has day number 0.
std::uint32_t VersionToDayNumber(FileVersion version);

constexpr std::uint32_t DayStyleDotted = 1;    // 16.07.2006
constexpr std::uint32_t DayStyleIso = 16;      // 2006-07-16
constexpr std::uint32_t DayStyleCompact = 256; // 20060716

// Formats a day number in one of the styles above; any other style gives "".
std::wstring FormatDayNumber(std::uint32_t dayNumber, std::uint32_t style);

// Turns "\\?\UNC\server\share" into "\\server\share" and "\\?\C:\x" into
// "C:\x"; any other path is returned unchanged.
std::wstring StripLongPathPrefix(const std::wstring &path);

// "C:\x", "\\server\share\x" and "\\?\C:\x": paths Windows takes as they
// are. "x.dll", "C:x.dll", "\x.dll" and ".\x.dll" are resolved against the
// current drive or directory, and a bare name is searched for.
bool IsFullPath(const std::wstring &path);

// folder + "\" + name, with no doubled separator; name alone without folder.
std::wstring JoinPath(const std::wstring &folder, const std::wstring &name);

// Everything before the last "\" or "/" of a path; empty without one.
std::wstring FolderOfPath(const std::wstring &path);

// Win32 side of the version helpers: module paths and version resources.
#pragma once

#include <windows.h>

#include <string>

#include "app/version_info.h"

// Full path of a module (null: the program itself), long-path prefix removed.
// Empty when the module is unknown.
std::wstring GetModulePath(HMODULE module);

// The system folder (GetSystemDirectoryW; the 32-bit one is redirected for
// 32-bit programs on 64-bit Windows) and the Windows folder all users share
// (GetSystemWindowsDirectoryW: on a terminal server GetWindowsDirectoryW can
// name a private, user-writable one). Empty when the call fails.
std::wstring SystemFolder();
std::wstring SharedWindowsFolder();

// The fixed file version of a file, 0 when it has none or cannot be read.
FileVersion GetFileVersion(const std::wstring &path);

// The build-date day number of a file's version, 0 without a version.
std::uint32_t VersionDayNumber(const std::wstring &path);

// Where the TWAIN source manager comes from.
//
// Search order, first usable one wins:
//   1. a DSM_Entry set with SetTwainManagerOverride (tests, the copier's own
//      simulations): no library is loaded;
//   2. "TWAIN_32.DLL", when its file version is 1.6.0.3 or newer;
//   3. 64-bit builds only: "TWAINDSM.DLL", the TWAIN 2 manager, under the
//      same version test (Windows has no 64-bit TWAIN_32.DLL).
// Each file is found by the system's usual DLL search (the program's folder
// first). A file that is missing, has no version resource or is too old is
// skipped. Whatever manager is used, the program presents itself as a TWAIN
// 1.9 application.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "twain/twain.h"

struct ManagerLibrary {
  HMODULE module = nullptr;
  DSMENTRYPROC entry = nullptr; // null when the library lacks DSM_Entry
  std::wstring file;            // the name it was loaded by, as listed
};

// Whether a manager file's version resource admits it (1.6.0.3 or newer).
bool ManagerFileAccepted(const std::wstring &file);

// Loads the first accepted file of the list that LoadLibraryW can load.
// False when there is none; true with a null entry when the loaded
// library has no DSM_Entry (the module then stays loaded for the caller to
// free).
bool LoadTwainManager(const std::vector<std::wstring> &files, ManagerLibrary &library);

// The manager files of this build, in search order.
std::vector<std::wstring> DefaultManagerFiles();

// Process-wide replacements for the search above; sessions constructed
// afterwards use them. Null / empty restores the normal search.
void SetTwainManagerOverride(DSMENTRYPROC entry);
DSMENTRYPROC TwainManagerOverride();
void SetTwainManagerFiles(const std::vector<std::wstring> &files);
std::vector<std::wstring> TwainManagerFiles();

// Where the TWAIN source manager comes from.
//
// Search order, first usable one wins:
//   1. a DSM_Entry set with SetTwainManagerOverride (tests, the copier's own
//      simulations): no library is loaded;
//   2. the files of twain/manager_paths.h, each by its full path, when its
//      file version is 1.6.0.3 or newer: TWAIN_32.DLL beside the program,
//      then in the Windows folder; on 64-bit builds then TWAINDSM.DLL, the
//      TWAIN 2 manager, beside the program, then in the system folder
//      (Windows has no 64-bit TWAIN_32.DLL).
// Nothing is taken from the current directory or PATH, and the process-wide
// DLL search is left as it is: scanner drivers load helpers of their own by
// it. A file that is missing, has no version resource or is too old is
// skipped. Whatever manager is used, the program presents itself as a TWAIN
// 1.9 application.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "twain/manager_paths.h"
#include "twain/twain.h"

struct ManagerLibrary {
  HMODULE module = nullptr;
  DSMENTRYPROC entry = nullptr; // null when the library lacks DSM_Entry
  std::wstring name;            // "TWAIN_32.DLL" or "TWAINDSM.DLL", as listed
  std::wstring path;            // the file loaded, whose version was read
};

// Whether a manager file's version resource admits it (1.6.0.3 or newer).
bool ManagerFileAccepted(const std::wstring &path);

// Loads the first accepted candidate that LoadLibraryW loads from exactly
// the path whose version was read. A candidate that is not a full path is
// passed over: LoadLibraryW would search for it. False when there is none;
// true with a null entry when the loaded library has no DSM_Entry (the
// module then stays loaded for the caller to free).
bool LoadTwainManager(const std::vector<ManagerCandidate> &candidates, ManagerLibrary &library);

// The manager files of this build in search order, from this program's
// folder and Windows' own.
std::vector<ManagerCandidate> DefaultManagerFiles();

// Process-wide replacements for the search above; sessions constructed
// afterwards use them. Null / empty restores the normal search.
void SetTwainManagerOverride(DSMENTRYPROC entry);
DSMENTRYPROC TwainManagerOverride();
void SetTwainManagerFiles(const std::vector<ManagerCandidate> &candidates);
std::vector<ManagerCandidate> TwainManagerFiles();

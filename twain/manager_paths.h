// Which files may hold the TWAIN source manager, as full paths. Plain
// values: no Win32 call here, so the rules are tested anywhere.
//
// A DLL named without a folder is looked for by Windows in the program's
// folder, the system folders, then the current directory and every folder
// on PATH. A portable copy started from a Downloads folder would then load a
// TWAINDSM.DLL someone left there. The manager is therefore only ever loaded
// by full path, from the folders where it belongs:
//   1. TWAIN_32.DLL beside the program, then in the Windows folder (where
//      Windows keeps its TWAIN 1.x manager);
//   2. 64-bit builds only: TWAINDSM.DLL beside the program, then in the
//      system folder (where the TWAIN Working Group's setup puts it).
#pragma once

#include <string>
#include <vector>

#include "app/version_info.h"

struct ManagerFolders {
  std::wstring program; // the folder of the running program
  std::wstring windows; // the shared Windows folder (GetSystemWindowsDirectoryW)
  std::wstring system;  // GetSystemDirectoryW (the 64-bit one for 64-bit programs)
};

struct ManagerCandidate {
  std::wstring name; // "TWAIN_32.DLL" or "TWAINDSM.DLL"
  std::wstring path; // the full path it is loaded from
};

// The candidates in search order. A folder that is empty or not a full path
// (a call that failed) gives no candidate; a path that an earlier candidate
// already has (the program kept in the Windows folder) is not repeated.
std::vector<ManagerCandidate> ManagerCandidates(const ManagerFolders &folders, bool win64);

// The virtual scanner's host: the simulated manager and sources of
// tools/twainsim, configured by an INI file, with the trace file and the
// windows a real manager and a real source would show ("Select Source",
// and the source's own Scan/Cancel dialog when MSG_ENABLEDS asks for its
// user interface). Two DLLs sit on it: the combined TWAIN_32.DLL, whose
// DSM_Entry is the host's, and the standalone data source (.ds), whose
// DS_Entry translates a real manager's calls into the host's.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "tools/twainsim/sim_engine.h"
#include "tools/vscanner/vscanner_config.h"

namespace vscanner {

// Appends lines to the trace file. Each line opens, writes and closes the
// file: a reader sees every call at once, even if the process dies, and a
// test may delete the file between two sessions without the DLL holding on
// to the old one.
class TraceFile {
public:
  void Open(const std::wstring &path) { path_ = path; }
  void Line(const std::string &text) const;

private:
  std::wstring path_;
};

struct Manager {
  Config config;
  std::wstring iniFolder;
  std::unique_ptr<twainsim::SimEngine> engine;
  TraceFile trace;
  std::uint32_t sequence = 0;
  // The source's own dialog while it is enabled with its user interface,
  // and what is needed to let the engine announce the user's choice.
  HWND scanDialog = nullptr;
  int uiSource = -1;  // index of the source whose dialog is shown
  TW_IDENTITY uiOrigin{};
  TW_IDENTITY uiDestination{};
  TW_USERINTERFACE uiData{};
  int uiChoice = 0;   // 0 none yet, 1 Scan, 2 Cancel
  bool inEngine = false;
};

// The one host of this DLL.
Manager &TheManager();
// The DLL's module handle (its dialogs' owner module).
void SetModuleInstance(HINSTANCE instance);

// The value of an environment variable, empty when unset.
std::wstring EnvironmentValue(const wchar_t *name);

// Reads the INI file at iniPath (or takes the default flatbed when it is
// empty) and starts a fresh engine on it. With onlyDefault the engine holds
// the configuration's default source alone (a data source is one scanner).
// Only while the manager is closed.
void LoadConfiguration(Manager &m, const std::wstring &iniPath, bool onlyDefault = false);

// The manager's and sources' DSM_Entry: the engine, with the dialogs added.
TW_UINT16 Dispatch(Manager &m, TW_IDENTITY *origin, TW_IDENTITY *destination, TW_UINT32 dg,
                   TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

// One trace line for a call and its answer.
void WriteTrace(Manager &m, TW_IDENTITY *origin, TW_IDENTITY *destination, TW_UINT32 dg,
                TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data, TW_UINT16 rc);

// Closes the source's dialog, if any.
void CloseScanDialog(Manager &m);

} // namespace vscanner

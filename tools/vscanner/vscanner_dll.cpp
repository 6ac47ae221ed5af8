// TWAIN_32.DLL of the virtual scanner: the simulated source manager and
// sources of tools/twainsim behind the standard DSM_Entry, configured by the
// INI file that ZV_VSCANNER_INI names (see vscanner_config.cpp).
//
// The host (tools/vscanner/vscanner_host.h) adds to the engine the
// configuration, the trace file, the manager's "Select Source" dialog for
// MSG_USERSELECT and the source's own Scan/Cancel dialog when MSG_ENABLEDS
// asks for its user interface; this file adds the moment the configuration
// is read: at each MSG_OPENDSM.
#include <windows.h>

#include <string>

#include "tools/twainsim/sim_ledger.h"
#include "tools/vscanner/vscanner_host.h"

namespace vscanner {
namespace {

// The configuration is read again at each MSG_OPENDSM made while the
// manager is closed, so that a test may change it between sessions.
TW_UINT16 ManagerEntry(Manager &m, TW_IDENTITY *origin, TW_IDENTITY *destination, TW_UINT32 dg,
                       TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (!origin)
    return TWRC_FAILURE;
  if ((!destination && dg == DG_CONTROL && dat == DAT_PARENT && msg == MSG_OPENDSM &&
       (!m.engine || m.engine->ManagerState() == 2)) ||
      !m.engine) {
    CloseScanDialog(m);
    LoadConfiguration(m, EnvironmentValue(kIniVariable));
    // The program that loaded this DLL frees what its sources hand out.
    if (m.config.countFrees)
      twainsim::FreeLedger::Process().Watch(GetModuleHandleW(nullptr));
  }
  return Dispatch(m, origin, destination, dg, dat, msg, data);
}

} // namespace
} // namespace vscanner

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    vscanner::SetModuleInstance(instance);
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    // The program's import table must not point into a DLL that is gone.
    twainsim::FreeLedger &ledger = twainsim::FreeLedger::Process();
    const bool counted = ledger.Watching();
    ledger.Unwatch();
    if (reserved != nullptr)
      return TRUE; // process exit: nothing else needs tidying
    // Unloaded by FreeLibrary: the dialog procedure goes with the DLL, so
    // its window must go first.
    auto &m = vscanner::TheManager();
    vscanner::CloseScanDialog(m);
    m.engine.reset();
    // A trace reader sees that the application let the manager go, and
    // whether it gave back everything its sources handed out, once.
    if (counted)
      m.trace.Line("# unloaded: not freed=" + std::to_string(ledger.HandedNotFreed()) +
                   " freed twice=" + std::to_string(ledger.FreedTwice()));
    else
      m.trace.Line("# unloaded");
  }
  return TRUE;
}

extern "C" TW_UINT16 TW_CALLINGSTYLE DSM_Entry(TW_IDENTITY *origin, TW_IDENTITY *destination,
                                               TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                               TW_MEMREF data) {
  auto &m = vscanner::TheManager();
  const TW_UINT16 rc = vscanner::ManagerEntry(m, origin, destination, dg, dat, msg, data);
  vscanner::WriteTrace(m, origin, destination, dg, dat, msg, data, rc);
  if (m.engine)
    m.engine->ClearCalls();  // the trace keeps the record; memory stays flat
  return rc;
}

// A minimal TWAIN source manager DLL for the version and loading tests: it
// knows one source and answers the calls of a session's construction.
//
// Built with ZV_TINY_STUBBORN it also opens that source, and then keeps it:
// it refuses to close it, and refuses to close itself while it is open, so
// that only unloading the library lets go of it. TinyManagerOpen tells what
// the loaded copy believes.
#include <cstring>

#include "twain/twain.h"

// Whether it ever ran in a process, even when unloaded again at once: each
// load leaves its path in the process's environment.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(instance, path, MAX_PATH);
    SetEnvironmentVariableW(L"ZV_TINY_MANAGER_LOADED", path);
  }
  return TRUE;
}

#ifndef ZV_TINY_NO_ENTRY
namespace {

bool g_managerOpen = false;
bool g_sourceOpen = false;

void FillIdentity(TW_IDENTITY *id) {
  std::memset(id, 0, sizeof *id);
  id->Id = 7;
  id->Version.MajorNum = 1;
  std::strcpy(id->Version.Info, "1.0");
  id->ProtocolMajor = 1;
  id->ProtocolMinor = 9;
  id->SupportedGroups = DG_CONTROL | DG_IMAGE;
  std::strcpy(id->Manufacturer, "Tiny");
  std::strcpy(id->ProductFamily, "Tiny");
  std::strcpy(id->ProductName, "Tiny Manager Source");
}

} // namespace

extern "C" __declspec(dllexport) TW_UINT16 WINAPI DSM_Entry(TW_IDENTITY *,
                                                            TW_IDENTITY *destination,
                                                            TW_UINT32 dg, TW_UINT16 dat,
                                                            TW_UINT16 msg, TW_MEMREF data) {
  if (dg != DG_CONTROL || data == nullptr || destination != nullptr)
    return TWRC_FAILURE;
#ifdef ZV_TINY_STUBBORN
  if (dat == DAT_PARENT && msg == MSG_OPENDSM) {
    if (g_managerOpen)
      return TWRC_FAILURE;
    g_managerOpen = true;
    return TWRC_SUCCESS;
  }
  if (dat == DAT_PARENT && msg == MSG_CLOSEDSM) {
    if (!g_managerOpen || g_sourceOpen)
      return TWRC_FAILURE;
    g_managerOpen = false;
    return TWRC_SUCCESS;
  }
  if (dat == DAT_IDENTITY && (msg == MSG_GETDEFAULT || msg == MSG_GETFIRST)) {
    FillIdentity(static_cast<TW_IDENTITY *>(data));
    return TWRC_SUCCESS;
  }
  if (dat == DAT_IDENTITY && msg == MSG_GETNEXT)
    return TWRC_ENDOFLIST;
  if (dat == DAT_IDENTITY && msg == MSG_OPENDS && g_managerOpen && !g_sourceOpen) {
    FillIdentity(static_cast<TW_IDENTITY *>(data));
    g_sourceOpen = true;
    return TWRC_SUCCESS;
  }
  return TWRC_FAILURE; // MSG_CLOSEDS among them
#else
  if (dat == DAT_PARENT && (msg == MSG_OPENDSM || msg == MSG_CLOSEDSM))
    return TWRC_SUCCESS;
  if (dat == DAT_IDENTITY && msg == MSG_GETDEFAULT) {
    FillIdentity(static_cast<TW_IDENTITY *>(data));
    return TWRC_SUCCESS;
  }
  return TWRC_FAILURE;
#endif
}

extern "C" __declspec(dllexport) int TinyManagerOpen() {
  return (g_managerOpen ? 1 : 0) + (g_sourceOpen ? 2 : 0);
}
#else
extern "C" __declspec(dllexport) int NotAManager() { return 0; }
#endif

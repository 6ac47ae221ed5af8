// A minimal TWAIN source manager DLL for the version and loading tests: it
// knows one source and answers the calls of a session's construction.
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
extern "C" __declspec(dllexport) TW_UINT16 WINAPI DSM_Entry(TW_IDENTITY *, TW_IDENTITY *,
                                                            TW_UINT32 dg, TW_UINT16 dat,
                                                            TW_UINT16 msg, TW_MEMREF data) {
  if (dg != DG_CONTROL || data == nullptr)
    return TWRC_FAILURE;
  if (dat == DAT_PARENT && (msg == MSG_OPENDSM || msg == MSG_CLOSEDSM))
    return TWRC_SUCCESS;
  if (dat == DAT_IDENTITY && msg == MSG_GETDEFAULT) {
    auto *id = static_cast<TW_IDENTITY *>(data);
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
    return TWRC_SUCCESS;
  }
  return TWRC_FAILURE;
}
#else
extern "C" __declspec(dllexport) int NotAManager() { return 0; }
#endif

#include "twain/manager_loader.h"

#include "app/module_path.h"
#include "twain/session_state.h"

namespace {

DSMENTRYPROC g_override = nullptr;
std::vector<std::wstring> g_files;

} // namespace

bool ManagerFileAccepted(const std::wstring &file) {
  return ManagerVersionAccepted(GetFileVersion(file));
}

bool LoadTwainManager(const std::vector<std::wstring> &files, ManagerLibrary &library) {
  library = ManagerLibrary();
  for (const std::wstring &file : files) {
    if (!ManagerFileAccepted(file))
      continue;
    HMODULE module = LoadLibraryW(file.c_str());
    if (module == nullptr)
      continue;
    library.module = module;
    library.file = file;
    library.entry = reinterpret_cast<DSMENTRYPROC>(
        reinterpret_cast<void *>(GetProcAddress(module, "DSM_Entry")));
    return true;
  }
  return false;
}

std::vector<std::wstring> DefaultManagerFiles() {
#ifdef _WIN64
  return {L"TWAIN_32.DLL", L"TWAINDSM.DLL"};
#else
  return {L"TWAIN_32.DLL"};
#endif
}

void SetTwainManagerOverride(DSMENTRYPROC entry) { g_override = entry; }
DSMENTRYPROC TwainManagerOverride() { return g_override; }
void SetTwainManagerFiles(const std::vector<std::wstring> &files) { g_files = files; }
std::vector<std::wstring> TwainManagerFiles() {
  return g_files.empty() ? DefaultManagerFiles() : g_files;
}

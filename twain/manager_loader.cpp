#include "twain/manager_loader.h"

#include "app/module_path.h"
#include "common/unique_handle.h"
#include "twain/session_state.h"

namespace {

DSMENTRYPROC g_override = nullptr;
std::vector<ManagerCandidate> g_files;

// A folder from one of the GetXxxDirectoryW calls; empty when it fails.
template <typename Call> std::wstring SystemFolder(Call call) {
  wchar_t buffer[MAX_PATH + 1];
  const UINT length = call(buffer, UINT(sizeof buffer / sizeof buffer[0]));
  if (length == 0 || length >= sizeof buffer / sizeof buffer[0])
    return std::wstring();
  return std::wstring(buffer, length);
}

bool SameFile(const std::wstring &a, const std::wstring &b) {
  return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) ==
         CSTR_EQUAL;
}

} // namespace

bool ManagerFileAccepted(const std::wstring &path) {
  return ManagerVersionAccepted(GetFileVersion(path));
}

bool LoadTwainManager(const std::vector<ManagerCandidate> &candidates, ManagerLibrary &library) {
  library = ManagerLibrary();
  for (const ManagerCandidate &candidate : candidates) {
    if (!IsFullPath(candidate.path) || !ManagerFileAccepted(candidate.path))
      continue;
    UniqueModule module(LoadLibraryW(candidate.path.c_str()));
    if (!module)
      continue;
    // What was checked must be what runs: a loader redirection (a .local
    // folder, a side-by-side manifest) could hand back another file.
    if (!SameFile(GetModulePath(module.get()), candidate.path))
      continue;
    library.entry = reinterpret_cast<DSMENTRYPROC>(
        reinterpret_cast<void *>(GetProcAddress(module.get(), "DSM_Entry")));
    library.module = module.release();
    library.name = candidate.name;
    library.path = candidate.path;
    return true;
  }
  return false;
}

std::vector<ManagerCandidate> DefaultManagerFiles() {
  ManagerFolders folders;
  folders.program = FolderOfPath(GetModulePath(nullptr));
  // Not GetWindowsDirectoryW: on a terminal server that can be a private,
  // user-writable folder for programs that do not say they know better.
  folders.windows = SystemFolder(GetSystemWindowsDirectoryW);
  folders.system = SystemFolder(GetSystemDirectoryW);
#ifdef _WIN64
  return ManagerCandidates(folders, true);
#else
  return ManagerCandidates(folders, false);
#endif
}

void SetTwainManagerOverride(DSMENTRYPROC entry) { g_override = entry; }
DSMENTRYPROC TwainManagerOverride() { return g_override; }
void SetTwainManagerFiles(const std::vector<ManagerCandidate> &candidates) { g_files = candidates; }
std::vector<ManagerCandidate> TwainManagerFiles() {
  return g_files.empty() ? DefaultManagerFiles() : g_files;
}

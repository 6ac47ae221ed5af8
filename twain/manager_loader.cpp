#include "twain/manager_loader.h"

#include "app/module_path.h"
#include "common/proc_address.h"
#include "common/unique_handle.h"
#include "twain/session_state.h"

namespace {

DSMENTRYPROC g_override = nullptr;
std::vector<ManagerCandidate> g_files;

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
    library.entry = FindProc<DSMENTRYPROC>(module.get(), "DSM_Entry");
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
  folders.windows = SharedWindowsFolder();
  folders.system = SystemFolder();
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

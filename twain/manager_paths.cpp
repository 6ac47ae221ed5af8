#include "twain/manager_paths.h"

std::vector<ManagerCandidate> ManagerCandidates(const ManagerFolders &folders, bool win64) {
  struct Place {
    const wchar_t *name;
    const std::wstring *folder;
  };
  const Place places[] = {
      {L"TWAIN_32.DLL", &folders.program},
      {L"TWAIN_32.DLL", &folders.windows},
      {L"TWAINDSM.DLL", &folders.program},
      {L"TWAINDSM.DLL", &folders.system},
  };
  std::vector<ManagerCandidate> candidates;
  for (const Place &place : places) {
    if (!win64 && std::wstring(place.name) == L"TWAINDSM.DLL")
      continue;
    ManagerCandidate candidate{place.name, JoinPath(*place.folder, place.name)};
    // An empty folder (its call failed) would leave a bare name, which is
    // exactly what must never reach LoadLibraryW.
    if (place.folder->empty() || !IsFullPath(candidate.path))
      continue;
    // Enough to notice the same folder given twice; a pair this misses
    // costs one more look at the same file, nothing else.
    bool repeated = false;
    for (const ManagerCandidate &earlier : candidates)
      repeated = repeated || SameIgnoringAsciiCase(earlier.path, candidate.path);
    if (!repeated)
      candidates.push_back(candidate);
  }
  return candidates;
}

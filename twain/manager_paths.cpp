#include "twain/manager_paths.h"

namespace {

wchar_t FoldAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? wchar_t(c - L'a' + L'A') : c; }

// Enough to notice the same folder given twice; a pair this misses costs
// one more look at the same file, nothing else.
bool SameAsciiFolded(const std::wstring &a, const std::wstring &b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i]))
      return false;
  return true;
}

} // namespace

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
    bool repeated = false;
    for (const ManagerCandidate &earlier : candidates)
      repeated = repeated || SameAsciiFolded(earlier.path, candidate.path);
    if (!repeated)
      candidates.push_back(candidate);
  }
  return candidates;
}

// Where the source manager may be loaded from, as plain path arithmetic:
// only full paths, only the program's folder and Windows' own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/version_info.h"
#include "twain/manager_paths.h"

namespace {

std::vector<std::wstring> Paths(const std::vector<ManagerCandidate> &candidates) {
  std::vector<std::wstring> paths;
  for (const ManagerCandidate &candidate : candidates)
    paths.push_back(candidate.name + L" @ " + candidate.path);
  return paths;
}

TEST(ManagerPaths, CandidatesInSearchOrder) {
  using List = std::vector<std::wstring>;
  const ManagerFolders usual = {L"C:\\Program Files\\Zelvantor Copier", L"C:\\Windows",
                                L"C:\\Windows\\system32"};
  struct {
    const char *what;
    ManagerFolders folders;
    bool win64;
    List expected;
  } cases[] = {
      {"64-bit", usual, true,
       {L"TWAIN_32.DLL @ C:\\Program Files\\Zelvantor Copier\\TWAIN_32.DLL",
        L"TWAIN_32.DLL @ C:\\Windows\\TWAIN_32.DLL",
        L"TWAINDSM.DLL @ C:\\Program Files\\Zelvantor Copier\\TWAINDSM.DLL",
        L"TWAINDSM.DLL @ C:\\Windows\\system32\\TWAINDSM.DLL"}},
      {"32-bit: no TWAINDSM.DLL", usual, false,
       {L"TWAIN_32.DLL @ C:\\Program Files\\Zelvantor Copier\\TWAIN_32.DLL",
        L"TWAIN_32.DLL @ C:\\Windows\\TWAIN_32.DLL"}},
      {"a program at the root of a drive", {L"D:", L"C:\\Windows", L"C:\\Windows\\system32"},
       false, {L"TWAIN_32.DLL @ D:\\TWAIN_32.DLL", L"TWAIN_32.DLL @ C:\\Windows\\TWAIN_32.DLL"}},
      {"a program on a share", {L"\\\\server\\tools", L"C:\\Windows", L"C:\\Windows\\system32"},
       false,
       {L"TWAIN_32.DLL @ \\\\server\\tools\\TWAIN_32.DLL",
        L"TWAIN_32.DLL @ C:\\Windows\\TWAIN_32.DLL"}},
      {"a program kept in the Windows folder is looked at once",
       {L"c:\\windows", L"C:\\Windows", L"C:\\Windows\\System32"}, true,
       {L"TWAIN_32.DLL @ c:\\windows\\TWAIN_32.DLL", L"TWAINDSM.DLL @ c:\\windows\\TWAINDSM.DLL",
        L"TWAINDSM.DLL @ C:\\Windows\\System32\\TWAINDSM.DLL"}},
      // Folders whose calls failed, or that came back relative, would leave
      // a name for the DLL search: no candidate at all.
      {"every folder unknown", {L"", L"", L""}, true, {}},
      {"relative folders", {L"bin", L"\\Windows", L"C:system32"}, true, {}},
      {"only the system folder known", {L"", L"", L"C:\\Windows\\system32"}, true,
       {L"TWAINDSM.DLL @ C:\\Windows\\system32\\TWAINDSM.DLL"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.expected, Paths(ManagerCandidates(c.folders, c.win64)));
  }
}

TEST(ManagerPaths, FullPaths) {
  struct {
    const wchar_t *path;
    bool full;
  } cases[] = {
      {L"C:\\Windows\\TWAIN_32.DLL", true}, {L"c:/windows/twain_32.dll", true},
      {L"\\\\server\\share\\x.dll", true},  {L"\\\\?\\C:\\x.dll", true},
      {L"TWAIN_32.DLL", false},             {L".\\TWAIN_32.DLL", false},
      {L"..\\TWAIN_32.DLL", false},         {L"C:TWAIN_32.DLL", false},
      {L"\\TWAIN_32.DLL", false},           {L"\\\\\\x.dll", false},
      {L"C:", false},                       {L"", false},
      {L"1:\\x.dll", false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.path)));
    EXPECT_EQ(c.full, IsFullPath(c.path));
  }
}

TEST(ManagerPaths, JoiningAndSplitting) {
  EXPECT_EQ(L"C:\\Windows\\version.dll", JoinPath(L"C:\\Windows", L"version.dll"));
  EXPECT_EQ(L"C:\\version.dll", JoinPath(L"C:\\", L"version.dll"));
  EXPECT_EQ(L"C:/x/version.dll", JoinPath(L"C:/x/", L"version.dll"));
  EXPECT_EQ(L"version.dll", JoinPath(L"", L"version.dll"));
  EXPECT_EQ(L"C:\\Program Files\\Zelvantor Copier",
            FolderOfPath(L"C:\\Program Files\\Zelvantor Copier\\zvcopier.exe"));
  EXPECT_EQ(L"\\\\server\\tools", FolderOfPath(L"\\\\server\\tools\\zvcopier.exe"));
  EXPECT_EQ(L"C:", FolderOfPath(L"C:\\zvcopier.exe"));
  EXPECT_EQ(L"Z:/tmp", FolderOfPath(L"Z:/tmp/zvcopier.exe"));
  EXPECT_EQ(L"", FolderOfPath(L"zvcopier.exe"));
  // A program at the root: its folder and a name make a full path again.
  EXPECT_TRUE(IsFullPath(JoinPath(FolderOfPath(L"C:\\zvcopier.exe"), L"TWAIN_32.DLL")));
}

} // namespace

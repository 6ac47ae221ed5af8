// Loading the source manager: the version test on real files with real
// version resources (the tiny managers built beside the tests), the search
// order, and what a session makes of each.
#include <gtest/gtest.h>

#include <cstring>

#include "app/module_path.h"
#include "support/test_paths.h"
#include "twain/manager_loader.h"
#include "twain/scanner_profile.h"
#include "twain/acquire.h"
#include "twain/scanner_session.h"

namespace {

// The tiny managers: file name and the version resource built into it.
constexpr wchar_t kV1602[] = L"zvtw_v1602.dll";
constexpr wchar_t kV1603[] = L"zvtw_v1603.dll";
constexpr wchar_t kV1700[] = L"zvtw_v1700.dll";
constexpr wchar_t kNoVersion[] = L"zvtw_nover.dll";
constexpr wchar_t kNoEntry[] = L"zvtw_noentry.dll";
constexpr wchar_t kMissing[] = L"zvtw_missing.dll";
constexpr wchar_t kStubborn[] = L"zvtw_stubborn.dll";

bool Loaded(const wchar_t *file) { return GetModuleHandleW(file) != nullptr; }

// The last tiny manager that ran in this process, loaded even for a moment;
// empty when none has since the last ForgetLoads.
std::wstring LastLoaded() {
  wchar_t path[MAX_PATH * 2] = {};
  const DWORD length = GetEnvironmentVariableW(L"ZV_TINY_MANAGER_LOADED", path, MAX_PATH * 2);
  return length == 0 || length >= MAX_PATH * 2 ? std::wstring() : std::wstring(path, length);
}
void ForgetLoads() { SetEnvironmentVariableW(L"ZV_TINY_MANAGER_LOADED", nullptr); }

// A tiny manager beside the tests, listed by its full path.
ManagerCandidate Beside(const wchar_t *file) { return {L"TWAIN_32.DLL", TestBinPath(file)}; }

class ManagerFiles : public ::testing::Test {
protected:
  void TearDown() override {
    SetTwainManagerFiles({});
    SetTwainManagerOverride(nullptr);
  }
};

TEST_F(ManagerFiles, VersionResourceDecides) {
  struct {
    const wchar_t *file;
    FileVersion version;
    bool accepted;
  } cases[] = {
      {kV1602, MakeFileVersion(1, 6, 0, 2), false},
      {kV1603, MakeFileVersion(1, 6, 0, 3), true},
      {kV1700, MakeFileVersion(1, 7, 0, 0), true},
      {kNoEntry, MakeFileVersion(1, 7, 0, 0), true},
      {kNoVersion, 0, false},
      {kMissing, 0, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.file)));
    EXPECT_EQ(c.version, GetFileVersion(TestBinPath(c.file)));
    EXPECT_EQ(c.accepted, ManagerFileAccepted(TestBinPath(c.file)));
    // Reading the version does not load the library.
    EXPECT_FALSE(Loaded(c.file));
  }
}

TEST_F(ManagerFiles, SessionOnEachFile) {
  struct {
    const wchar_t *file;
    bool available;
    bool loaded;
    SessionState state;
  } cases[] = {
      {kV1602, false, false, StatePreSession},
      {kV1603, true, true, StateManagerLoaded},
      {kV1700, true, true, StateManagerLoaded},
      {kNoVersion, false, false, StatePreSession},
      {kMissing, false, false, StatePreSession},
      // Loaded, but without DSM_Entry: unusable, and kept until Shutdown.
      {kNoEntry, false, true, StatePreSession},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.file)));
    SetTwainManagerFiles({Beside(c.file)});
    ScannerSession session(nullptr);
    EXPECT_EQ(c.available, session.IsAvailable());
    EXPECT_EQ(c.state, session.state);
    EXPECT_EQ(c.loaded, session.dsmModule.get() != nullptr);
    EXPECT_EQ(c.loaded, Loaded(c.file));
    if (c.loaded) {
      EXPECT_EQ(GetModuleHandleW(c.file), session.dsmModule.get());
      EXPECT_EQ(L"TWAIN_32.DLL", session.ManagerFile()) << "named as listed";
    }
    // The proxy window exists once a library is loaded.
    EXPECT_EQ(c.loaded, session.proxyWindow.get() != nullptr);
    if (c.available) {
      TW_IDENTITY tiny = {};
      std::strcpy(tiny.Version.Info, "1.0");
      tiny.Version.MajorNum = 1;
      tiny.ProtocolMajor = 1;
      tiny.ProtocolMinor = 9;
      std::strcpy(tiny.Manufacturer, "Tiny");
      std::strcpy(tiny.ProductFamily, "Tiny");
      std::strcpy(tiny.ProductName, "Tiny Manager Source");
      EXPECT_EQ(ScannerIdOf(tiny), session.scannerId);
      EXPECT_EQ(7u, session.sourceIdentity.Id);
    }
    session.Shutdown();
    EXPECT_EQ(StatePreSession, session.state);
    EXPECT_EQ(nullptr, session.dsmModule.get());
    EXPECT_FALSE(Loaded(c.file)) << "Shutdown frees the library";
  }
}

TEST_F(ManagerFiles, SearchGoesOnPastRefusedFiles) {
  SetTwainManagerFiles({Beside(kMissing), Beside(kNoVersion), Beside(kV1602), Beside(kV1700),
                        Beside(kV1603)});
  ScannerSession session(nullptr);
  ASSERT_TRUE(session.IsAvailable());
  EXPECT_EQ(GetModuleHandleW(kV1700), session.dsmModule.get());
  EXPECT_FALSE(Loaded(kV1602));
  EXPECT_FALSE(Loaded(kV1603)) << "the first accepted file wins";
  session.Shutdown();
  EXPECT_FALSE(Loaded(kV1700));

  ManagerLibrary library;
  EXPECT_FALSE(LoadTwainManager({Beside(kMissing), Beside(kNoVersion), Beside(kV1602)}, library));
  EXPECT_EQ(nullptr, library.module);
  EXPECT_EQ(nullptr, library.entry);
  ASSERT_TRUE(LoadTwainManager({Beside(kV1602), {L"TWAINDSM.DLL", TestBinPath(kV1603)}}, library));
  EXPECT_EQ(L"TWAINDSM.DLL", library.name);
  EXPECT_EQ(TestBinPath(kV1603), library.path) << "the file whose version was read";
  EXPECT_EQ(GetModuleHandleW(kV1603), library.module);
  FreeLibrary(library.module);
  EXPECT_FALSE(Loaded(kV1603));
}

// A name without a full path would send LoadLibraryW searching the current
// directory and PATH; such a candidate is passed over even where the file
// lies beside the program (these tests run from the folder that holds it).
TEST_F(ManagerFiles, OnlyFullPathsAreLoaded) {
  wchar_t current[MAX_PATH];
  ASSERT_NE(0u, GetCurrentDirectoryW(MAX_PATH, current));
  ASSERT_EQ(TestBinDir(), std::wstring(current) + L"\\") << "ctest runs the tests from there";
  const std::wstring relative[] = {kV1603, std::wstring(L".\\") + kV1603,
                                   std::wstring(current, 2) + kV1603}; // "Z:zvtw_v1603.dll"
  for (const std::wstring &path : relative) {
    SCOPED_TRACE(testing::PrintToString(path));
    ASSERT_TRUE(ManagerFileAccepted(path)) << "the file is there, with an accepted version";
    ForgetLoads();
    SetTwainManagerFiles({{L"TWAIN_32.DLL", path}});
    ScannerSession session(nullptr);
    EXPECT_FALSE(session.IsAvailable());
    EXPECT_EQ(nullptr, session.dsmModule.get());
    EXPECT_EQ(L"", LastLoaded()) << "its code never ran";
  }
  // The same file by its full path loads, and says so.
  ForgetLoads();
  SetTwainManagerFiles({Beside(kV1603)});
  ScannerSession session(nullptr);
  EXPECT_TRUE(session.IsAvailable());
  EXPECT_EQ(TestBinPath(kV1603), LastLoaded());
}

// The loader may hand back another file than the one named: Wine gives its
// own kernel32 for any file of that name, wherever it lies (Windows does the
// like with .local folders and side-by-side redirection). The version read
// was then not that of the code that would run, and the file is refused.
TEST_F(ManagerFiles, RefusesAFileTheLoaderSwapsForAnother) {
  wchar_t temp[MAX_PATH];
  ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
  const std::wstring folder = std::wstring(temp) + L"zv-swap-" + std::to_wstring(GetCurrentProcessId());
  const std::wstring copy = folder + L"\\kernel32.dll";
  CreateDirectoryW(folder.c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(TestBinPath(kV1700).c_str(), copy.c_str(), FALSE));
  ASSERT_TRUE(ManagerFileAccepted(copy));
  HMODULE direct = LoadLibraryW(copy.c_str());
  ASSERT_NE(nullptr, direct);
  const std::wstring loadedPath = GetModulePath(direct);
  FreeLibrary(direct);
  ASSERT_NE(0, lstrcmpiW(copy.c_str(), loadedPath.c_str())) << "this loader does not swap files";

  ManagerLibrary library;
  EXPECT_FALSE(LoadTwainManager({{L"TWAIN_32.DLL", copy}}, library));
  EXPECT_EQ(nullptr, library.module);
  DeleteFileW(copy.c_str());
  RemoveDirectoryW(folder.c_str());
}

TEST_F(ManagerFiles, BuildSearchOrder) {
  wchar_t windows[MAX_PATH], system[MAX_PATH];
  ASSERT_NE(0u, GetSystemWindowsDirectoryW(windows, MAX_PATH));
  ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
  const std::wstring program = TestBinDir();
  std::vector<std::wstring> expected = {program + L"TWAIN_32.DLL",
                                        std::wstring(windows) + L"\\TWAIN_32.DLL"};
#ifdef _WIN64
  expected.push_back(program + L"TWAINDSM.DLL");
  expected.push_back(std::wstring(system) + L"\\TWAINDSM.DLL");
#endif
  std::vector<std::wstring> paths;
  for (const ManagerCandidate &candidate : DefaultManagerFiles())
    paths.push_back(candidate.path);
  EXPECT_EQ(expected, paths);
  EXPECT_EQ(paths.size(), TwainManagerFiles().size());
  SetTwainManagerFiles({Beside(kV1603)});
  ASSERT_EQ(1u, TwainManagerFiles().size());
  EXPECT_EQ(TestBinPath(kV1603), TwainManagerFiles()[0].path);
}

int g_overrideCalls = 0;
TW_UINT16 TW_CALLINGSTYLE CountingManager(TW_IDENTITY *, TW_IDENTITY *, TW_UINT32, TW_UINT16,
                                          TW_UINT16, TW_MEMREF) {
  ++g_overrideCalls;
  return TWRC_FAILURE;
}

TEST_F(ManagerFiles, OverrideReplacesEveryFile) {
  SetTwainManagerFiles({Beside(kV1603)});
  SetTwainManagerOverride(CountingManager);
  g_overrideCalls = 0;
  ScannerSession session(nullptr);
  EXPECT_EQ(nullptr, session.dsmModule.get());
  EXPECT_FALSE(Loaded(kV1603));
  EXPECT_EQ(CountingManager, session.dsmEntry);
  // OPENDSM refused: one call, no source, unavailable in state 2.
  EXPECT_EQ(1, g_overrideCalls);
  EXPECT_FALSE(session.IsAvailable());
  EXPECT_EQ(StateManagerLoaded, session.state);
  session.Shutdown();
  EXPECT_EQ(StatePreSession, session.state);
}

// A manager that keeps its source open and will not close while it does:
// the last way back to rest is to unload it and load it again. Each request
// then starts with a manager that holds nothing.
TEST_F(ManagerFiles, ManagerThatKeepsItsSourceIsLoadedAfresh) {
  SetTwainManagerFiles({Beside(kStubborn)});
  ScannerSession session(nullptr);
  ASSERT_TRUE(session.IsAvailable());
  using StateProc = int (*)();
  for (int request = 0; request < 2; ++request) {
    SCOPED_TRACE(request);
    AcquireOutcome outcome = AcquireOutcome::Delivered;
    EXPECT_FALSE(session.AcquirePage(TWPT_GRAY, 100, 0, 0, 0, false, outcome));
    EXPECT_EQ(AcquireOutcome::Failed, outcome); // the source opened, but would not be enabled
    EXPECT_EQ(StateManagerLoaded, session.state);
    EXPECT_TRUE(session.IsAvailable());
    ASSERT_NE(nullptr, session.dsmModule.get());
    auto managerState = reinterpret_cast<StateProc>(
        reinterpret_cast<void *>(GetProcAddress(session.dsmModule.get(), "TinyManagerOpen")));
    ASSERT_NE(nullptr, managerState);
    EXPECT_EQ(0, managerState()) << "the manager the session holds still has something open";
  }
  session.Shutdown();
  EXPECT_FALSE(Loaded(kStubborn));
}

} // namespace

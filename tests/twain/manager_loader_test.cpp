// Loading the source manager: the version test on real files with real
// version resources (the tiny managers built beside the tests), the search
// order, and what a session makes of each.
#include <gtest/gtest.h>

#include <cstring>

#include "app/module_path.h"
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
    EXPECT_EQ(c.version, GetFileVersion(c.file));
    EXPECT_EQ(c.accepted, ManagerFileAccepted(c.file));
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
    SetTwainManagerFiles({c.file});
    ScannerSession session(nullptr);
    EXPECT_EQ(c.available, session.IsAvailable());
    EXPECT_EQ(c.state, session.state);
    EXPECT_EQ(c.loaded, session.dsmModule.get() != nullptr);
    EXPECT_EQ(c.loaded, Loaded(c.file));
    if (c.loaded) {
      EXPECT_EQ(GetModuleHandleW(c.file), session.dsmModule.get());
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
  SetTwainManagerFiles({kMissing, kNoVersion, kV1602, kV1700, kV1603});
  ScannerSession session(nullptr);
  ASSERT_TRUE(session.IsAvailable());
  EXPECT_EQ(GetModuleHandleW(kV1700), session.dsmModule.get());
  EXPECT_FALSE(Loaded(kV1602));
  EXPECT_FALSE(Loaded(kV1603)) << "the first accepted file wins";
  session.Shutdown();
  EXPECT_FALSE(Loaded(kV1700));

  ManagerLibrary library;
  EXPECT_FALSE(LoadTwainManager({kMissing, kNoVersion, kV1602}, library));
  EXPECT_EQ(nullptr, library.module);
  EXPECT_EQ(nullptr, library.entry);
}

TEST_F(ManagerFiles, BuildSearchOrder) {
#ifdef _WIN64
  EXPECT_EQ(std::vector<std::wstring>({L"TWAIN_32.DLL", L"TWAINDSM.DLL"}), DefaultManagerFiles());
#else
  EXPECT_EQ(std::vector<std::wstring>({L"TWAIN_32.DLL"}), DefaultManagerFiles());
#endif
  EXPECT_EQ(DefaultManagerFiles(), TwainManagerFiles());
  SetTwainManagerFiles({kV1603});
  EXPECT_EQ(std::vector<std::wstring>({kV1603}), TwainManagerFiles());
}

int g_overrideCalls = 0;
TW_UINT16 TW_CALLINGSTYLE CountingManager(TW_IDENTITY *, TW_IDENTITY *, TW_UINT32, TW_UINT16,
                                          TW_UINT16, TW_MEMREF) {
  ++g_overrideCalls;
  return TWRC_FAILURE;
}

TEST_F(ManagerFiles, OverrideReplacesEveryFile) {
  SetTwainManagerFiles({kV1603});
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
  SetTwainManagerFiles({kStubborn});
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

// The built zvscanner.ds, loaded with LoadLibraryW and driven through its
// DS_Entry the way a TWAIN 2 source manager does: listing it, handing it the
// manager's entry point, opening it, forwarding the application's events,
// collecting its notifications from DAT_NULL calls.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/test_paths.h"
#include "twain/scanner_profile.h"
#include "twain/twain.h"
#include "twain/vscanner_test_support.h"

using twaintest::Narrow;

namespace {

// What the data source sent back through the manager's DSM_Entry.
struct SentBack {
  TW_UINT32 originId;
  TW_UINT32 destinationId;
  TW_UINT32 dg;
  TW_UINT16 dat;
  TW_UINT16 msg;
  bool withData;
};
std::vector<SentBack> g_sent;

TW_UINT16 TW_CALLINGSTYLE ManagerEntry(TW_IDENTITY *origin, TW_IDENTITY *destination,
                                       TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                       TW_MEMREF data) {
  g_sent.push_back({origin ? origin->Id : 0, destination ? destination->Id : 0, dg, dat, msg,
                    data != nullptr});
  return TWRC_SUCCESS;
}

class DataSource : public testing::Test {
protected:
  void SetUp() override {
    g_sent.clear();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"zv-ds-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder_.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(TestBinPath(L"vscanner\\zvscanner.ds").c_str(),
                          (folder_ + L"zvscanner.ds").c_str(), FALSE));
    window_ = CreateWindowExW(0, L"STATIC", L"manager's parent", WS_POPUP, 0, 0, 10, 10, nullptr,
                              nullptr, nullptr, nullptr);
    app_.Id = 7;
    std::strcpy(app_.ProductName, "ZVTwain");
    app_.ProtocolMajor = 1;
    app_.ProtocolMinor = 9;
  }
  void TearDown() override {
    if (module_)
      FreeLibrary(module_);
    DestroyWindow(window_);
    DeleteFileW((folder_ + L"zvscanner.ds").c_str());
    DeleteFileW((folder_ + L"vscanner.ini").c_str());
    RemoveDirectoryW(folder_.c_str());
  }

  // The source plays the INI beside it.
  void Load(const std::string &ini) {
    const std::string path = Narrow(folder_ + L"vscanner.ini");
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f);
    std::fputs(ini.c_str(), f);
    std::fclose(f);
    module_ = LoadLibraryW((folder_ + L"zvscanner.ds").c_str());
    ASSERT_NE(nullptr, module_);
    entry_ = reinterpret_cast<DSENTRYPROC>(
        reinterpret_cast<void *>(GetProcAddress(module_, "DS_Entry")));
    ASSERT_NE(nullptr, entry_);
  }

  TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    return entry_(&app_, dg, dat, msg, data);
  }

  // Lists and opens the source as the manager does, with or without
  // handing it the manager's entry point.
  TW_UINT16 Open(bool withEntryPoint) {
    TW_IDENTITY listed = {};
    EXPECT_EQ(TWRC_SUCCESS, entry_(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &listed));
    EXPECT_TRUE(listed.SupportedGroups & DF_DS2);
    listed.Id = 3;
    source_ = listed;
    if (withEntryPoint) {
      TW_ENTRYPOINT point = {};
      point.Size = sizeof point;
      point.DSM_Entry = ManagerEntry;
      EXPECT_EQ(TWRC_SUCCESS, Call(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &point));
    }
    return Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_);
  }

  // Offers the thread's messages to the source as the manager forwards
  // them, until it answers with an event or none is left; the TWMessage.
  TW_UINT16 ForwardEvents() {
    MSG message;
    for (int i = 0; i < 200; ++i) {
      if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        Sleep(5);
        continue;
      }
      TW_EVENT event = {&message, MSG_NULL};
      if (Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT)
        return event.TWMessage;
      DispatchMessageW(&message);
    }
    return 0xFFFF;
  }

  std::wstring folder_;
  HWND window_ = nullptr;
  HMODULE module_ = nullptr;
  DSENTRYPROC entry_ = nullptr;
  TW_IDENTITY app_ = {};
  TW_IDENTITY source_ = {};
};

const char kFlatbed[] = "[Source]\nPreset=Flatbed\nProductName=DS Test Flatbed\n";

} // namespace

// Listed with the INI's identity; the notification goes back through the
// manager, from the source to the application, and the event itself is
// empty; then one page by native transfer.
TEST_F(DataSource, NotifiesThroughTheManagerAndTransfersAPage) {
  Load(kFlatbed);
  ASSERT_EQ(TWRC_SUCCESS, Open(true));
  EXPECT_STREQ("DS Test Flatbed", source_.ProductName);
  EXPECT_EQ(3u, source_.Id);
  TW_USERINTERFACE ui = {0, 0, window_};
  ASSERT_EQ(TWRC_SUCCESS, Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui));
  EXPECT_EQ(MSG_NULL, ForwardEvents());
  ASSERT_EQ(1u, g_sent.size());
  EXPECT_EQ(3u, g_sent[0].originId);
  EXPECT_EQ(7u, g_sent[0].destinationId);
  EXPECT_EQ(DG_CONTROL, g_sent[0].dg);
  EXPECT_EQ(DAT_NULL, g_sent[0].dat);
  EXPECT_EQ(MSG_XFERREADY, g_sent[0].msg);
  EXPECT_FALSE(g_sent[0].withData);

  TW_IMAGEINFO info = {};
  EXPECT_EQ(TWRC_SUCCESS, Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info));
  TW_HANDLE image = nullptr;
  ASSERT_EQ(TWRC_XFERDONE, Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &image));
  ASSERT_NE(nullptr, image);
  GlobalFree(image);
  TW_PENDINGXFERS pending = {};
  EXPECT_EQ(TWRC_SUCCESS, Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending));
  EXPECT_EQ(0, pending.Count);
  EXPECT_EQ(TWRC_SUCCESS, Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui));
  EXPECT_EQ(TWRC_SUCCESS, Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_));
  // Closed: the source takes no more calls but can be opened again.
  EXPECT_EQ(TWRC_FAILURE, Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui));
  EXPECT_EQ(TWRC_SUCCESS, Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_));
  EXPECT_EQ(TWRC_SUCCESS, Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_));
}

// The notifications by behaviour, through the manager or, from a manager
// that gave no entry point, in the event itself.
TEST_F(DataSource, NotificationsWithAndWithoutTheManagersEntry) {
  struct Case {
    const char *keys;
    bool entryPoint;
    TW_UINT16 message;
  } cases[] = {
      {"", true, MSG_XFERREADY},
      {"Behaviour=CloseRequest\n", true, MSG_CLOSEDSREQ},
      {"", false, MSG_XFERREADY},
      {"Behaviour=CloseRequest\n", false, MSG_CLOSEDSREQ},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.keys) + (c.entryPoint ? " through the manager" : " in the event"));
    g_sent.clear();
    Load(std::string(kFlatbed) + c.keys);
    ASSERT_EQ(TWRC_SUCCESS, Open(c.entryPoint));
    TW_USERINTERFACE ui = {0, 0, window_};
    ASSERT_EQ(TWRC_SUCCESS, Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui));
    const TW_UINT16 inEvent = ForwardEvents();
    if (c.entryPoint) {
      EXPECT_EQ(MSG_NULL, inEvent);
      ASSERT_EQ(1u, g_sent.size());
      EXPECT_EQ(c.message, g_sent[0].msg);
    } else {
      EXPECT_EQ(c.message, inEvent);
      EXPECT_TRUE(g_sent.empty());
    }
    TW_PENDINGXFERS pending = {};
    if (c.message == MSG_XFERREADY) {
      EXPECT_EQ(TWRC_SUCCESS, Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending));
    }
    EXPECT_EQ(TWRC_SUCCESS, Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui));
    EXPECT_EQ(TWRC_SUCCESS, Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_));
    FreeLibrary(module_);
    module_ = nullptr;
  }
}

// A source that cannot be opened says why when the manager asks, as the
// manager does after a failed MSG_OPENDS; a source never opened refuses
// everything but its identity and status.
TEST_F(DataSource, RefusedOpenAndCallsOutOfSequence) {
  Load(std::string(kFlatbed) + "OpenDS=Failure\n");
  TW_USERINTERFACE ui = {0, 0, window_};
  EXPECT_EQ(TWRC_FAILURE, Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui));
  EXPECT_EQ(TWRC_FAILURE, Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_));
  TW_STATUS status = {};
  EXPECT_EQ(TWRC_SUCCESS, Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status));
  EXPECT_EQ(TWCC_SEQERROR, status.ConditionCode);
  EXPECT_EQ(TWRC_FAILURE, Open(true));
  EXPECT_EQ(TWRC_SUCCESS, Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status));
  EXPECT_EQ(TWCC_OPERATIONERROR, status.ConditionCode);
  // Asked once, the condition is gone.
  EXPECT_EQ(TWRC_SUCCESS, Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status));
  EXPECT_EQ(TWCC_SUCCESS, status.ConditionCode);
}

// The identity the manager lists is the one the combined DLL lists: the
// same ScannerId on both roads.
TEST_F(DataSource, ListsTheIniIdentity) {
  Load("[Manager]\nDefault=2\n[Source]\nPreset=Flatbed\n[Source]\nPreset=A510B7A9\n");
  TW_IDENTITY listed = {};
  ASSERT_EQ(TWRC_SUCCESS, entry_(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &listed));
  EXPECT_EQ(0xA510B7A9u, ScannerIdOf(listed));
  EXPECT_EQ(TW_UINT32(DG_CONTROL | DG_IMAGE | DF_DS2), listed.SupportedGroups);
}

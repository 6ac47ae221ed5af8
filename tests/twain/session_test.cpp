// ScannerSession against the simulated manager: expected call sequences and
// states, with real windows, the real message queue and real global memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <stdexcept>

#include "dialogs/window_utils.h"
#include "twain/session_fixture.h"

using namespace twaintest;
using twainsim::SimRule;
using Names = std::vector<std::string>;

namespace {

TEST_F(SimSessionTest, ConstructionMakesThreeCallsAndRestsInStateTwo) {
  Start(nullptr, true);
  ASSERT_TRUE(session->IsAvailable());
  EXPECT_EQ(Names({"DSM OPENDSM", "DSM GETDEFAULT", "DSM CLOSEDSM"}), Calls());
  EXPECT_EQ(StateManagerLoaded, session->state);
  EXPECT_EQ(ScannerIdOf(config.sources[0].identity), session->scannerId);
  EXPECT_EQ(std::string("Acme Scan 1"), session->sourceIdentity.ProductName);
  EXPECT_EQ(nullptr, session->dsmModule.get());
  EXPECT_EQ(TRUE, session->ownerWasEnabled);
  EXPECT_EQ(FALSE, session->userInterface.ModalUI);

  // The application identity every call carries.
  const TW_IDENTITY &app = session->appIdentity;
  EXPECT_EQ(1, app.Version.MajorNum);
  EXPECT_EQ(0, app.Version.MinorNum);
  EXPECT_EQ(TWLG_USA, app.Version.Language);
  EXPECT_EQ(TWCY_USA, app.Version.Country);
  EXPECT_EQ(1, app.ProtocolMajor);
  EXPECT_EQ(9, app.ProtocolMinor);
  EXPECT_EQ(3u, app.SupportedGroups);
  char expected[34] = "Version 1.0";
  EXPECT_EQ(0, std::memcmp(expected, app.Version.Info, 34)) << "zero-padded to 34 bytes";
  char zv[34] = "Zelvantor";
  EXPECT_EQ(0, std::memcmp(zv, app.Manufacturer, 34));
  char family[34] = "ZVTwain";
  EXPECT_EQ(0, std::memcmp(family, app.ProductFamily, 34));
  EXPECT_EQ(0, std::memcmp(family, app.ProductName, 34));
  // The manager numbered the application at MSG_OPENDSM, and every later
  // call came from that number.
  EXPECT_NE(0u, app.Id);
  for (std::size_t i = 1; i < engine->Calls().size(); ++i)
    EXPECT_EQ(app.Id, engine->Calls()[i].originId);

  // The proxy window is the parent handed to the manager.
  ASSERT_NE(nullptr, session->proxyWindow.get());
  EXPECT_EQ(session->proxyWindow.get(), engine->Calls()[0].window);
  EXPECT_EQ(session->proxyWindow.get(), engine->ParentWindow());
}

TEST_F(SimSessionTest, NoSourceInstalled) {
  config.defaultSource = -1;
  Start(nullptr, true);
  EXPECT_FALSE(session->IsAvailable());
  EXPECT_EQ(Names({"DSM OPENDSM", "DSM GETDEFAULT", "DSM CLOSEDSM"}), Calls());
  EXPECT_EQ(StateManagerLoaded, session->state);
  EXPECT_EQ(0u, session->scannerId);
  EXPECT_NE(nullptr, session->proxyWindow.get());

  // Unavailable: every protocol operation fails without a call.
  engine->ClearCalls();
  EXPECT_FALSE(session->OpenManager());
  EXPECT_FALSE(session->CloseManager());
  EXPECT_EQ(0u, session->SelectSource(0, false));
  EXPECT_EQ(0u, session->SelectSource(0, true));
  EXPECT_FALSE(session->OpenSource());
  EXPECT_FALSE(session->CloseSource());
  EXPECT_FALSE(session->EnableSource(false));
  EXPECT_FALSE(session->DisableSource());
  TW_IDENTITY id = {};
  EXPECT_FALSE(session->CallManager(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &id));
  EXPECT_FALSE(session->CallSource(DG_CONTROL, DAT_STATUS, MSG_GET, &id));
  EXPECT_TRUE(engine->Calls().empty());

  session->Shutdown();
  EXPECT_EQ(StatePreSession, session->state);
  EXPECT_EQ(nullptr, session->proxyWindow.get());
}

TEST_F(SimSessionTest, ManagerThatWillNotOpen) {
  config.openDsmRc = TWRC_FAILURE;
  Start(nullptr, true);
  EXPECT_FALSE(session->IsAvailable());
  // Nothing to close: the manager never opened.
  EXPECT_EQ(Names({"DSM OPENDSM"}), Calls());
}

TEST_F(SimSessionTest, ShutdownLeavesNothingToCall) {
  Start();
  const HWND proxy = session->proxyWindow.get();
  session->Shutdown();
  EXPECT_EQ(StatePreSession, session->state);
  EXPECT_FALSE(IsWindow(proxy));
  EXPECT_FALSE(session->OpenManager());
  EXPECT_EQ(0u, session->SelectSource(0, false));
  EXPECT_TRUE(engine->Calls().empty());
}

TEST_F(SimSessionTest, OpenCloseFamilyAsksOnlyForWhatIsNotTheCase) {
  Start();
  EXPECT_TRUE(session->CloseManager());
  EXPECT_TRUE(session->CloseSource());
  EXPECT_TRUE(session->DisableSource());
  EXPECT_TRUE(session->EndTransfer());
  EXPECT_TRUE(session->ResetTransfers());
  EXPECT_TRUE(engine->Calls().empty());

  ASSERT_TRUE(session->OpenSource());
  EXPECT_EQ(Names({"DSM OPENDSM", "DSM GETFIRST", "DSM OPENDS"}), Calls());
  EXPECT_EQ(StateSourceOpen, session->state);
  EXPECT_EQ(4, engine->SourceState());

  engine->ClearCalls();
  EXPECT_TRUE(session->OpenManager()); // state 4: no call
  EXPECT_TRUE(session->OpenSource());
  EXPECT_TRUE(engine->Calls().empty());

  ASSERT_TRUE(session->EnableSource(false));
  EXPECT_EQ(StateSourceEnabled, session->state);
  engine->ClearCalls();
  EXPECT_FALSE(session->OpenSource()); // state 5: no call, not exactly 4
  EXPECT_TRUE(session->EnableSource(false));
  EXPECT_TRUE(engine->Calls().empty());

  MSG m;
  ASSERT_TRUE(TakeNotification(m)); // keep the transfer out of the way
  ASSERT_TRUE(session->CloseManager());
  EXPECT_EQ(Names({"DS DISABLEDS", "DSM CLOSEDS", "DSM CLOSEDSM"}), Calls());
  EXPECT_EQ(StateManagerLoaded, session->state);
}

TEST_F(SimSessionTest, OpenSourceResolvesTheSourceFromScannerId) {
  twainsim::SimSource second = config.sources[0];
  second.identity = twainsim::MakeIdentity("Acme", "Scan", "Acme Scan 2");
  config.sources.insert(config.sources.begin(), second);
  config.defaultSource = 1; // "Acme Scan 1" behind "Acme Scan 2"
  Start();
  ASSERT_EQ(ScannerIdOf(config.sources[1].identity), session->scannerId);
  ASSERT_TRUE(session->OpenSource());
  EXPECT_EQ(Names({"DSM OPENDSM", "DSM GETFIRST", "DSM GETNEXT", "DSM OPENDS"}), Calls());
  EXPECT_EQ(1, engine->OpenSourceIndex());
  // The identity the manager completed is the destination from now on.
  EXPECT_EQ(102u, session->sourceIdentity.Id);
  ASSERT_TRUE(session->CloseManager());

  // Another component borrows scannerId for one query.
  const std::uint32_t own = session->scannerId;
  session->scannerId = ScannerIdOf(config.sources[0].identity);
  ASSERT_TRUE(session->OpenSource());
  EXPECT_EQ(0, engine->OpenSourceIndex());
  ASSERT_TRUE(session->CloseManager());
  session->scannerId = own;

  // A source that is gone: the stored identity is tried and the manager decides.
  session->scannerId = 0x12345678;
  engine->ClearCalls();
  EXPECT_TRUE(session->OpenSource());
  EXPECT_EQ(Names({"DSM OPENDSM", "DSM GETFIRST", "DSM GETNEXT", "DSM GETNEXT", "DSM OPENDS"}),
            Calls());
  EXPECT_EQ(std::string("Acme Scan 2"), engine->Calls().back().productName);
}

TEST_F(SimSessionTest, EnableAnswers) {
  struct {
    TW_UINT16 rc;
    bool enabled;
  } cases[] = {{TWRC_SUCCESS, true},
               {TWRC_CHECKSTATUS, true},
               {TWRC_CANCEL, false},
               {TWRC_FAILURE, false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.rc);
    config.sources[0].behaviour.enableRc = c.rc;
    config.sources[0].behaviour.outcome = twainsim::SimOutcome::Silent;
    Start();
    ASSERT_TRUE(session->OpenSource());
    EXPECT_EQ(c.enabled, session->EnableSource(true));
    EXPECT_EQ(c.enabled ? StateSourceEnabled : StateSourceOpen, session->state);
    const auto &enable = engine->Calls().back();
    EXPECT_EQ("DS ENABLEDS", enable.Name());
    EXPECT_EQ(1, enable.showUI);
    EXPECT_EQ(session->proxyWindow.get(), enable.window);
    EXPECT_EQ(c.enabled ? 5 : 4, engine->SourceState());
    ASSERT_TRUE(session->CloseManager());
    TearDown();
  }
}

TEST_F(SimSessionTest, EndTransferCountDecidesBetweenSixAndFive) {
  struct {
    TW_UINT16 count;
    SessionState after;
  } cases[] = {{0xffff, StateTransferReady}, {1, StateTransferReady}, {0, StateSourceEnabled}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.count);
    config.sources[0].behaviour.imageCount = 2;
    config.sources[0].behaviour.endXferCounts = {c.count};
    Start();
    ReachTransferring();
    ASSERT_NE(nullptr, session->imageHandle);
    EXPECT_EQ(session->imageHandle, session->TakeImage().get());
    EXPECT_TRUE(session->EndTransfer());
    EXPECT_EQ(c.after, session->state);
    EXPECT_EQ(c.count, session->pendingTransfers.Count);
    EXPECT_EQ("DS ENDXFER", Calls().back());
    TearDown();
  }
}

TEST_F(SimSessionTest, NativeTransferAnswers) {
  struct {
    TW_UINT16 rc;
    SessionState after;
    bool image;
  } cases[] = {{TWRC_XFERDONE, StateTransferring, true},
               {TWRC_CANCEL, StateTransferring, false},
               {TWRC_FAILURE, StateTransferReady, false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.rc);
    config.sources[0].behaviour.nativeXferRc = c.rc;
    Start();
    ReachTransferReady();
    session->imageHandle = reinterpret_cast<HGLOBAL>(1); // must be overwritten
    session->TransferNative();
    EXPECT_EQ(c.after, session->state);
    EXPECT_EQ(c.image, session->imageHandle != nullptr);
    // The session holds the image of a completed transfer until taken.
    EXPECT_EQ(session->imageHandle, session->TakeImage().get());
    EXPECT_EQ(0u, engine->LiveImages());
    TearDown();
  }
}

TEST_F(SimSessionTest, CloseDownOrderFromStateSeven) {
  struct {
    TW_UINT16 images;
    Names expected;
  } cases[] = {
      {2, {"DS ENDXFER", "DS RESET", "DS DISABLEDS", "DSM CLOSEDS", "DSM CLOSEDSM"}},
      {1, {"DS ENDXFER", "DS DISABLEDS", "DSM CLOSEDS", "DSM CLOSEDSM"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.images);
    config.sources[0].behaviour.imageCount = c.images;
    Start();
    ReachTransferring();
    EXPECT_EQ(session->imageHandle, session->TakeImage().get());
    engine->ClearCalls();
    EXPECT_TRUE(session->CloseManager());
    EXPECT_EQ(c.expected, Calls());
    EXPECT_EQ(StateManagerLoaded, session->state);
    EXPECT_EQ(2, engine->ManagerState());
    TearDown();
  }
}

TEST_F(SimSessionTest, FailedEndTransferStaysInSevenUntilTheSourceAgrees) {
  config.rules.push_back({true, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, twainsim::kAnyCap,
                          TWRC_FAILURE, 1});
  Start();
  ReachTransferring();
  EXPECT_EQ(session->imageHandle, session->TakeImage().get());
  EXPECT_FALSE(session->EndTransfer());
  EXPECT_EQ(StateTransferring, session->state);
  EXPECT_TRUE(session->EndTransfer());
  EXPECT_EQ(StateSourceEnabled, session->state);
}

TEST_F(SimSessionTest, OneAcquisitionThroughEveryState) {
  Start();
  std::vector<int> states;
  ASSERT_TRUE(session->OpenManager());
  states.push_back(session->state);
  ASSERT_TRUE(session->OpenSource());
  states.push_back(session->state);
  ASSERT_TRUE(session->EnableSource(false));
  states.push_back(session->state);
  // The source's MSG_XFERREADY arrives through the queue; the transfer runs
  // inside ProcessEvent.
  MSG m;
  ASSERT_TRUE(TakeNotification(m));
  EXPECT_TRUE(session->ProcessEvent(&m));
  EXPECT_TRUE(session->transferDone);
  states.push_back(session->state);
  ASSERT_NE(nullptr, session->imageHandle);
  EXPECT_EQ(300, session->imageInfo.XResolution.Whole);
  ASSERT_TRUE(session->CloseManager());
  states.push_back(session->state);
  EXPECT_EQ(std::vector<int>({3, 4, 5, 5, 2}), states);
  EXPECT_EQ(Names({"DSM OPENDSM", "DSM GETFIRST", "DSM OPENDS", "DS ENABLEDS", "DS PROCESSEVENT",
                   "DS IMAGEINFO GET", "DS IMAGENATIVEXFER GET", "DS ENDXFER", "DS DISABLEDS",
                   "DSM CLOSEDS", "DSM CLOSEDSM"}),
            Calls());
  EXPECT_EQ(1u, engine->LiveImages());
  EXPECT_EQ(session->imageHandle, session->TakeImage().get());
  EXPECT_EQ(0u, engine->LiveImages());
}

TEST_F(SimSessionTest, ForeignMessagesAreDispatchedNotSwallowed) {
  config.sources[0].behaviour.outcome = twainsim::SimOutcome::Silent;
  Start();
  ASSERT_TRUE(session->EnableSource(false));
  MSG m = {};
  m.hwnd = session->proxyWindow.get();
  m.message = WM_NULL;
  EXPECT_FALSE(session->ProcessEvent(&m));
  EXPECT_EQ(StateSourceEnabled, session->state);
  EXPECT_EQ("DS PROCESSEVENT", engine->Calls().back().Name());
  EXPECT_EQ(TWRC_NOTDSEVENT, engine->Calls().back().rc);
  // Below state 5 nothing is offered to the source.
  ASSERT_TRUE(session->DisableSource());
  engine->ClearCalls();
  EXPECT_FALSE(session->ProcessEvent(&m));
  EXPECT_TRUE(engine->Calls().empty());
}

TEST_F(SimSessionTest, CloseRequestDisablesTheSource) {
  config.sources[0].behaviour.outcome = twainsim::SimOutcome::CloseRequest;
  Start();
  ASSERT_TRUE(session->EnableSource(true));
  engine->ClearCalls();
  session->PumpMessages();
  EXPECT_EQ(StateSourceOpen, session->state);
  EXPECT_EQ(Names({"DS PROCESSEVENT", "DS DISABLEDS"}), Calls());
  for (const auto &call : engine->Calls())
    if (call.rc == TWRC_DSEVENT) {
      EXPECT_EQ(MSG_CLOSEDSREQ, call.eventMessage);
    }
  EXPECT_EQ(nullptr, session->imageHandle);
}

TEST_F(SimSessionTest, TransferReadyWhileResetTransfersPumps) {
  Start();
  ASSERT_TRUE(session->EnableSource(false));
  engine->ClearCalls();
  // State 5, MSG_XFERREADY waiting in the queue: the pump inside
  // ResetTransfers delivers it and the transfer runs there.
  EXPECT_TRUE(session->ResetTransfers());
  EXPECT_EQ(Names({"DS PROCESSEVENT", "DS IMAGEINFO GET", "DS IMAGENATIVEXFER GET", "DS ENDXFER"}),
            Calls());
  EXPECT_EQ(StateSourceEnabled, session->state);
  ASSERT_NE(nullptr, session->imageHandle);
  EXPECT_EQ(session->imageHandle, session->TakeImage().get());
}

TEST_F(SimSessionTest, DelayedTransferReadyArrivesThroughATimer) {
  config.sources[0].behaviour.notifyDelayMs = 50;
  Start();
  ASSERT_TRUE(session->EnableSource(false));
  // Nothing is queued yet; wait for the timer the way the acquisition does.
  MSG m;
  int messages = 0;
  while (session->state == StateSourceEnabled && !session->transferDone && messages < 1000 &&
         GetMessageW(&m, nullptr, 0, 0) > 0) {
    ++messages;
    if (!session->ProcessEvent(&m)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
  EXPECT_TRUE(session->transferDone);
  ASSERT_NE(nullptr, session->imageHandle);
  EXPECT_EQ(session->imageHandle, session->TakeImage().get());
  session->transferDone = false;
}

TEST_F(SimSessionTest, SelectSourceByIdAndUnknownId) {
  twainsim::SimSource second = config.sources[0];
  second.identity = twainsim::MakeIdentity("Other", "Flat", "Other Flat 9");
  config.sources.push_back(second);
  Start();
  const std::uint32_t first = session->scannerId;
  const TW_IDENTITY firstIdentity = session->sourceIdentity;
  const std::uint32_t wanted = ScannerIdOf(config.sources[1].identity);

  EXPECT_EQ(wanted, session->SelectSource(wanted, false));
  EXPECT_EQ(Names({"DSM OPENDSM", "DSM GETFIRST", "DSM GETNEXT", "DSM CLOSEDSM"}), Calls());
  EXPECT_EQ(wanted, session->scannerId);
  EXPECT_EQ(std::string("Other Flat 9"), session->sourceIdentity.ProductName);

  session->SelectSource(first, false);
  engine->ClearCalls();
  EXPECT_EQ(0u, session->SelectSource(0x0badf00d, false));
  EXPECT_EQ(Names({"DSM OPENDSM", "DSM GETFIRST", "DSM GETNEXT", "DSM GETNEXT", "DSM CLOSEDSM"}),
            Calls());
  EXPECT_EQ(first, session->scannerId);
  EXPECT_EQ(0, std::memcmp(&firstIdentity, &session->sourceIdentity, sizeof firstIdentity));
  EXPECT_EQ(StateManagerLoaded, session->state);

  // With the manager already open, it stays open.
  ASSERT_TRUE(session->OpenManager());
  engine->ClearCalls();
  EXPECT_EQ(wanted, session->SelectSource(wanted, false));
  EXPECT_EQ(Names({"DSM GETFIRST", "DSM GETNEXT"}), Calls());
  EXPECT_EQ(StateManagerOpen, session->state);
}

TEST_F(SimSessionTest, UserSelectChosenAndCancelled) {
  twainsim::SimSource second = config.sources[0];
  second.identity = twainsim::MakeIdentity("Other", "Flat", "Other Flat 9");
  config.sources.push_back(second);
  config.userSelect = 1;
  Start();
  const std::uint32_t first = session->scannerId;
  EXPECT_EQ(ScannerIdOf(config.sources[1].identity), session->SelectSource(0, true));
  EXPECT_EQ(Names({"DSM OPENDSM", "DSM USERSELECT", "DSM CLOSEDSM"}), Calls());

  session->SelectSource(first, false);
  engine->Config().userSelect = -1; // the user cancels the dialog
  engine->ClearCalls();
  const TW_IDENTITY before = session->sourceIdentity;
  EXPECT_EQ(0u, session->SelectSource(0, true));
  EXPECT_EQ(Names({"DSM OPENDSM", "DSM USERSELECT", "DSM CLOSEDSM"}), Calls());
  EXPECT_EQ(TWRC_CANCEL, engine->Calls()[1].rc);
  EXPECT_EQ(first, session->scannerId);
  EXPECT_EQ(0, std::memcmp(&before, &session->sourceIdentity, sizeof before));
}

// A manager that never ends its list: the listing stops on its own.
int g_listed = 0;
TW_UINT16 TW_CALLINGSTYLE EndlessManager(TW_IDENTITY *, TW_IDENTITY *, TW_UINT32, TW_UINT16 dat,
                                         TW_UINT16 msg, TW_MEMREF data) {
  if (dat == DAT_IDENTITY && data != nullptr) {
    auto *id = static_cast<TW_IDENTITY *>(data);
    *id = twainsim::MakeIdentity("Loop", "Loop", "Loop");
    if (msg == MSG_GETFIRST || msg == MSG_GETNEXT)
      ++g_listed;
  }
  return TWRC_SUCCESS;
}

TEST(SessionWithOwnManager, EndlessSourceListIsCut) {
  ScannerSession session(nullptr, EndlessManager);
  ASSERT_TRUE(session.IsAvailable());
  g_listed = 0;
  EXPECT_EQ(0u, session.SelectSource(0x0badf00d, false));
  EXPECT_EQ(1024, g_listed);
  EXPECT_EQ(StateManagerLoaded, session.state);
  // Looking up a profile walks the same list and stops at the same count.
  g_listed = 0;
  ScannerProfile profile;
  EXPECT_FALSE(session.GetScannerProfile(0x0badf00d, profile));
  EXPECT_EQ(1024, g_listed);
  EXPECT_STREQ(L"Loop", profile.ProductName);
  EXPECT_EQ(StateManagerLoaded, session.state);
  session.Shutdown();
}

// A careless manager: accepts everything, announces a transfer, never
// fills TW_PENDINGXFERS.Count and scribbles on a refused identity.
TW_UINT16 TW_CALLINGSTYLE CarelessManager(TW_IDENTITY *, TW_IDENTITY *, TW_UINT32 dg,
                                          TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (dat == DAT_EVENT && msg == MSG_PROCESSEVENT) {
    static_cast<TW_EVENT *>(data)->TWMessage = MSG_XFERREADY;
    return TWRC_DSEVENT;
  }
  if (dg == DG_IMAGE && dat == DAT_IMAGENATIVEXFER)
    return TWRC_XFERDONE;
  if (dat == DAT_IDENTITY && msg == MSG_OPENDS) {
    std::memset(data, 0x5a, sizeof(TW_IDENTITY));
    return TWRC_FAILURE;
  }
  if (dat == DAT_IDENTITY && msg == MSG_GETDEFAULT)
    *static_cast<TW_IDENTITY *>(data) = twainsim::MakeIdentity("Careless", "C", "Careless");
  return TWRC_SUCCESS;
}

TEST(SessionWithOwnManager, CarelessManager) {
  ScannerSession session(nullptr, CarelessManager);
  ASSERT_TRUE(session.IsAvailable());
  // A refused MSG_OPENDS leaves the stored identity as it was.
  const TW_IDENTITY before = session.sourceIdentity;
  EXPECT_FALSE(session.OpenSource());
  EXPECT_EQ(0, std::memcmp(&before, &session.sourceIdentity, sizeof before));
  EXPECT_EQ(StateManagerOpen, session.state);

  // Count left alone by the source means no further image, whatever the
  // field held before.
  session.state = StateSourceEnabled;
  MSG m = {};
  TW_EVENT event = {&m, MSG_NULL};
  ASSERT_TRUE(session.CallSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event));
  ASSERT_EQ(StateTransferReady, session.state);
  session.TransferNative();
  ASSERT_EQ(StateTransferring, session.state);
  session.pendingTransfers.Count = 5;
  EXPECT_TRUE(session.EndTransfer());
  EXPECT_EQ(StateSourceEnabled, session.state);
  session.state = StateManagerOpen;
  session.CloseManager();
  session.Shutdown();
}

TEST(SessionWithOwnManager, NullEntryIsUnavailable) {
  ScannerSession session(nullptr, nullptr);
  EXPECT_FALSE(session.IsAvailable());
  EXPECT_EQ(StatePreSession, session.state);
  EXPECT_EQ(nullptr, session.proxyWindow.get());
}

// Records, during MSG_USERSELECT, how the owner and the proxy looked.
struct DuringSelect {
  HWND owner = nullptr;
  HWND proxy = nullptr;
  bool ownerEnabled = false;
  bool proxyVisible = false;
  bool seen = false;
} g_duringSelect;

TW_UINT16 TW_CALLINGSTYLE WatchingEntry(TW_IDENTITY *origin, TW_IDENTITY *destination,
                                        TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (dat == DAT_IDENTITY && msg == MSG_USERSELECT) {
    g_duringSelect.seen = true;
    g_duringSelect.ownerEnabled = g_duringSelect.owner && IsWindowEnabled(g_duringSelect.owner);
    g_duringSelect.proxyVisible = IsWindowVisible(g_duringSelect.proxy) != FALSE;
  }
  return twainsim::SimDsmEntry(origin, destination, dg, dat, msg, data);
}

TEST_F(SimSessionTest, BusyWindowDuringUserSelect) {
  OwnerWindow owner;
  Start(owner.hwnd, false, WatchingEntry);
  ASSERT_TRUE(session->IsAvailable());
  EXPECT_EQ(owner.hwnd, GetParent(session->proxyWindow.get()));
  EXPECT_FALSE(IsWindowVisible(session->proxyWindow.get()));

  g_duringSelect = DuringSelect();
  g_duringSelect.owner = owner.hwnd;
  g_duringSelect.proxy = session->proxyWindow.get();
  session->SelectSource(0, true);
  ASSERT_TRUE(g_duringSelect.seen);
  EXPECT_FALSE(g_duringSelect.ownerEnabled);
  EXPECT_TRUE(g_duringSelect.proxyVisible);
  EXPECT_TRUE(IsWindowEnabled(owner.hwnd));
  EXPECT_FALSE(IsWindowVisible(session->proxyWindow.get()));

  // An owner that was disabled before stays disabled.
  EnableWindow(owner.hwnd, FALSE);
  g_duringSelect.seen = false;
  session->SelectSource(0, true);
  EXPECT_TRUE(g_duringSelect.seen);
  EXPECT_FALSE(IsWindowEnabled(owner.hwnd));
  EnableWindow(owner.hwnd, TRUE);

  // Shutdown hands the focus back to the owner.
  session->Shutdown();
  EXPECT_EQ(owner.hwnd, GetFocus());
}

TEST_F(SimSessionTest, SessionWithoutOwner) {
  OwnerWindow bystander;
  Start(nullptr, false, WatchingEntry);
  ASSERT_TRUE(session->IsAvailable());
  ASSERT_NE(nullptr, session->proxyWindow.get());
  EXPECT_EQ(nullptr, GetParent(session->proxyWindow.get()));
  // Still the manager's parent.
  EXPECT_EQ(session->proxyWindow.get(), engine->ParentWindow());

  g_duringSelect = DuringSelect();
  g_duringSelect.owner = bystander.hwnd;
  g_duringSelect.proxy = session->proxyWindow.get();
  session->SelectSource(0, true);
  ASSERT_TRUE(g_duringSelect.seen);
  EXPECT_FALSE(g_duringSelect.proxyVisible);
  EXPECT_TRUE(g_duringSelect.ownerEnabled) << "no window is disabled";
  session->ShowBusyWindow();
  EXPECT_FALSE(IsWindowVisible(session->proxyWindow.get()));
  session->HideBusyWindow();
  EXPECT_TRUE(IsWindowEnabled(bystander.hwnd));
}

TEST_F(SimSessionTest, InvisibleOwnerIsNotDisabled) {
  OwnerWindow owner(false);
  Start(owner.hwnd);
  session->ShowBusyWindow();
  EXPECT_TRUE(IsWindowEnabled(owner.hwnd));
  EXPECT_FALSE(IsWindowVisible(session->proxyWindow.get()));
  session->HideBusyWindow();
  EXPECT_TRUE(IsWindowEnabled(owner.hwnd));
}

TEST(ProxyWindow, CaptionByThreadLocale) {
  struct {
    LANGID language;
    const wchar_t *caption;
  } cases[] = {
      {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), L"Scannen..."},
      {MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN_SWISS), L"Scannen..."},
      {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), L"\u6b63\u5728\u626b\u63cf..."},
      {MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), L"\u6b63\u5728\u626b\u63cf..."},
      {MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), L"Scanning..."},
      {MAKELANGID(LANG_GREEK, SUBLANG_DEFAULT), L"Scanning..."},
      {MAKELANGID(LANG_SPANISH, SUBLANG_SPANISH_MODERN), L"Scanning..."},
  };
  const LCID saved = GetThreadLocale();
  for (const auto &c : cases) {
    const LCID locale = MAKELCID(c.language, SORT_DEFAULT);
    EXPECT_STREQ(c.caption, ProxyWindowCaption(locale));
    // The real window takes it from the thread locale.
    if (!SetThreadLocale(locale))
      continue;
    SimConfig config = OneScanner();
    SimEngine engine(config);
    twainsim::InstallEngine(&engine);
    ScannerSession session(nullptr, twainsim::SimDsmEntry);
    EXPECT_EQ(std::wstring(c.caption), GetWindowTextString(session.proxyWindow.get()));
    session.Shutdown();
    twainsim::InstallEngine(nullptr);
  }
  SetThreadLocale(saved);
}

TEST(ProxyWindow, ClassAndShape) {
  SimConfig config = OneScanner();
  SimEngine engine(config);
  twainsim::InstallEngine(&engine);
  ScannerSession session(nullptr, twainsim::SimDsmEntry);
  HWND proxy = session.proxyWindow.get();
  ASSERT_NE(nullptr, proxy);
  EXPECT_EQ(L"ZVTWAIN_Proxy_Window", GetWindowClassName(proxy));
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"ZVTWAIN_Proxy_Window", &wc));
  EXPECT_EQ(ProxyWindowProc, wc.lpfnWndProc);
  EXPECT_EQ(LoadCursorW(nullptr, IDC_WAIT), wc.hCursor);
  EXPECT_EQ(reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1)), wc.hbrBackground);
  EXPECT_EQ(0u, wc.style);
  const LONG style = GetWindowLongW(proxy, GWL_STYLE);
  EXPECT_EQ(LONG(WS_POPUP | WS_CAPTION), style & LONG(WS_POPUP | WS_CAPTION | WS_CHILD));
  EXPECT_FALSE(IsWindowVisible(proxy));
  RECT r;
  GetWindowRect(proxy, &r);
  EXPECT_EQ(200, r.right - r.left);
  EXPECT_EQ(100, r.bottom - r.top);
  // Centred on the desktop.
  RECT desktop;
  GetWindowRect(GetDesktopWindow(), &desktop);
  EXPECT_EQ(desktop.left + ((desktop.right - desktop.left) - 200) / 2, r.left);
  EXPECT_EQ(desktop.top + ((desktop.bottom - desktop.top) - 100) / 2, r.top);
  // A second session in the same process registers nothing new and works.
  ScannerSession other(nullptr, twainsim::SimDsmEntry);
  EXPECT_NE(nullptr, other.proxyWindow.get());
  other.Shutdown();
  session.Shutdown();
  twainsim::InstallEngine(nullptr);
}

TEST(ProxyWindow, CenterWindowOnOwner) {
  OwnerWindow owner; // 600 x 400 at 100, 100
  HWND popup = CreateWindowExW(0, kOwnerWindowClass, L"popup", WS_POPUP, 0, 0, 201, 101, owner.hwnd,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(nullptr, popup);
  CenterWindow(popup);
  RECT o, p;
  GetWindowRect(owner.hwnd, &o);
  GetWindowRect(popup, &p);
  EXPECT_EQ(o.left + ((o.right - o.left) - 201) / 2, p.left);
  EXPECT_EQ(o.top + ((o.bottom - o.top) - 101) / 2, p.top);
  EXPECT_EQ(201, p.right - p.left);
  DestroyWindow(popup);
}

// A dialog template in memory: one edit control that takes the focus.
struct alignas(4) DialogTemplate {
  DLGTEMPLATE dlg;
  WORD menu, windowClass, title; // the item follows at offset 24, DWORD-aligned
  DLGITEMTEMPLATE item;
  WORD itemClassFF, itemClass, itemTitle, itemData;
};
static_assert(offsetof(DialogTemplate, item) == 24, "dialog items start DWORD-aligned");

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

TEST_F(SimSessionTest, ModalDialogOfTheSourceMovesTheProxyAside) {
  OwnerWindow owner;
  Start(owner.hwnd);
  HWND proxy = session->proxyWindow.get();
  ShowWindow(proxy, SW_SHOW);
  DrainQueue();

  DialogTemplate t = {};
  t.dlg.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
  t.dlg.cdit = 1;
  t.dlg.cx = 120;
  t.dlg.cy = 60;
  t.item.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_LEFT;
  t.item.x = 5;
  t.item.y = 5;
  t.item.cx = 80;
  t.item.cy = 12;
  t.item.id = 100;
  t.itemClassFF = 0xffff;
  t.itemClass = 0x0081; // edit
  HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), &t.dlg, proxy,
                                           PlainDialogProc, 0);
  ASSERT_NE(nullptr, dialog);
  SetWindowPos(dialog, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(dialog, SW_SHOW);
  SetFocus(GetDlgItem(dialog, 100));
  ASSERT_EQ(dialog, GetParent(GetFocus()));

  // What a modal dialog does to its owner.
  EnableWindow(proxy, FALSE);
  DrainQueue();
  EXPECT_FALSE(IsWindowVisible(proxy));
  RECT d, p;
  GetWindowRect(dialog, &d);
  GetWindowRect(proxy, &p);
  EXPECT_EQ(p.left + ((p.right - p.left) - (d.right - d.left)) / 2, d.left);
  EXPECT_EQ(p.top + ((p.bottom - p.top) - (d.bottom - d.top)) / 2, d.top);

  EnableWindow(proxy, TRUE);
  DrainQueue();
  EXPECT_TRUE(IsWindowVisible(proxy));
  DestroyWindow(dialog);
  ShowWindow(proxy, SW_HIDE);
}

// ---- sources that will not step down -------------------------------------------

// Left by hand in each state, with the source refusing one step of the way
// down for good: ReturnToRest still reaches rest, each step tried once from
// where the session stands, and the manager closes what its source would not.
TEST_F(SimSessionTest, ReturnToRestGetsPastRefusedSteps) {
  struct Case {
    const char *what;
    bool toSource;
    TW_UINT16 dat, msg;
    int reach; // 5, 6 or 7
    Names tail;
  } cases[] = {
      {"MSG_ENDXFER refused in state 7", true, DAT_PENDINGXFERS, MSG_ENDXFER, 7,
       {"DS ENDXFER", "DS RESET", "DS DISABLEDS", "DSM CLOSEDS", "DSM CLOSEDSM"}},
      {"MSG_RESET refused in state 6", true, DAT_PENDINGXFERS, MSG_RESET, 6,
       {"DS RESET", "DS DISABLEDS", "DSM CLOSEDS", "DSM CLOSEDSM"}},
      {"MSG_DISABLEDS refused in state 5", true, DAT_USERINTERFACE, MSG_DISABLEDS, 5,
       {"DS DISABLEDS", "DSM CLOSEDS", "DSM CLOSEDSM"}},
      {"MSG_CLOSEDS refused in state 5", false, DAT_IDENTITY, MSG_CLOSEDS, 5,
       {"DS DISABLEDS", "DSM CLOSEDS", "DSM CLOSEDSM"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    config.closeDsmClosesSources = true;
    config.sources[0].behaviour.outcome =
        c.reach == 5 ? twainsim::SimOutcome::Silent : twainsim::SimOutcome::Deliver;
    sequenceErrorsExpected = true;
    Start();
    if (c.reach == 5) {
      ASSERT_TRUE(session->EnableSource(false));
    } else {
      ReachTransferReady();
    }
    if (c.reach == 7) {
      session->TransferNative();
      ASSERT_EQ(StateTransferring, session->state);
    }
    engine->SetRules({{c.toSource, DG_CONTROL, c.dat, c.msg, twainsim::kAnyCap, TWRC_FAILURE, -1}});
    engine->ClearCalls();
    session->ReturnToRest();
    EXPECT_EQ(StateManagerLoaded, session->state);
    EXPECT_EQ(2, engine->ManagerState());
    EXPECT_EQ(3, engine->SourceState());
    Names calls = Calls();
    // The pumps between the steps may offer the source what the queue holds.
    calls.erase(std::remove(calls.begin(), calls.end(), "DS PROCESSEVENT"), calls.end());
    EXPECT_EQ(c.tail, calls);
    // The image a transfer left untaken went with the operation.
    EXPECT_EQ(0u, engine->LiveImages());
    engine->SetRules({});
    config.closeDsmClosesSources = false;
    config.sources[0].behaviour = twainsim::SimBehaviour();
    TearDown();
  }
}

// A session given its DSM_Entry has no library to unload: with a manager
// that will not even close, the conversation is forgotten and the session
// rests; the next request starts from the beginning.
TEST_F(SimSessionTest, ManagerThatWillNotCloseIsForgotten) {
  config.sources[0].behaviour.outcome = twainsim::SimOutcome::Silent;
  Start();
  ASSERT_TRUE(session->OpenSource());
  engine->SetRules({{false, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, twainsim::kAnyCap,
                     TWRC_FAILURE, 1},
                    {false, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, twainsim::kAnyCap,
                     TWRC_FAILURE, 1}});
  session->ReturnToRest();
  EXPECT_EQ(StateManagerLoaded, session->state);
  EXPECT_TRUE(session->IsAvailable());
  // The simulated manager still holds its source; closed here so that the
  // fixture's checks see it at rest.
  EXPECT_EQ(3, engine->ManagerState());
  TW_IDENTITY identity = session->sourceIdentity;
  EXPECT_EQ(TWRC_SUCCESS, twainsim::SimDsmEntry(&session->appIdentity, nullptr, DG_CONTROL,
                                                DAT_IDENTITY, MSG_CLOSEDS, &identity));
  HWND parent = session->proxyWindow.get();
  EXPECT_EQ(TWRC_SUCCESS, twainsim::SimDsmEntry(&session->appIdentity, nullptr, DG_CONTROL,
                                                DAT_PARENT, MSG_CLOSEDSM, &parent));
}

TEST_F(SimSessionTest, ShutdownClosesAnEnabledSourceBeforeTheManagerGoes) {
  config.sources[0].behaviour.outcome = twainsim::SimOutcome::Silent;
  Start();
  ASSERT_TRUE(session->EnableSource(false));
  engine->ClearCalls();
  session->Shutdown();
  EXPECT_EQ(Names({"DS DISABLEDS", "DSM CLOSEDS", "DSM CLOSEDSM"}), Calls());
  EXPECT_EQ(3, engine->SourceState());
  EXPECT_EQ(2, engine->ManagerState());
  EXPECT_EQ(StatePreSession, session->state);
}

// A manager built in C++ that throws: its call failed, nothing more.
TW_UINT16 TW_CALLINGSTYLE ThrowingAtOpenDs(TW_IDENTITY *origin, TW_IDENTITY *destination,
                                           TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                           TW_MEMREF data) {
  if (dat == DAT_IDENTITY && msg == MSG_OPENDS)
    throw std::runtime_error("a manager's own fault");
  return twainsim::SimDsmEntry(origin, destination, dg, dat, msg, data);
}

TEST_F(SimSessionTest, ManagerThatThrowsFailsItsCall) {
  OwnerWindow owner;
  Start(owner.hwnd, false, ThrowingAtOpenDs);
  AcquireOutcome outcome = AcquireOutcome::Delivered;
  EXPECT_FALSE(session->AcquirePage(TWPT_GRAY, 100, 0, 0, 0, false, outcome));
  EXPECT_EQ(AcquireOutcome::Failed, outcome);
  EXPECT_EQ(StateManagerLoaded, session->state);
  EXPECT_TRUE(IsWindowEnabled(owner.hwnd));
  EXPECT_EQ(Names({"DSM OPENDSM", "DSM GETFIRST", "DSM CLOSEDSM"}), Calls());
}

// The busy window is a state pair: an exception inside it still restores
// the owner and hides the window.
TEST_F(SimSessionTest, BusyWindowScopeEndsOnEveryRoadOut) {
  OwnerWindow owner;
  Start(owner.hwnd);
  try {
    const ScannerSession::BusyWindowScope busy(*session);
    EXPECT_FALSE(IsWindowEnabled(owner.hwnd));
    EXPECT_TRUE(IsWindowVisible(session->proxyWindow.get()));
    throw std::bad_alloc();
  } catch (const std::bad_alloc &) {
  }
  EXPECT_TRUE(IsWindowEnabled(owner.hwnd));
  EXPECT_FALSE(IsWindowVisible(session->proxyWindow.get()));
}

} // namespace

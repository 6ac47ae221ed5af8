// What the user can do to a session that is busy: close the "Scanning..."
// window, or start a second operation through a click that was queued
// while the session pumped messages. Real windows, the real message queue.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "twain/scanner_profile.h"
#include "twain/session_fixture.h"

using namespace twaintest;
using Names = std::vector<std::string>;

namespace {

bool Contains(const Names &names, const std::string &name) {
  for (const std::string &n : names)
    if (n == name)
      return true;
  return false;
}

// ---- closing the proxy window ------------------------------------------------

// How the user closes a window: each is posted to the proxy as soon as the
// source is enabled, so that the wait for the page receives it.
enum class Gesture { None, CloseMessage, CloseCommand, AltF4, CloseBox };
Gesture g_gesture = Gesture::None;

// The close box: the point of the caption that hit-tests as HTCLOSE,
// clicked with the real mouse. False when the window has none.
bool ClickCloseBox(HWND window) {
  RECT r = {};
  GetWindowRect(window, &r);
  const int band = GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYFRAME) + 4;
  for (int y = r.top; y < r.top + band && y < r.bottom; ++y)
    for (int x = r.right - 1; x >= r.left; --x) {
      if (SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y)) != HTCLOSE)
        continue;
      SetCursorPos(x, y);
      INPUT click[2] = {};
      click[0].type = click[1].type = INPUT_MOUSE;
      click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
      click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
      SendInput(2, click, sizeof(INPUT));
      return true;
    }
  return false;
}
bool g_closeBoxFound = false;

void Perform(Gesture gesture, HWND window) {
  switch (gesture) {
  case Gesture::CloseBox:
    g_closeBoxFound = ClickCloseBox(window);
    break;
  case Gesture::CloseMessage:
    PostMessageW(window, WM_CLOSE, 0, 0);
    break;
  case Gesture::CloseCommand: // the system menu's Close
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    break;
  case Gesture::AltF4: // the context code (bit 29) says Alt is down
    PostMessageW(window, WM_SYSKEYDOWN, VK_F4, LPARAM(1) | (LPARAM(1) << 29));
    break;
  case Gesture::None:
    break;
  }
}

TW_UINT16 TW_CALLINGSTYLE ClosingEntry(TW_IDENTITY *origin, TW_IDENTITY *destination,
                                       TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                       TW_MEMREF data) {
  const TW_UINT16 rc = twainsim::SimDsmEntry(origin, destination, dg, dat, msg, data);
  if (dat == DAT_USERINTERFACE && msg == MSG_ENABLEDS)
    Perform(g_gesture, static_cast<HWND>(static_cast<TW_USERINTERFACE *>(data)->hParent));
  return rc;
}

// Without the session's own way out, a source that never answers would keep
// a failing test waiting for ever: the wait ends on WM_QUIT. The wait
// consumes that message, so the timer also leaves a mark the test checks.
bool g_safetyTimerFired = false;
void CALLBACK QuitTheWait(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  g_safetyTimerFired = true;
  PostQuitMessage(0);
}

TEST_F(SimSessionTest, ClosingTheBusyWindowCancelsTheScanAndKeepsTheWindow) {
  const struct {
    const char *what;
    Gesture gesture;
  } cases[] = {{"WM_CLOSE", Gesture::CloseMessage},
               {"SC_CLOSE", Gesture::CloseCommand},
               {"Alt+F4", Gesture::AltF4},
               {"close box", Gesture::CloseBox}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    OwnerWindow owner;
    // A source that neither transfers nor asks to be closed.
    config.sources[0].behaviour.outcome = twainsim::SimOutcome::Silent;
    Start(owner.hwnd, false, ClosingEntry);
    HWND proxy = session->proxyWindow.get();
    // The system menu, which brings the close box, holds Close alone.
    HMENU menu = GetSystemMenu(proxy, FALSE);
    ASSERT_NE(nullptr, menu);
    EXPECT_EQ(1, GetMenuItemCount(menu));
    EXPECT_EQ(UINT(SC_CLOSE), GetMenuItemID(menu, 0));

    g_gesture = c.gesture;
    g_closeBoxFound = false;
    g_safetyTimerFired = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 5000, QuitTheWait);
    GlobalBlock page = session->AcquirePage(TWPT_GRAY, 100, 0, 0, 0, false);
    KillTimer(nullptr, timer);
    g_gesture = Gesture::None;
    EXPECT_FALSE(g_safetyTimerFired) << "the wait ended only through the safety timer";
    if (c.gesture == Gesture::CloseBox) {
      EXPECT_TRUE(g_closeBoxFound) << "no close box on the caption";
    }

    EXPECT_FALSE(page);
    ASSERT_TRUE(IsWindow(proxy)) << "the user destroyed the proxy window";
    EXPECT_EQ(proxy, session->proxyWindow.get());
    EXPECT_FALSE(IsWindowVisible(proxy));
    EXPECT_TRUE(IsWindowEnabled(owner.hwnd));
    EXPECT_EQ(StateManagerLoaded, session->state);
    const Names calls = Calls();
    EXPECT_FALSE(Contains(calls, "DS IMAGENATIVEXFER GET"));
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(Names({"DS DISABLEDS", "DSM CLOSEDS", "DSM CLOSEDSM"}),
              Names(calls.end() - 3, calls.end()));

    // The same window still serves the next scan.
    engine->Config().sources[0].behaviour.outcome = twainsim::SimOutcome::Deliver;
    page = session->AcquirePage(TWPT_GRAY, 100, 0, 0, 0, false);
    ASSERT_TRUE(page);
    EXPECT_EQ(proxy, engine->ParentWindow());
    page.reset();
    TearDown();
  }
}

TEST_F(SimSessionTest, ClosingTheBusyWindowAtRestChangesNothing) {
  OwnerWindow owner;
  Start(owner.hwnd);
  HWND proxy = session->proxyWindow.get();
  SendMessageW(proxy, WM_CLOSE, 0, 0);
  PostMessageW(proxy, WM_SYSCOMMAND, SC_CLOSE, 0);
  DrainQueue();
  ASSERT_TRUE(IsWindow(proxy));
  EXPECT_FALSE(session->CloseRequested());
  EXPECT_TRUE(engine->Calls().empty());
  // No cancel is left over for the next scan.
  GlobalBlock page = session->AcquirePage(TWPT_GRAY, 100, 0, 0, 0, false);
  ASSERT_TRUE(page);
}

// ---- nested busy periods ---------------------------------------------------

TEST_F(SimSessionTest, NestedBusyWindowsRestoreTheOwnerAsItWas) {
  for (bool enabledBefore : {true, false}) {
    SCOPED_TRACE(enabledBefore ? "owner enabled" : "owner disabled");
    OwnerWindow owner;
    EnableWindow(owner.hwnd, enabledBefore);
    Start(owner.hwnd);
    HWND proxy = session->proxyWindow.get();

    session->ShowBusyWindow();
    session->ShowBusyWindow();
    EXPECT_FALSE(IsWindowEnabled(owner.hwnd));
    session->HideBusyWindow();
    // The outer busy period still runs.
    EXPECT_FALSE(IsWindowEnabled(owner.hwnd));
    EXPECT_TRUE(IsWindowVisible(proxy));
    session->HideBusyWindow();
    EXPECT_EQ(enabledBefore, IsWindowEnabled(owner.hwnd) != FALSE);
    EXPECT_FALSE(IsWindowVisible(proxy));
    TearDown();
  }
}

// ---- a second operation started inside the first ---------------------------

// A window whose procedure stands for the main dialog's Copy and Browse
// buttons: it starts operations on the session when a queued click arrives.
const UINT kQueuedClick = WM_APP + 77;
struct Nested {
  ScannerSession *session = nullptr;
  twainsim::SimEngine *engine = nullptr;
  HWND window = nullptr;
  bool clicked = false;
  GlobalBlock page;
  AcquireOutcome outcome = AcquireOutcome::Delivered;
  std::uint32_t selected = 1, found = 1;
  bool profiled = true;
  std::size_t callsBefore = 0, callsAfter = 0;
} g_nested;

LRESULT CALLBACK ClickWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kQueuedClick)
    return DefWindowProcW(window, message, wParam, lParam);
  Nested &n = g_nested;
  n.clicked = true;
  n.callsBefore = n.engine->Calls().size();
  n.page = n.session->AcquirePage(TWPT_GRAY, 100, 0, 0, 0, false, n.outcome);
  n.selected = n.session->SelectSource(0, true);
  n.found = n.session->SelectSource(n.session->scannerId, false);
  ScannerProfile profile;
  n.profiled = n.session->GetScannerProfile(0, profile);
  n.callsAfter = n.engine->Calls().size();
  return 0;
}

// Queues the click as the source is enabled: the wait for the page takes it.
TW_UINT16 TW_CALLINGSTYLE ClickingEntry(TW_IDENTITY *origin, TW_IDENTITY *destination,
                                        TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                        TW_MEMREF data) {
  if (dat == DAT_USERINTERFACE && msg == MSG_ENABLEDS && g_nested.window != nullptr)
    PostMessageW(g_nested.window, kQueuedClick, 0, 0);
  return twainsim::SimDsmEntry(origin, destination, dg, dat, msg, data);
}

TEST_F(SimSessionTest, OperationsRefuseWhileAnotherOfTheSessionRuns) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ClickWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"ZVTestQueuedClick";
  RegisterClassExW(&wc);
  OwnerWindow owner;
  Start(owner.hwnd, false, ClickingEntry);
  g_nested = Nested();
  g_nested.session = session.get();
  g_nested.engine = engine.get();
  g_nested.window = CreateWindowExW(0, L"ZVTestQueuedClick", L"", WS_POPUP, 0, 0, 10, 10, nullptr,
                                    nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(nullptr, g_nested.window);

  g_safetyTimerFired = false;
  const UINT_PTR timer = SetTimer(nullptr, 0, 5000, QuitTheWait);
  GlobalBlock page = session->AcquirePage(TWPT_GRAY, 100, 0, 0, 0, false);
  KillTimer(nullptr, timer);
  DestroyWindow(g_nested.window);
  g_nested.window = nullptr;
  EXPECT_FALSE(g_safetyTimerFired) << "the wait ended only through the safety timer";

  ASSERT_TRUE(g_nested.clicked);
  EXPECT_FALSE(g_nested.page);
  // Turned away, not failed: the copy job says nothing about it.
  EXPECT_EQ(AcquireOutcome::Cancelled, g_nested.outcome);
  EXPECT_EQ(0u, g_nested.selected);
  EXPECT_EQ(0u, g_nested.found);
  EXPECT_FALSE(g_nested.profiled);
  EXPECT_EQ(g_nested.callsBefore, g_nested.callsAfter) << "a refused operation called the manager";
  // The first operation went on undisturbed.
  ASSERT_TRUE(page);
  EXPECT_TRUE(Contains(Calls(), "DS IMAGENATIVEXFER GET"));
  EXPECT_EQ(StateManagerLoaded, session->state);
  EXPECT_TRUE(IsWindowEnabled(owner.hwnd));
  page.reset();

  // Once it is over, each of them runs again.
  EXPECT_EQ(session->scannerId, session->SelectSource(session->scannerId, false));
  ScannerProfile profile;
  EXPECT_TRUE(session->GetScannerProfile(0, profile));
  page = session->AcquirePage(TWPT_GRAY, 100, 0, 0, 0, false);
  EXPECT_TRUE(page);
}

// ---- EnableSource above state 4 ------------------------------------------------

TEST_F(SimSessionTest, EnableSourceSendsNothingOnceEnabled) {
  // MSG_ENABLEDS belongs to state 4 alone; above it the answer is the state.
  Start();
  ReachTransferReady();
  engine->ClearCalls();
  EXPECT_FALSE(session->EnableSource(false));
  EXPECT_EQ(StateTransferReady, session->state);
  session->TransferNative();
  ASSERT_EQ(StateTransferring, session->state);
  EXPECT_FALSE(session->EnableSource(false));
  EXPECT_EQ(StateTransferring, session->state);
  EXPECT_EQ(Names({"DS IMAGENATIVEXFER GET"}), Calls());
  EXPECT_EQ(session->imageHandle, session->TakeImage().get());
}

} // namespace

// The thread's DPI awareness around the manager and source calls that may
// create windows: a recording stand-in for SetThreadDpiAwarenessContext
// shows what is set, around which calls, and that the thread gets its own
// awareness back on every road; Wine's user32 shows it on a real thread and
// a real window.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "common/proc_address.h"
#include "tools/twainsim/sim_names.h"
#include "twain/dpi_scope.h"
#include "twain/session_fixture.h"

using namespace twaintest;

namespace {

const DPI_AWARENESS_CONTEXT kOwn = DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2;
const DPI_AWARENESS_CONTEXT kGdiScaled = DPI_AWARENESS_CONTEXT_UNAWARE_GDISCALED;
const DPI_AWARENESS_CONTEXT kUnaware = DPI_AWARENESS_CONTEXT_UNAWARE;

// The stand-in: a thread context of its own, every request in order, and a
// Windows that may refuse the GDI-scaled context (before 10 1809) or any.
struct Recorder {
  DPI_AWARENESS_CONTEXT current = kOwn;
  std::vector<DPI_AWARENESS_CONTEXT> requests;
  bool refuseGdiScaled = false;
  bool refuseAll = false;
} g_recorder;

DPI_AWARENESS_CONTEXT WINAPI RecordingSet(DPI_AWARENESS_CONTEXT context) {
  g_recorder.requests.push_back(context);
  if (g_recorder.refuseAll || (g_recorder.refuseGdiScaled && context == kGdiScaled))
    return nullptr;
  const DPI_AWARENESS_CONTEXT previous = g_recorder.current;
  g_recorder.current = context;
  return previous;
}

class DpiScope : public ::testing::Test {
protected:
  void SetUp() override {
    g_recorder = Recorder();
    ReplaceThreadDpiCall(RecordingSet);
  }
  void TearDown() override { RestoreThreadDpiCall(); }
};

TEST_F(DpiScope, EachRoadEndsInTheThreadsOwnAwareness) {
  using Requests = std::vector<DPI_AWARENESS_CONTEXT>;
  struct {
    const char *what;
    bool active;
    bool functionPresent;
    bool refuseGdiScaled;
    bool refuseAll;
    DPI_AWARENESS_CONTEXT inside;
    Requests requests; // all of them, once the scope has ended
  } cases[] = {
      {"not a windowed call", false, true, false, false, kOwn, {}},
      {"Windows without the function", true, false, false, false, kOwn, {}},
      {"GDI scaling available", true, true, false, false, kGdiScaled, {kGdiScaled, kOwn}},
      {"GDI scaling refused: plainly unaware", true, true, true, false, kUnaware,
       {kGdiScaled, kUnaware, kOwn}},
      {"every context refused: nothing to give back", true, true, true, true, kOwn,
       {kGdiScaled, kUnaware}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    g_recorder = Recorder();
    g_recorder.refuseGdiScaled = c.refuseGdiScaled;
    g_recorder.refuseAll = c.refuseAll;
    ReplaceThreadDpiCall(c.functionPresent ? RecordingSet : nullptr);
    {
      ScaledWindowsDpiScope scope(c.active);
      EXPECT_EQ(c.inside, g_recorder.current);
    }
    EXPECT_EQ(kOwn, g_recorder.current);
    EXPECT_EQ(c.requests, g_recorder.requests);
  }
}

TEST_F(DpiScope, NestedScopesGiveBackInTurn) {
  {
    ScaledWindowsDpiScope outer(true);
    {
      ScaledWindowsDpiScope inner(true);
      EXPECT_EQ(kGdiScaled, g_recorder.current);
    }
    EXPECT_EQ(kGdiScaled, g_recorder.current);
  }
  EXPECT_EQ(kOwn, g_recorder.current);
}

// ---- around which calls ------------------------------------------------------

std::string TripletName(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg) {
  const char *datName = twainsim::KnownDatName(dat);
  const char *msgName = twainsim::KnownMsgName(msg);
  return std::string(dg == DG_IMAGE ? "IMAGE " : "CONTROL ") + (datName ? datName : "?") + " " +
         (msgName ? msgName : "?");
}

struct SeenCall {
  std::string triplet;
  DPI_AWARENESS_CONTEXT context;
};
std::vector<SeenCall> g_seen;

TW_UINT16 TW_CALLINGSTYLE ContextRecordingEntry(TW_IDENTITY *origin, TW_IDENTITY *destination,
                                                TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                                TW_MEMREF data) {
  g_seen.push_back({TripletName(dg, dat, msg), g_recorder.current});
  return twainsim::SimDsmEntry(origin, destination, dg, dat, msg, data);
}

// The calls in which a manager or source may bring up a window of its own.
const std::set<std::string> kWindowedCalls = {
    "CONTROL IDENTITY USERSELECT",  // the manager's "Select Source"
    "CONTROL IDENTITY OPENDS",      // the driver starts: device choice, lamp warm-up
    "CONTROL USERINTERFACE ENABLEDS", // its dialog, or its progress window
    "CONTROL EVENT PROCESSEVENT",   // it acts on the messages it is handed
    "CONTROL PENDINGXFERS ENDXFER", // a feeder goes on to the next sheet
    "IMAGE IMAGEINFO GET",          // sources that scan on demand
    "IMAGE IMAGENATIVEXFER GET",
};

class DpiAroundCalls : public SimSessionTest {
protected:
  void SetUp() override {
    g_recorder = Recorder();
    g_seen.clear();
    ReplaceThreadDpiCall(RecordingSet);
  }
  void TearDown() override {
    SimSessionTest::TearDown();
    RestoreThreadDpiCall();
  }
};

TEST_F(DpiAroundCalls, UnawareExactlyAroundTheWindowedCalls) {
  Start(nullptr, false, ContextRecordingEntry);
  ASSERT_TRUE(session->IsAvailable());
  EXPECT_NE(0u, session->SelectSource(0, true));
  EXPECT_EQ(kOwn, g_recorder.current);
  GlobalBlock page = session->AcquirePage(TWPT_GRAY, 150, 0, 0, 0, false);
  ASSERT_TRUE(page);
  page.reset();
  EXPECT_EQ(kOwn, g_recorder.current) << "the thread ends as it began";

  std::set<std::string> windowedSeen;
  for (const SeenCall &call : g_seen) {
    SCOPED_TRACE(call.triplet);
    const bool windowed = kWindowedCalls.count(call.triplet) != 0;
    EXPECT_EQ(windowed ? kGdiScaled : kOwn, call.context);
    if (windowed)
      windowedSeen.insert(call.triplet);
  }
  EXPECT_EQ(kWindowedCalls, windowedSeen) << "each windowed call was made and looked at";
  // Every change was given back: one request to set and one to restore
  // per windowed call, nothing else.
  std::size_t windowedCalls = 0;
  for (const SeenCall &call : g_seen)
    windowedCalls += kWindowedCalls.count(call.triplet);
  EXPECT_EQ(2 * windowedCalls, g_recorder.requests.size());
}

// A refused or cancelled call is a road of its own: the thread still gets
// its awareness back.
TEST_F(DpiAroundCalls, RefusedCallsGiveTheAwarenessBack) {
  config.userSelect = -1; // the user cancels "Select Source"
  config.sources[0].behaviour.openRc = TWRC_FAILURE;
  Start(nullptr, false, ContextRecordingEntry);
  ASSERT_TRUE(session->IsAvailable());
  EXPECT_EQ(0u, session->SelectSource(0, true));
  EXPECT_EQ(kOwn, g_recorder.current);
  EXPECT_FALSE(session->OpenSource());
  EXPECT_EQ(kOwn, g_recorder.current);
  bool sawUserSelect = false, sawOpen = false;
  for (const SeenCall &call : g_seen) {
    sawUserSelect |= call.triplet == "CONTROL IDENTITY USERSELECT" && call.context == kGdiScaled;
    sawOpen |= call.triplet == "CONTROL IDENTITY OPENDS" && call.context == kGdiScaled;
  }
  EXPECT_TRUE(sawUserSelect);
  EXPECT_TRUE(sawOpen);
}

// ---- with Wine's user32 --------------------------------------------------------

// Windows 10's DPI calls of user32, which the Windows 7 headers of this
// build do not declare.
struct User32Dpi {
  template <typename Function> static Function Find(const char *name) {
    return FindProc<Function>(GetModuleHandleW(L"user32.dll"), name);
  }
  SetThreadDpiAwarenessContextCall setThread =
      Find<SetThreadDpiAwarenessContextCall>("SetThreadDpiAwarenessContext");
  DPI_AWARENESS_CONTEXT(WINAPI *getThread)() =
      Find<decltype(getThread)>("GetThreadDpiAwarenessContext");
  DPI_AWARENESS_CONTEXT(WINAPI *getWindow)(HWND) =
      Find<decltype(getWindow)>("GetWindowDpiAwarenessContext");
  DPI_AWARENESS(WINAPI *awareness)(DPI_AWARENESS_CONTEXT) =
      Find<decltype(awareness)>("GetAwarenessFromDpiAwarenessContext");
  bool Complete() const { return setThread && getThread && getWindow && awareness; }
  DPI_AWARENESS Thread() const { return awareness(getThread()); }
};
const User32Dpi g_user32;

struct RealSeen {
  DPI_AWARENESS threadAwareness = DPI_AWARENESS_INVALID;
  DPI_AWARENESS windowAwareness = DPI_AWARENESS_INVALID;
  bool seen = false;
};
RealSeen g_duringSelect, g_duringDefault;

// Opens a window inside "Select Source" as a manager's dialog would, and
// looks at the thread and at that window.
TW_UINT16 TW_CALLINGSTYLE WindowMakingEntry(TW_IDENTITY *origin, TW_IDENTITY *destination,
                                            TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                            TW_MEMREF data) {
  RealSeen *seen = nullptr;
  if (dat == DAT_IDENTITY && msg == MSG_USERSELECT)
    seen = &g_duringSelect;
  else if (dat == DAT_IDENTITY && msg == MSG_GETDEFAULT)
    seen = &g_duringDefault;
  if (seen != nullptr) {
    seen->seen = true;
    seen->threadAwareness = g_user32.Thread();
    HWND window = CreateWindowExW(0, L"STATIC", L"Select Source", WS_POPUP, 0, 0, 100, 100,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window != nullptr) {
      seen->windowAwareness = g_user32.awareness(g_user32.getWindow(window));
      DestroyWindow(window);
    }
  }
  return twainsim::SimDsmEntry(origin, destination, dg, dat, msg, data);
}

TEST_F(SimSessionTest, ScannerWindowsComeUpUnawareUnderRealUser32) {
  RestoreThreadDpiCall();
  ASSERT_TRUE(g_user32.Complete()) << "this user32 has per-thread DPI awareness";
  // The thread of a per-monitor aware program, as the copier's manifest
  // makes it (Wine 8 knows per-monitor awareness, not its second version).
  const DPI_AWARENESS_CONTEXT before =
      g_user32.setThread(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
  ASSERT_NE(nullptr, before);
  g_duringSelect = RealSeen();
  g_duringDefault = RealSeen();
  Start(nullptr, false, WindowMakingEntry);
  ASSERT_TRUE(session->IsAvailable());
  session->SelectSource(0, true);
  const DPI_AWARENESS after = g_user32.Thread();
  g_user32.setThread(before);

  ASSERT_TRUE(g_duringSelect.seen);
  EXPECT_EQ(DPI_AWARENESS_UNAWARE, g_duringSelect.threadAwareness);
  EXPECT_EQ(DPI_AWARENESS_UNAWARE, g_duringSelect.windowAwareness);
  ASSERT_TRUE(g_duringDefault.seen) << "construction asked for the default source";
  EXPECT_EQ(DPI_AWARENESS_PER_MONITOR_AWARE, g_duringDefault.threadAwareness);
  EXPECT_EQ(DPI_AWARENESS_PER_MONITOR_AWARE, after);
}

} // namespace

// A ScannerSession talking to the simulated manager, with real windows, the
// thread's real message queue and real global memory.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/twainsim/sim_engine.h"
#include "twain/scanner_profile.h"
#include "twain/scanner_session.h"

namespace twaintest {

using twainsim::SimConfig;
using twainsim::SimEngine;

inline SimConfig OneScanner() {
  SimConfig config;
  twainsim::SimSource source;
  source.identity = twainsim::MakeIdentity("Acme", "Scan", "Acme Scan 1");
  source.capabilities = twainsim::MakeCapabilities(twainsim::SimScannerModel());
  config.sources.push_back(source);
  config.maxImageSide = 64;
  return config;
}

inline void DrainQueue() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
    DispatchMessageW(&message);
}

class SimSessionTest : public ::testing::Test {
protected:
  SimConfig config = OneScanner();
  std::unique_ptr<SimEngine> engine;
  std::unique_ptr<ScannerSession> session;

  // Constructs the session on a fresh engine; the construction's calls are
  // cleared unless asked to keep them.
  void Start(HWND owner = nullptr, bool keepCalls = false) {
    DrainQueue();
    engine = std::make_unique<SimEngine>(config);
    twainsim::InstallEngine(engine.get());
    session = std::make_unique<ScannerSession>(owner, twainsim::SimDsmEntry);
    if (!keepCalls)
      engine->ClearCalls();
  }

  void TearDown() override {
    if (session) {
      // Back to rest before the engine goes: a test that left the source
      // open must not leave the next one a half-open manager.
      session->CloseManager();
      session->Shutdown();
    }
    session.reset();
    DrainQueue();
    if (engine) {
      EXPECT_EQ(0, engine->SequenceErrors()) << "calls out of TWAIN order";
      EXPECT_EQ(0u, engine->LiveContainers()) << "source containers not freed";
      EXPECT_EQ(0u, engine->LiveApplicationContainers()) << "own containers not freed";
    }
    twainsim::InstallEngine(nullptr);
    engine.reset();
  }

  std::vector<std::string> Calls() const { return engine->CallNames(); }

  // The posted notification of an enabled source, taken from the queue
  // without letting the session see it.
  bool TakeNotification(MSG &message) {
    return PeekMessageW(&message, nullptr, SimEngine::NotifyMessage(), SimEngine::NotifyMessage(),
                        PM_REMOVE) != 0;
  }

  // Drives the session to state 6 through its own calls: enabled, and the
  // source's MSG_XFERREADY processed by CallSource (which, unlike
  // ProcessEvent, does not start the transfer).
  void ReachTransferReady() {
    ASSERT_TRUE(session->EnableSource(false));
    MSG message;
    ASSERT_TRUE(TakeNotification(message));
    TW_EVENT event = {&message, MSG_NULL};
    ASSERT_TRUE(session->CallSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event));
    ASSERT_EQ(MSG_XFERREADY, event.TWMessage);
    ASSERT_EQ(StateTransferReady, session->state);
  }

  // State 7 with the image delivered (the caller frees it).
  void ReachTransferring() {
    ReachTransferReady();
    session->TransferNative();
    ASSERT_EQ(StateTransferring, session->state);
  }
};

// A plain visible top-level window to own sessions.
class TestWindow {
public:
  explicit TestWindow(bool visible = true, const wchar_t *title = L"ZV test owner") {
    static bool registered = false;
    if (!registered) {
      WNDCLASSW wc = {};
      wc.lpfnWndProc = DefWindowProcW;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = L"ZVTestOwner";
      RegisterClassW(&wc);
      registered = true;
    }
    window_ = CreateWindowExW(0, L"ZVTestOwner", title, WS_OVERLAPPEDWINDOW, 100, 100, 600, 400,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (visible)
      ShowWindow(window_, SW_SHOW);
    DrainQueue();
  }
  ~TestWindow() {
    DestroyWindow(window_);
    DrainQueue();
  }
  TestWindow(const TestWindow &) = delete;
  TestWindow &operator=(const TestWindow &) = delete;
  HWND get() const { return window_; }

private:
  HWND window_;
};

} // namespace twaintest

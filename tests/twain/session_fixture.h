// A ScannerSession talking to the simulated manager, with real windows, the
// thread's real message queue and real global memory.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/twainsim/sim_engine.h"
#include "twain/acquire_fixture.h"
#include "twain/scanner_session.h"

namespace twaintest {

using twainsim::SimConfig;
using twainsim::SimEngine;

inline SimConfig OneScanner() {
  SimConfig config =
      OneSource(SourceWithIdentity(twainsim::MakeIdentity("Acme", "Scan", "Acme Scan 1")));
  config.maxImageSide = 64;
  return config;
}

class SimSessionTest : public ::testing::Test {
protected:
  SimConfig config = OneScanner();
  // A test of a source that refuses a step makes the session try the next
  // one out of order.
  bool sequenceErrorsExpected = false;
  std::unique_ptr<SimEngine> engine;
  std::unique_ptr<ScannerSession> session;

  // Constructs the session on a fresh engine, reached through entry (which
  // may look at the calls on their way); the construction's calls are
  // cleared unless asked to keep them.
  void Start(HWND owner = nullptr, bool keepCalls = false,
             DSMENTRYPROC entry = twainsim::SimDsmEntry) {
    DrainQueue();
    WatchFrees();
    engine = std::make_unique<SimEngine>(config);
    twainsim::InstallEngine(engine.get());
    session = std::make_unique<ScannerSession>(owner, entry);
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
      if (!sequenceErrorsExpected) {
        EXPECT_EQ(0, engine->SequenceErrors()) << "calls out of TWAIN order";
      }
      EXPECT_EQ(0u, engine->LiveContainers()) << "source containers not freed";
      EXPECT_EQ(0u, engine->LiveApplicationContainers()) << "own containers not freed";
      EXPECT_TRUE(EachGivenBackOnce(*engine));
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
    ReachTransferReadyFromEnabled();
  }

  // The same from state 5, already enabled.
  void ReachTransferReadyFromEnabled() {
    MSG message;
    ASSERT_TRUE(TakeNotification(message));
    TW_EVENT event = {&message, MSG_NULL};
    ASSERT_TRUE(session->CallSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event));
    ASSERT_EQ(MSG_XFERREADY, event.TWMessage);
    ASSERT_EQ(StateTransferReady, session->state);
  }

  // State 7 with the image delivered (the session holds it: TakeImage).
  void ReachTransferring() {
    ReachTransferReady();
    session->TransferNative();
    ASSERT_EQ(StateTransferring, session->state);
  }
};

} // namespace twaintest

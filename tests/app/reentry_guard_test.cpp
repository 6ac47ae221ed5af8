// The one component that keeps work which pumps messages from starting
// again inside itself: its scopes put everything back on every road out.
#include <gtest/gtest.h>

#include <stdexcept>

#include "common/reentry_guard.h"

namespace {

TEST(ReentryGuard, OneOperationAtATimeAndQuitWaitsForIt) {
  ReentryGuard guard;
  EXPECT_TRUE(guard.RequestQuit()) << "nothing runs: quit at once";
  EXPECT_FALSE(guard.TakeHeldQuit());
  {
    const ReentryGuard::Operation first = guard.BeginOperation();
    ASSERT_TRUE(first);
    const ReentryGuard::Operation second = guard.BeginOperation();
    EXPECT_FALSE(second) << "a second click inside the first operation";
    EXPECT_TRUE(guard.OperationRunning());
  }
  EXPECT_FALSE(guard.OperationRunning()) << "the refused scope ended the running one";
  EXPECT_FALSE(guard.TakeHeldQuit()) << "no quit arrived";

  {
    const ReentryGuard::Operation running = guard.BeginOperation();
    ASSERT_TRUE(running);
    EXPECT_FALSE(guard.RequestQuit()) << "held while the operation runs";
    EXPECT_FALSE(guard.RequestQuit());
    EXPECT_FALSE(guard.TakeHeldQuit()) << "not before the operation has ended";
  }
  EXPECT_TRUE(guard.TakeHeldQuit()) << "the held quit is due now";
  EXPECT_FALSE(guard.TakeHeldQuit()) << "and handed over once";
}

TEST(ReentryGuard, AnExceptionEndsTheOperationAndTheWait) {
  ReentryGuard guard;
  try {
    const ReentryGuard::Operation running = guard.BeginOperation();
    const ReentryGuard::Wait wait = guard.BeginWait();
    EXPECT_TRUE(guard.RequestClose());
    EXPECT_FALSE(guard.RequestQuit());
    throw std::runtime_error("out of memory, say");
  } catch (const std::runtime_error &) {
  }
  EXPECT_FALSE(guard.OperationRunning());
  EXPECT_FALSE(guard.CloseRequested());
  EXPECT_FALSE(guard.RequestClose()) << "no wait runs any more";
  EXPECT_TRUE(guard.TakeHeldQuit()) << "the quit held for it is due";
  EXPECT_TRUE(guard.BeginOperation());
}

TEST(ReentryGuard, NestedPeriodsCountOnlyTheOutermost) {
  ReentryGuard guard;
  EXPECT_TRUE(guard.EnterNested());
  EXPECT_FALSE(guard.EnterNested());
  EXPECT_FALSE(guard.LeaveNested()) << "the outer period still runs";
  EXPECT_TRUE(guard.Nested());
  EXPECT_TRUE(guard.LeaveNested());
  EXPECT_FALSE(guard.Nested());
  // A stray end still restores what an outermost one would, and leaves no
  // debt for the next period.
  EXPECT_TRUE(guard.LeaveNested());
  EXPECT_TRUE(guard.EnterNested());
  EXPECT_TRUE(guard.LeaveNested());
}

TEST(ReentryGuard, CloseRequestsReachOnlyTheWaitThatRuns) {
  ReentryGuard guard;
  EXPECT_FALSE(guard.RequestClose()) << "nothing to close at rest";
  {
    const ReentryGuard::Wait wait = guard.BeginWait();
    EXPECT_FALSE(guard.CloseRequested()) << "a request at rest is not kept for the next wait";
    {
      // Begun inside the running wait: the outer one keeps its request.
      const ReentryGuard::Wait inner = guard.BeginWait();
      EXPECT_TRUE(guard.RequestClose());
    }
    EXPECT_TRUE(guard.CloseRequested());
  }
  EXPECT_FALSE(guard.CloseRequested());
  const ReentryGuard::Wait next = guard.BeginWait();
  EXPECT_FALSE(guard.CloseRequested());
}

} // namespace

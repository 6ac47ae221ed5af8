// The one owner template: every handle is given back exactly once, whatever
// moves, resets and releases happen in between.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "common/unique_handle.h"

namespace {

std::vector<int> g_closed;
void CloseFake(int *handle) { g_closed.push_back(*handle); }
using FakeOwner = UniqueHandle<int *, CloseFake>;

TEST(UniqueHandle, EachHandleIsGivenBackOnce) {
  int a = 1, b = 2, c = 3;
  g_closed.clear();
  {
    FakeOwner first(&a);
    FakeOwner second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(&a, second.get());
    FakeOwner third(&b);
    third = std::move(second); // b goes back, a changes owner
    EXPECT_EQ((std::vector<int>{2}), g_closed);
    third.reset(&c); // a goes back
    EXPECT_EQ((std::vector<int>{2, 1}), g_closed);
    int *kept = third.release();
    EXPECT_EQ(&c, kept);
    EXPECT_FALSE(third);
    third.reset(kept);
    third = std::move(third); // self-move keeps it
    EXPECT_EQ(&c, third.get());
    FakeOwner empty;
    empty.reset(); // nothing to give back
  }
  EXPECT_EQ((std::vector<int>{2, 1, 3}), g_closed);
}

TEST(UniqueHandle, PutGivesBackTheOldHandleBeforeAFillingCall) {
  int a = 1, b = 2;
  g_closed.clear();
  FakeOwner owner(&a);
  *owner.put() = &b;
  EXPECT_EQ((std::vector<int>{1}), g_closed);
  EXPECT_EQ(&b, owner.get());
  // addressof gives the slot without giving anything back.
  EXPECT_EQ(&b, *owner.addressof());
  EXPECT_EQ((std::vector<int>{1}), g_closed);
}

TEST(UniqueHandle, CriticalSectionLockLeavesAtScopeEnd) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  {
    const CriticalSectionLock lock = EnterCriticalSectionLock(&section);
    EXPECT_EQ(1, section.RecursionCount);
  }
  EXPECT_EQ(0, section.RecursionCount);
  DeleteCriticalSection(&section);
}

} // namespace

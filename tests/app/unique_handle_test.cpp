// The one owner template: every handle is given back exactly once, whatever
// moves, resets and releases happen in between.
#include <gtest/gtest.h>

#include <type_traits>
#include <utility>
#include <vector>

#include "common/unique_handle.h"

namespace {

// Locks are taken by the call that makes their owner and by nothing else:
// their owners offer no slot a call could fill in behind the owner's back.
template <typename T, typename = void> struct OffersPut : std::false_type {};
template <typename T>
struct OffersPut<T, std::void_t<decltype(std::declval<T &>().put())>> : std::true_type {};
template <typename T, typename = void> struct OffersAddress : std::false_type {};
template <typename T>
struct OffersAddress<T, std::void_t<decltype(std::declval<T &>().addressof())>> : std::true_type {};
static_assert(OffersPut<GlobalBlock>::value && OffersAddress<GlobalBlock>::value);
static_assert(OffersPut<UniqueRegistryKey>::value && OffersAddress<UniqueWindow>::value);
static_assert(!OffersPut<GlobalUnlocker>::value && !OffersAddress<GlobalUnlocker>::value);
static_assert(!OffersPut<CriticalSectionLock>::value &&
              !OffersAddress<CriticalSectionLock>::value);

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

namespace {

// The image of a native transfer goes back by the call of its own kind.
TEST(UniqueHandle, TransferredImageGivesEachKindBackByItsOwnCall) {
  HBITMAP bitmap = CreateBitmap(4, 4, 1, 32, nullptr);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 64);
  ASSERT_NE(nullptr, bitmap);
  ASSERT_NE(nullptr, block);
  {
    TransferredImage first(bitmap);
    TransferredImage second(block);
    EXPECT_EQ(DWORD(OBJ_BITMAP), GetObjectType(bitmap));
    EXPECT_NE(0u, GlobalSize(block));
  }
  EXPECT_EQ(0u, GetObjectType(bitmap)) << "the bitmap was not deleted";
  EXPECT_EQ(0u, GlobalSize(block)) << "the block was not freed";
}

} // namespace

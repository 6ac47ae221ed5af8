// The layout walk as plain arithmetic: tables of entries against the
// rectangles the walk gives, with no window.
#include <gtest/gtest.h>

#include <vector>

#include "dialogs/layout.h"
#include "support/rect_compare.h"

namespace {

struct Expected {
  std::size_t index;
  RECT rect;
};

void ExpectPlacements(const std::vector<Expected> &expected,
                      const std::vector<LayoutPlacement> &got) {
  ASSERT_EQ(expected.size(), got.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].index, got[i].index) << "placement " << i;
    EXPECT_EQ(expected[i].rect, got[i].rect) << "placement " << i;
  }
}

constexpr RECT kBox = {10, 20, 50, 40};

TEST(LayoutWalk, ModesOfASingleEntry) {
  struct Case {
    std::uint32_t flags;
    std::int32_t dx, dy;
    RECT expected;
  };
  const Case cases[] = {
      {0x00, 40, 20, {10, 20, 50, 40}},
      {0x04 | 0x40, 40, 20, {10, 20, 90, 60}},   // stretches 40 by 20
      {0x03 | 0x30, 40, 20, {50, 40, 90, 60}},   // moves 40 and 20
      {0x02 | 0x20, 40, 20, {30, 30, 70, 50}},   // moves 20 and 10
      {0x02 | 0x20, 41, 21, {30, 30, 70, 50}},   // halves truncate
      {0x02 | 0x20, -41, -21, {-10, 10, 30, 30}}, // toward zero when shrinking
      {0x04 | 0x40, -15, -5, {10, 20, 35, 35}},
      {0x01 | 0x10, 40, 20, {10, 20, 50, 40}},   // unknown modes do nothing
      {0x05 | 0x50, 40, 20, {10, 20, 50, 40}},
      {0x03, 40, 20, {50, 20, 90, 40}},          // horizontal only
      {0x40, 40, 20, {10, 20, 50, 60}},          // vertical only
  };
  for (const Case &c : cases) {
    LayoutEntry table[] = {{0x10000000, 1, c.flags, 100, kBox}, {}};
    const auto got = ComputeLayout(table, 0, 0, 0, 0, c.dx, c.dy);
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(c.expected, got[0].rect) << "flags " << std::hex << c.flags << std::dec
                                       << " change " << c.dx << "," << c.dy;
  }
}

TEST(LayoutWalk, WeightedSiblingsShareAndFollowEachOther) {
  // Weights 1 and 3 share a width change of 40 as 10 and 30; the second
  // starts 10 further right. The third sibling takes no share: it keeps the
  // whole change, and starts where the shared ones left the offset.
  LayoutEntry table[] = {
      {0x10000000, 1, 0x1000 | 0x4, 101, {0, 0, 100, 10}},
      {0x20000000, 3, 0x1000 | 0x4, 102, {100, 0, 200, 10}},
      {0x30000000, 0, 0x4, 103, {0, 20, 200, 30}},
      {},
  };
  ExpectPlacements({{0, {0, 0, 110, 10}}, {1, {110, 0, 240, 10}}, {2, {40, 20, 280, 30}}},
                   ComputeLayout(table, 0, 0, 0, 0, 40, 0));
  // Shrinking: -40 shares as -10 and -30.
  ExpectPlacements({{0, {0, 0, 90, 10}}, {1, {90, 0, 160, 10}}, {2, {-40, 20, 120, 30}}},
                   ComputeLayout(table, 0, 0, 0, 0, -40, 0));
}

TEST(LayoutWalk, VerticalSharingTruncatesTowardZero) {
  LayoutEntry table[] = {
      {0x10000000, 1, 0x2000 | 0x40, 101, {0, 0, 10, 100}},
      {0x20000000, 2, 0x2000 | 0x40, 102, {0, 100, 10, 200}},
      {},
  };
  // 10 * 1 / 3 = 3 and 10 * 2 / 3 = 6: one pixel is lost, as the integer
  // shares say.
  ExpectPlacements({{0, {0, 0, 10, 103}}, {1, {0, 103, 10, 209}}},
                   ComputeLayout(table, 0, 0, 0, 0, 0, 10));
  ExpectPlacements({{0, {0, 0, 10, 97}}, {1, {0, 97, 10, 191}}},
                   ComputeLayout(table, 0, 0, 0, 0, 0, -10));
}

TEST(LayoutWalk, GroupsPassTheirShareToTheirChildrenFirst) {
  // Two column groups share the width 1:1; inside the left group a list
  // stretches and a button below it moves with the right edge; the right
  // group holds a two-level nesting. Group entries have no control.
  LayoutEntry table[] = {
      {0x10000000, 1, 0x1000, 0, {}},
      {0x11000000, 1, 0x4 | 0x40, 201, {0, 0, 100, 80}},
      {0x12000000, 1, 0x3 | 0x30, 202, {60, 90, 100, 100}},
      {0x20000000, 1, 0x1000, 0, {}},
      {0x21000000, 1, 0x0, 0, {}},
      {0x21100000, 1, 0x4, 203, {110, 0, 200, 20}},
      {0x21200000, 1, 0x2 | 0x20, 204, {110, 30, 200, 40}},
      {},
  };
  // 60 wide, 30 high: each group takes 30 of the width, all of the height.
  ExpectPlacements(
      {
          {1, {0, 0, 130, 110}},
          {2, {90, 120, 130, 130}},
          {5, {140, 0, 260, 20}},   // moved 30 by the left group, stretched 30
          {6, {155, 45, 245, 55}},  // moved 30, then half of 30 and of 30
      },
      ComputeLayout(table, 0, 0, 0, 0, 60, 30));
}

TEST(LayoutWalk, ZeroTotalWeightSharesNothing) {
  LayoutEntry table[] = {
      {0x10000000, 0, 0x1000 | 0x2000 | 0x44, 101, {0, 0, 10, 10}},
      {0x20000000, 0, 0x1000 | 0x2000 | 0x33, 102, {20, 0, 30, 10}},
      {},
  };
  ExpectPlacements({{0, {0, 0, 10, 10}}, {1, {20, 0, 30, 10}}},
                   ComputeLayout(table, 0, 0, 0, 0, 40, 20));
  // Weights that cancel out: a total of 0 too.
  LayoutEntry cancelling[] = {
      {0x10000000, 2, 0x1000 | 0x4, 101, {0, 0, 10, 10}},
      {0x20000000, -2, 0x1000 | 0x4, 102, {20, 0, 30, 10}},
      {},
  };
  ExpectPlacements({{0, {0, 0, 10, 10}}, {1, {20, 0, 30, 10}}},
                   ComputeLayout(cancelling, 0, 0, 0, 0, 40, 20));
}

TEST(LayoutWalk, LargeChangesAndWeightsDoNotOverflowTheShare) {
  LayoutEntry table[] = {
      {0x10000000, 0x40000000, 0x1000 | 0x4, 101, {0, 0, 10, 10}},
      {0x20000000, 0x40000000, 0x1000 | 0x4, 102, {0, 0, 10, 10}},
      {},
  };
  const auto got = ComputeLayout(table, 0, 0, 0, 0, 1000000, 0);
  ASSERT_EQ(2u, got.size());
  EXPECT_EQ(10 + 500000, got[0].rect.right);
  EXPECT_EQ(500000, got[1].rect.left);
}

TEST(LayoutWalk, ChildrenOfOneParentOnly) {
  // Only direct children of the asked parent, at the asked level: the
  // entries of the other branch and the grandchildren reached through them
  // are not walked.
  LayoutEntry table[] = {
      {0x10000000, 1, 0x0, 101, {0, 0, 10, 10}},
      {0x12000000, 1, 0x3, 102, {0, 0, 10, 10}},
      {0x12300000, 1, 0x3, 103, {0, 0, 10, 10}},
      {0x20000000, 1, 0x0, 104, {0, 0, 10, 10}},
      {0x22000000, 1, 0x3, 105, {0, 0, 10, 10}},
      {},
  };
  ExpectPlacements({{2, {5, 0, 15, 10}}, {1, {5, 0, 15, 10}}},
                   ComputeLayout(table, 1, 0x10000000, 0, 0, 5, 0));
}

TEST(LayoutWalk, TheDeepestLevelEnds) {
  // A key using all eight digits is at level 7; the walk stops below it.
  LayoutEntry table[] = {
      {0x11111111, 1, 0x3, 101, {0, 0, 10, 10}},
      {},
  };
  ExpectPlacements({{0, {4, 0, 14, 10}}}, ComputeLayout(table, 7, 0x11111110, 0, 0, 4, 0));
  EXPECT_TRUE(ComputeLayout(table, 8, 0x11111111, 0, 0, 4, 0).empty());
  EXPECT_TRUE(ComputeLayout(nullptr, 0, 0, 0, 0, 4, 0).empty());
}

TEST(LayoutWalk, LevelMasks) {
  struct Case {
    int level;
    LayoutLevelMasks masks;
  };
  const Case cases[] = {
      {0, {0xF0000000u, 0x0FFFFFFFu, 0x00000000u}},
      {1, {0x0F000000u, 0x00FFFFFFu, 0xF0000000u}},
      {4, {0x0000F000u, 0x00000FFFu, 0xFFFF0000u}},
      {7, {0x0000000Fu, 0x00000000u, 0xFFFFFFF0u}},
  };
  for (const Case &c : cases) {
    const LayoutLevelMasks m = LayoutMasks(c.level);
    EXPECT_EQ(c.masks.digit, m.digit) << c.level;
    EXPECT_EQ(c.masks.lower, m.lower) << c.level;
    EXPECT_EQ(c.masks.prefix, m.prefix) << c.level;
  }
}

} // namespace

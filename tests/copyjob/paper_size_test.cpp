#include <gtest/gtest.h>

#include "copyjob/paper_size.h"

TEST(PaperSize, PresetsInHundredthsOfMillimetres) {
  struct Case {
    PaperSize code;
    bool valid;
    std::int32_t right, bottom;
  } cases[] = {
      {0, false, -1, -1},   {1, true, 84100, 118900}, {2, true, 59400, 84100},
      {3, true, 42000, 59400}, {4, true, 29700, 42000}, {5, true, 21000, 29700},
      {6, true, 14850, 21000}, {7, true, 10500, 14850}, {8, false, -1, -1},
      {0x80, false, -1, -1}, {0x85, true, 29700, 21000}, {0x86, true, 21000, 14850},
      {0xFF, false, -1, -1}, {0x87, true, 14850, 10500},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(int(c.code));
    ScanFrame frame{-1, -1, -1, -1};
    EXPECT_EQ(c.valid, IsValidPaperSize(c.code));
    EXPECT_EQ(c.valid, PaperSizeFrame(c.code, &frame));
    if (c.valid) {
      EXPECT_EQ(0, frame.left);
      EXPECT_EQ(0, frame.top);
    } else {
      EXPECT_EQ(-1, frame.left); // untouched
    }
    EXPECT_EQ(c.right, frame.right);
    EXPECT_EQ(c.bottom, frame.bottom);
  }
}

TEST(PaperSize, ScaleTableBySourceAndDestination) {
  const std::uint32_t expected[4][4] = {
      {10000, 7073, 5000, 3537},
      {14138, 10000, 7073, 5000},
      {20000, 14138, 10000, 7073},
      {28276, 20000, 14138, 10000},
  };
  for (int s = 0; s < 4; ++s)
    for (int d = 0; d < 4; ++d)
      EXPECT_EQ(expected[s][d], ScaleFromPaperSizes(s, d)) << s << "," << d;
}

TEST(PaperSize, ScaleOutsideTheListsIsHundredPercent) {
  const int bad[][2] = {{-1, 1}, {1, -1}, {-1, -1}, {4, 0}, {0, 4}, {100, 2}};
  for (const auto &p : bad)
    EXPECT_EQ(10000u, ScaleFromPaperSizes(p[0], p[1])) << p[0] << "," << p[1];
}

TEST(PaperSize, ShownPercentRoundsHalfAwayFromZero) {
  const std::pair<std::int64_t, std::int64_t> shown[] = {
      {3537, 35}, {5000, 50}, {7073, 71}, {10000, 100}, {14138, 141}, {20000, 200}, {28276, 283}};
  for (const auto &p : shown)
    EXPECT_EQ(p.second, RoundedDivide(p.first, 100)) << p.first;
}

TEST(PaperSize, RoundedDivideSignsAndHalves) {
  struct Case {
    std::int64_t n, d, q;
  } cases[] = {
      {150, 100, 2},   {-150, 100, -2}, {149, 100, 1},  {-149, 100, -1}, {150, -100, -2},
      {-150, -100, 2}, {0, 7, 0},       {5, 2, 3},      {-5, 2, -3},     {7, 3, 2},
      {8, 3, 3},       {1, 1, 1},       {0, 0, 0},
      {INT64_MIN, 1, INT64_MIN},        {INT64_MAX, 2, INT64_MAX / 2 + 1},
      {INT64_MIN, INT64_MIN, 1},        {INT64_MAX, INT64_MAX, 1},
      // The one quotient beyond the range: the largest positive value, never
      // a negative one.
      {INT64_MIN, -1, INT64_MAX},       {INT64_MAX, -1, -INT64_MAX},
      {INT64_MIN, -2, INT64_MAX / 2 + 1}, {INT64_MIN + 1, -1, INT64_MAX},
  };
  for (const Case &c : cases)
    EXPECT_EQ(c.q, RoundedDivide(c.n, c.d)) << c.n << "/" << c.d;
}

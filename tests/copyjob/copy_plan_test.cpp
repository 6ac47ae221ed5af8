#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "copyjob/copy_plan.h"
#include "twain/scanner_profile.h"

namespace {

ScannerProfile ListProfile(const std::vector<float> &list) {
  ScannerProfile p;
  p.bResolutionArray = true;
  p.SetResolutionList(list);
  return p;
}

ScannerProfile RangeProfile(float min, float max) {
  ScannerProfile p;
  p.bResolutionRange = true;
  p.ResolutionMin = min;
  p.ResolutionMax = max;
  return p;
}

} // namespace

TEST(CopyPlan, ScanFrameShrinksOnlyAboveHundredPercent) {
  struct Case {
    std::uint32_t scale;
    std::int32_t right, bottom;
  } cases[] = {
      {1, 21000, 29700},     {3537, 21000, 29700},  {10000, 21000, 29700},
      {10001, 20997, 29697}, {14138, 14853, 21007}, {20000, 10500, 14850},
      {28276, 7426, 10503},  {99900, 2102, 2972},   {0xFFFFFFFF, 0, 0},
  };
  for (const Case &c : cases) {
    const ScanFrame f = CopyScanFrame(c.scale);
    EXPECT_EQ(0, f.left);
    EXPECT_EQ(0, f.top);
    EXPECT_EQ(c.right, f.right) << c.scale;
    EXPECT_EQ(c.bottom, f.bottom) << c.scale;
  }
  const ScanFrame zero = CopyScanFrame(0);
  EXPECT_EQ(21000, zero.right);
  EXPECT_EQ(29700, zero.bottom);
}

TEST(CopyPlan, GreyAndColourScanAtHalfTheResolution) {
  struct Case {
    std::int32_t mode;
    std::uint32_t divisor;
    std::int32_t pixelType;
    std::uint32_t target; // 600 dpi printer at 100 %
  } cases[] = {
      {0, 1, 0, 600}, {1, 2, 1, 300}, {2, 2, 2, 300}, {3, 1, 0, 600}, {-1, 1, 0, 600},
  };
  for (const Case &c : cases) {
    const ModeChoice m = ChooseMode(c.mode);
    EXPECT_EQ(c.divisor, m.divisor) << c.mode;
    EXPECT_EQ(c.pixelType, m.pixelType) << c.mode;
    EXPECT_EQ(c.target, TargetResolution(600, 10000, m.divisor)) << c.mode;
  }
  // Each division truncates on its own: (600 × 14138 / 10000) / 2 = 848 / 2.
  EXPECT_EQ(424u, TargetResolution(600, 14138, 2));
  EXPECT_EQ(299u, TargetResolution(599, 10000, 2));
  EXPECT_EQ(0xFFFFFFFFu, TargetResolution(0xFFFFFFFF, 0xFFFFFFFF, 1));
}

TEST(CopyPlan, ChooseFromAList) {
  const ScannerProfile common = ListProfile({75, 150, 300, 600, 1200});
  struct Case {
    std::uint32_t target, chosen;
  } cases[] = {
      {600, 600},  // exact
      {300, 300},  // exact
      {424, 1200}, // no exact entry; first one of at least 636
      {400, 600},  // 600 is at least 1.5 × 400
      {401, 1200}, // 601.5 is above 600: the next one
      {1200, 1200}, {5000, 1200}, // nothing large enough: the last entry
      {1, 75},     // the threshold is 1
      {0, 75},     // nothing rounds to 0; the first entry is at least 0
  };
  for (const Case &c : cases)
    EXPECT_EQ(c.chosen, ChooseScanResolution(c.target, common)) << c.target;
  EXPECT_EQ(300u, ChooseScanResolution(600, ListProfile({100, 200, 300})));
}

TEST(CopyPlan, ListsEndAtZeroOrAtTheirCount) {
  // 0.0 ends the list early: 1200 behind it is never seen.
  EXPECT_EQ(300u, ChooseScanResolution(1200, ListProfile({150, 300, 0, 1200})));
  EXPECT_EQ(0u, ChooseScanResolution(300, ListProfile({0, 300})));
  EXPECT_EQ(0u, ChooseScanResolution(300, ListProfile({})));
  // A count shorter than the list bounds the walk.
  ScannerProfile p = ListProfile({150, 300, 600});
  p.ResolutionCount = 2;
  EXPECT_EQ(300u, ChooseScanResolution(600, p));
  // A count larger than the list never reads past it.
  p.ResolutionCount = 1000;
  EXPECT_EQ(600u, ChooseScanResolution(600, p));
  // Entries are rounded: 299.5 is 300, 149.4 is 149.
  EXPECT_EQ(300u, ChooseScanResolution(300, ListProfile({149.4f, 299.5f})));
  EXPECT_EQ(149u, ChooseScanResolution(149, ListProfile({149.4f, 299.5f})));
}

TEST(CopyPlan, ChooseFromARange) {
  EXPECT_EQ(1200u, ChooseScanResolution(2400, RangeProfile(50, 1200)));
  EXPECT_EQ(600u, ChooseScanResolution(600, RangeProfile(50, 1200)));
  EXPECT_EQ(50u, ChooseScanResolution(10, RangeProfile(50, 1200)));
  // The minimum wins when it lies above the maximum.
  EXPECT_EQ(500u, ChooseScanResolution(2400, RangeProfile(500, 100)));
  EXPECT_EQ(500u, ChooseScanResolution(10, RangeProfile(500, 100)));
}

TEST(CopyPlan, NeitherListNorRangeKeepsTheTarget) {
  ScannerProfile empty;
  EXPECT_EQ(600u, ChooseScanResolution(600, empty));
  EXPECT_EQ(99999u, ChooseScanResolution(99999, empty));
  // A list takes precedence over a range.
  ScannerProfile both = ListProfile({75, 150});
  both.bResolutionRange = true;
  both.ResolutionMax = 1200;
  EXPECT_EQ(150u, ChooseScanResolution(1200, both));
}

TEST(CopyPlan, RoundingHostileResolutions) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  EXPECT_EQ(0u, RoundResolution(nan));
  EXPECT_EQ(0u, RoundResolution(-300));
  EXPECT_EQ(0u, RoundResolution(0.49f));
  EXPECT_EQ(1u, RoundResolution(0.5f));
  EXPECT_EQ(0xFFFFFFFFu, RoundResolution(inf));
  EXPECT_EQ(0xFFFFFFFFu, RoundResolution(1e20f));
  EXPECT_EQ(600u, ChooseScanResolution(600, ListProfile({nan, -5, 600})));
  // An entry that rounds to 0 is never the choice while another follows it.
  EXPECT_EQ(300u, ChooseScanResolution(0, ListProfile({0.3f, 300})));
}

TEST(CopyPlan, SizeOnPaper) {
  // An A4 scan at 300 dpi on a 300 dpi printer at 100 %: 2480 × 3508 device pixels.
  EXPECT_EQ(2480, SizeOnPaper(2480, 300, 300, 10000));
  EXPECT_EQ(3508, SizeOnPaper(1754, 300, 150, 10000));
  // Enlarged by 141.38 % after the division: (2100 × 300 / 300) × 14138 / 10000.
  EXPECT_EQ(2968, SizeOnPaper(2100, 300, 300, 14138));
  // The pixel division truncates before the scale is applied.
  EXPECT_EQ(0, SizeOnPaper(1, 300, 600, 20000));
  EXPECT_EQ(0, SizeOnPaper(2480, 300, 0, 10000));
  EXPECT_EQ(std::numeric_limits<std::int32_t>::max(),
            SizeOnPaper(0xFFFFFFFF, 0xFFFFFFFF, 1, 99900));
  // Products beyond 64 bits saturate too instead of wrapping to a small size.
  EXPECT_EQ(std::numeric_limits<std::int32_t>::max(),
            SizeOnPaper(0xFFFFFFFF, 0xFFFFFFFF, 1, 0x80000000));
}

TEST(CopyPlan, PrintResolutionFallsBackWhenTheBitmapHasNone) {
  EXPECT_EQ(300u, PrintResolution(300, 600, 600, 600));
  EXPECT_EQ(600u, PrintResolution(0, 600, 300, 300));
  EXPECT_EQ(300u, PrintResolution(0, 0, 300, 600));
  EXPECT_EQ(600u, PrintResolution(0, 0, 0, 600));
}

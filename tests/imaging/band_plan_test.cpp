// The bands of a page drawn in pieces: where each band's rows land on
// paper, how a refused band shrinks, where its rows lie in memory, and the
// header that describes one band as a bitmap of its own.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "imaging/band_plan.h"
#include "imaging/dib_builder.h"

namespace {

// Walks a page as the drawing does, with a driver that refuses every band
// of more than `refuseAbove` rows (0: refuses nothing). The bands drawn, in
// order, and every band offered.
struct WalkResult {
  std::vector<Band> drawn, offered;
  bool completed = true;
};

WalkResult Walk(std::int64_t rows, std::int64_t stride, std::int64_t dest,
                const BandLimits &limits, std::int64_t refuseAbove) {
  WalkResult r;
  BandWalk walk(rows, stride, dest, limits);
  while (!walk.Done()) {
    const Band b = walk.Current();
    r.offered.push_back(b);
    if (refuseAbove > 0 && b.endRow - b.firstRow > refuseAbove) {
      if (!walk.Refused()) {
        r.completed = false;
        break;
      }
      continue;
    }
    r.drawn.push_back(b);
    walk.Drawn();
  }
  return r;
}

// The drawn bands meet end to end in the source and on paper, cover both
// completely, land where Y(y) puts them, and keep to the bounds.
void ExpectTiling(const WalkResult &r, std::int64_t rows, std::int64_t stride,
                  std::int64_t dest, const BandLimits &limits) {
  ASSERT_TRUE(r.completed);
  ASSERT_FALSE(r.drawn.empty());
  EXPECT_EQ(0, r.drawn.front().firstRow);
  EXPECT_EQ(0, r.drawn.front().top);
  EXPECT_EQ(rows, r.drawn.back().endRow);
  EXPECT_EQ(dest, r.drawn.back().bottom);
  for (std::size_t i = 0; i < r.drawn.size(); ++i) {
    const Band &b = r.drawn[i];
    SCOPED_TRACE("band " + std::to_string(i));
    EXPECT_LT(b.firstRow, b.endRow);
    EXPECT_LE(b.top, b.bottom);
    EXPECT_LE(b.endRow - b.firstRow, BandRows(stride, limits));
    EXPECT_EQ(std::int64_t((unsigned long long)b.firstRow * dest / rows), b.top);
    EXPECT_EQ(std::int64_t((unsigned long long)b.endRow * dest / rows), b.bottom);
    if (i > 0) {
      EXPECT_EQ(r.drawn[i - 1].endRow, b.firstRow);
      EXPECT_EQ(r.drawn[i - 1].bottom, b.top);
    }
  }
}

std::int64_t Height(const std::vector<unsigned char> &h) {
  return ReadU32(&h[dib_field::kSize]) == kDibCoreHeaderSize
             ? ReadU16(&h[dib_field::kCoreHeight])
             : ReadI32(&h[dib_field::kHeight]);
}

std::vector<unsigned char> BandHeaderOf(const std::vector<unsigned char> &dib,
                                        std::int64_t rows) {
  std::vector<unsigned char> out(BandHeaderSize(dib.data(), dib.size()), 0xEE);
  EXPECT_TRUE(WriteBandHeader(dib.data(), dib.size(), rows, out.data(), out.size()));
  return out;
}

// An 8-bit grey bitmap of `width` x `rows` with a 256-entry table.
std::vector<unsigned char> Grey(int width, int rows, bool topDown, DibFields f = DibFields()) {
  std::vector<std::vector<unsigned char>> pixels(rows, std::vector<unsigned char>(width, 7));
  return Grey8(pixels, Levels(256, false), topDown, f);
}

} // namespace

TEST(BandPlan, EdgesRoundDownWithoutWrapping) {
  struct Case {
    std::int64_t row, rows, dest, edge;
  } cases[] = {
      {0, 7016, 9919, 0},
      {281, 7016, 9919, 397},  // 397.27: down
      {7016, 7016, 9919, 9919},
      {1, 3, 2, 0},
      {2, 3, 2, 1},
      {5, 10, 5, 2},           // 2.5: down, not to even or away
      {INT_MAX - 1, INT_MAX, INT_MAX, INT_MAX - 1},
      {INT_MAX / 2, INT_MAX, INT_MAX - 1, 1073741822},
      {12, 0, 100, 0},         // no rows
      {12, 30, -5, 0},         // no height
      {40, 30, 60, 60},        // a row beyond the picture is its end
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.row) + " of " + std::to_string(c.rows) + " into " +
                 std::to_string(c.dest));
    EXPECT_EQ(c.edge, BandEdge(c.row, c.rows, c.dest));
  }
}

TEST(BandPlan, FullBandsKeepToBothBounds) {
  struct Case {
    std::int64_t stride;
    BandLimits limits;
    std::int64_t rows;
  } cases[] = {
      {14880, kPrintBandLimits, 281},   // 24-bit A4 row at 600 dpi: the bytes bound
      {7440, kPrintBandLimits, 512},    // 300 dpi: 563 by bytes, the row bound
      {620, kPrintBandLimits, 512},     // 1-bit at 600 dpi
      {5 << 20, kPrintBandLimits, 1},   // a row above the bound is still a band
      {0, kPrintBandLimits, 512},
      {100, {1000, 0}, 1},              // no rows allowed: still one
      {100, {-1, 50}, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.stride);
    EXPECT_EQ(c.rows, BandRows(c.stride, c.limits));
  }
}

TEST(BandPlan, BandsTileSourceAndPaperAtEveryScale) {
  struct Case {
    const char *what;
    std::int64_t rows, stride, dest;
    BandLimits limits;
    std::int64_t refuseAbove;
  } cases[] = {
      {"A4 colour, 100 %", 7016, 14880, 7016, kPrintBandLimits, 0},
      {"A4 colour, 14138", 7016, 14880, 9919, kPrintBandLimits, 0},
      {"A4 colour, 5000", 7016, 14880, 3508, kPrintBandLimits, 0},
      {"A4 1-bit, driver takes 100 rows", 7016, 620, 7016, kPrintBandLimits, 100},
      {"odd rows, enlarged", 37, 40, 52, {1000, 5}, 0},
      {"odd rows, reduced", 37, 40, 18, {1000, 5}, 0},
      {"odd rows, driver takes 3", 41, 40, 57, {1000, 7}, 3},
      {"odd rows, driver takes 1, reduced", 41, 40, 20, {1000, 7}, 1},
      {"one row", 1, 40, 3, kPrintBandLimits, 0},
      {"fewer bands than the bound", 5, 40, 5, kPrintBandLimits, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const WalkResult r = Walk(c.rows, c.stride, c.dest, c.limits, c.refuseAbove);
    ExpectTiling(r, c.rows, c.stride, c.dest, c.limits);
    for (const Band &b : r.drawn)
      if (c.refuseAbove > 0) {
        EXPECT_LE(b.endRow - b.firstRow, c.refuseAbove);
      }
  }
}

TEST(BandPlan, RefusedBandIsHalvedAndTheSmallerSizeKept) {
  // 8-row bands; a driver that takes at most 3 rows.
  const WalkResult r = Walk(11, 40, 11, {1000, 8}, 3);
  const std::vector<std::pair<std::int64_t, std::int64_t>> offered = {
      {0, 8}, {0, 4}, {0, 2}, {2, 4}, {4, 6}, {6, 8}, {8, 10}, {10, 11}};
  std::vector<std::pair<std::int64_t, std::int64_t>> seen;
  for (const Band &b : r.offered)
    seen.push_back({b.firstRow, b.endRow});
  EXPECT_EQ(offered, seen);
  EXPECT_TRUE(r.completed);

  // A last band shorter than the step is halved from its own size.
  BandWalk walk(10, 1, 10, {1000, 8});
  walk.Drawn();
  EXPECT_EQ(8, walk.Current().firstRow);
  EXPECT_EQ(10, walk.Current().endRow);
  EXPECT_TRUE(walk.Refused());
  EXPECT_EQ(9, walk.Current().endRow);
  walk.Drawn();
  EXPECT_EQ(10, walk.Current().endRow);
  walk.Drawn();
  EXPECT_TRUE(walk.Done());
}

TEST(BandPlan, DriverThatTakesNothingEndsTheWalkAtOneRow) {
  struct Case {
    std::int64_t rows, step;
    std::size_t offers; // halvings until a single row is refused
  } cases[] = {{100, 64, 7}, {100, 5, 4}, {1, 512, 1}, {3, 512, 3}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.rows);
    BandWalk walk(c.rows, 1, c.rows, {1000, c.step});
    std::size_t offers = 1;
    while (walk.Refused())
      ++offers;
    EXPECT_EQ(c.offers, offers);
    const Band b = walk.Current();
    EXPECT_EQ(0, b.firstRow);
    EXPECT_EQ(1, b.endRow);
    EXPECT_FALSE(walk.Done());
  }
  BandWalk empty(0, 40, 10, kPrintBandLimits);
  EXPECT_TRUE(empty.Done());
}

// The rows of a band are one run in memory, wherever the picture's top row
// is stored: picture row y is memory row y top-down, rows - 1 - y bottom-up.
TEST(BandPlan, BandRowsInMemoryOrder) {
  struct Case {
    bool topDown;
    std::int64_t first, end, memoryRow;
  } cases[] = {
      {true, 2, 5, 2}, {false, 2, 5, 5}, {true, 0, 10, 0},
      {false, 0, 10, 0}, {false, 9, 10, 0}, {true, 9, 10, 9},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.topDown ? "top-down " : "bottom-up ") + std::to_string(c.first));
    Band b;
    b.firstRow = c.first;
    b.endRow = c.end;
    const std::int64_t m = BandFirstMemoryRow(b, 10, c.topDown);
    EXPECT_EQ(c.memoryRow, m);
    for (std::int64_t y = c.first; y < c.end; ++y) {
      const std::int64_t stored = c.topDown ? y : 10 - 1 - y;
      EXPECT_GE(stored, m);
      EXPECT_LT(stored, m + (c.end - c.first));
    }
  }
}

TEST(BandHeader, RowCountAndSizeOfTheBandTheRestAsItWas) {
  struct Case {
    const char *what;
    std::vector<unsigned char> dib;
    std::int64_t rows, height;
    std::size_t size;
  } cases[] = {
      {"8-bit bottom-up", Grey(13, 9, false), 4, 4, 40 + 1024},
      {"8-bit top-down", Grey(13, 9, true), 4, -4, 40 + 1024},
      {"all rows", Grey(13, 9, true), 9, -9, 40 + 1024},
      {"one row", Grey(13, 9, false), 1, 1, 40 + 1024},
  };
  for (Case &c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(c.size, BandHeaderSize(c.dib.data(), c.dib.size()));
    const std::vector<unsigned char> h = BandHeaderOf(c.dib, c.rows);
    EXPECT_EQ(c.height, Height(h));
    EXPECT_EQ(16u * std::uint32_t(c.rows), ReadU32(&h[dib_field::kSizeImage]));
    std::vector<unsigned char> expected(c.dib.begin(), c.dib.begin() + std::ptrdiff_t(c.size));
    WriteU32(&expected[dib_field::kHeight], std::uint32_t(c.height));
    WriteU32(&expected[dib_field::kSizeImage], 16u * std::uint32_t(c.rows));
    EXPECT_EQ(expected, h);
  }
}

TEST(BandHeader, CoreHeadersMasksAndProfiles) {
  // A core header: its 16-bit height, 3-byte table entries, always bottom-up.
  std::vector<unsigned char> core = {12, 0, 0, 0, 5, 0, 7, 0, 1, 0, 8, 0};
  for (int i = 0; i < 256; ++i)
    core.insert(core.end(), {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)});
  core.resize(core.size() + 8 * 7, 3);
  ASSERT_EQ(12u + 768, BandHeaderSize(core.data(), core.size()));
  std::vector<unsigned char> h = BandHeaderOf(core, 3);
  EXPECT_EQ(3, Height(h));
  EXPECT_TRUE(std::equal(h.begin() + 12, h.end(), core.begin() + 12));

  // BI_BITFIELDS behind a BITMAPINFOHEADER: the three masks come along.
  DibFields f;
  f.width = 2;
  f.height = -5;
  f.bitCount = 32;
  f.compression = kDibCompressionBitfields;
  std::vector<unsigned char> masked = DibHeader(f);
  for (std::uint32_t mask : {0xFF0000u, 0xFF00u, 0xFFu}) {
    masked.resize(masked.size() + 4);
    WriteU32(&masked[masked.size() - 4], mask);
  }
  masked.resize(masked.size() + 8 * 5, 9);
  ASSERT_EQ(52u, BandHeaderSize(masked.data(), masked.size()));
  h = BandHeaderOf(masked, 2);
  EXPECT_EQ(-2, Height(h));
  EXPECT_EQ(0xFFu, ReadU32(&h[48]));

  // A V5 header with an embedded profile behind the rows: it comes along,
  // found where the band's header now says.
  DibFields v5;
  v5.headerSize = kDibV5HeaderSize;
  std::vector<unsigned char> dib = Grey(4, 3, false, v5);
  const std::vector<unsigned char> profile = {'I', 'C', 'C', '!', 1, 2, 3};
  WriteU32(&dib[dib_field::kCSType], kProfileEmbedded);
  WriteU32(&dib[dib_field::kProfileData], std::uint32_t(dib.size()));
  WriteU32(&dib[dib_field::kProfileSize], std::uint32_t(profile.size()));
  dib.insert(dib.end(), profile.begin(), profile.end());
  const std::size_t bitsOffset = 124 + 1024;
  ASSERT_EQ(bitsOffset + profile.size(), BandHeaderSize(dib.data(), dib.size()));
  h = BandHeaderOf(dib, 2);
  EXPECT_EQ(bitsOffset, ReadU32(&h[dib_field::kProfileData]));
  EXPECT_EQ(profile, std::vector<unsigned char>(h.begin() + bitsOffset, h.end()));
  EXPECT_EQ(kProfileEmbedded, ReadU32(&h[dib_field::kCSType]));

  // One that lies beyond the block is dropped, not pointed at.
  WriteU32(&dib[dib_field::kProfileData], std::uint32_t(dib.size()) - 3);
  ASSERT_EQ(bitsOffset, BandHeaderSize(dib.data(), dib.size()));
  h = BandHeaderOf(dib, 2);
  EXPECT_EQ(kColorSpaceSrgb, ReadU32(&h[dib_field::kCSType]));
  EXPECT_EQ(0u, ReadU32(&h[dib_field::kProfileData]));
  EXPECT_EQ(0u, ReadU32(&h[dib_field::kProfileSize]));
}

TEST(BandHeader, WhatCannotBeABandWritesNothing) {
  const std::vector<unsigned char> dib = Grey(13, 9, false);
  std::vector<unsigned char> unsound = dib;
  unsound.resize(unsound.size() - 1); // the last row cut short
  struct Case {
    const char *what;
    const std::vector<unsigned char> *dib;
    std::int64_t rows;
    std::size_t room;
  } cases[] = {
      {"no rows", &dib, 0, 1064},
      {"more rows than the bitmap", &dib, 10, 1064},
      {"negative rows", &dib, -2, 1064},
      {"too little room", &dib, 3, 1063},
      {"not sound", &unsound, 3, 1064},
  };
  EXPECT_EQ(0u, BandHeaderSize(unsound.data(), unsound.size()));
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<unsigned char> out(1064, 0xEE);
    EXPECT_FALSE(WriteBandHeader(c.dib->data(), c.dib->size(), c.rows, out.data(), c.room));
    EXPECT_EQ(std::vector<unsigned char>(1064, 0xEE), out);
  }
}

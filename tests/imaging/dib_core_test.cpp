// The byte-level core: layout of packed bitmaps, the grey check and the
// 1-bit conversion on spans, with canary bytes around each span to catch
// any read-modify-write outside it.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "imaging/dib_layout.h"
#include "imaging/grey_dib.h"
#include "imaging/dib_builder.h"

namespace {

// The bytes of a bitmap with 32 canary bytes on both sides.
class Guarded {
public:
  explicit Guarded(const std::vector<unsigned char> &bytes, std::size_t extra = 0)
      : buffer_(bytes.size() + extra + 2 * kGuard, kCanary), size_(bytes.size() + extra) {
    std::copy(bytes.begin(), bytes.end(), buffer_.begin() + kGuard);
    std::fill(buffer_.begin() + kGuard + bytes.size(), buffer_.begin() + kGuard + size_, 0);
  }
  unsigned char *data() { return buffer_.data() + kGuard; }
  std::size_t size() const { return size_; }
  std::vector<unsigned char> bytes() const {
    return {buffer_.begin() + kGuard, buffer_.begin() + kGuard + size_};
  }
  bool CanariesIntact() const {
    for (std::size_t i = 0; i < kGuard; ++i)
      if (buffer_[i] != kCanary || buffer_[kGuard + size_ + i] != kCanary)
        return false;
    return true;
  }

private:
  static constexpr std::size_t kGuard = 32;
  static constexpr unsigned char kCanary = 0xCD;
  std::vector<unsigned char> buffer_;
  std::size_t size_;
};

std::vector<unsigned char> Fill(std::size_t n, unsigned char value) {
  return std::vector<unsigned char>(n, value);
}

// Converts a bitmap that must be convertible and returns the result bytes.
std::vector<unsigned char> Mono(Guarded &g) {
  const std::size_t size = MonoDibSize(g.data(), g.size());
  EXPECT_NE(0u, size);
  Guarded out(std::vector<unsigned char>(size, 0xEE));
  EXPECT_TRUE(WriteMonoDib(g.data(), g.size(), out.data(), out.size()));
  EXPECT_TRUE(out.CanariesIntact());
  return out.bytes();
}

} // namespace

TEST(DibLayout, MeasuresOfSoundBitmaps) {
  struct Case {
    const char *name;
    DibFields f;
    std::size_t extraHeader; // bytes of masks behind the header
    std::int64_t stride, colors, paletteBytes, bitsOffset;
  } cases[] = {
      {"8-bit 13 wide, top-down", {40, 13, -3, 8, 0, 0}, 0, 16, 256, 1024, 1064},
      {"1-bit 9 wide", {40, 9, 2, 1, 0, 0}, 0, 4, 2, 8, 48},
      {"4-bit, 5 colours used", {40, 7, 2, 4, 0, 5}, 0, 4, 5, 20, 60},
      {"24-bit, no table", {40, 3, 2, 24, 0, 0}, 0, 12, 0, 0, 40},
      {"24-bit with 3 table entries", {40, 3, 2, 24, 0, 3}, 0, 12, 3, 12, 52},
      {"8-bit with 300 entries", {40, 4, 1, 8, 0, 300}, 0, 4, 300, 1200, 1240},
      {"32-bit bitfields behind a 40-byte header", {40, 2, 2, 32, 3, 0}, 12, 8, 0, 0, 52},
      {"16-bit bitfields in a V4 header", {108, 3, 1, 16, 3, 0}, 0, 8, 0, 0, 108},
      {"V5 8-bit", {124, 1, 1, 8, 0, 2}, 0, 4, 2, 8, 132},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::int64_t height = std::llabs(c.f.height);
    std::vector<unsigned char> bytes = DibHeader(c.f);
    bytes.resize(std::size_t(c.bitsOffset + c.stride * height), 0x11);
    Guarded g(bytes);
    DibLayout l;
    ASSERT_TRUE(ReadDibLayout(g.data(), g.size(), &l));
    EXPECT_EQ(c.f.width, DibWidth(g.data(), g.size()));
    EXPECT_EQ(height, DibHeight(g.data(), g.size()));
    EXPECT_EQ(c.f.height < 0, l.topDown);
    EXPECT_EQ(c.stride, DibStride(g.data(), g.size()));
    EXPECT_EQ(c.stride * height, DibImageSize(g.data(), g.size()));
    EXPECT_EQ(c.colors, DibPaletteColors(g.data(), g.size()));
    EXPECT_EQ(c.paletteBytes, DibPaletteBytes(g.data(), g.size()));
    EXPECT_EQ(c.bitsOffset, DibBitsOffset(g.data(), g.size()));
    EXPECT_EQ(g.data() + c.bitsOffset, DibBits(g.data(), g.size()));
    if (c.paletteBytes)
      EXPECT_EQ(g.data() + c.f.headerSize + c.extraHeader, DibPalette(g.data(), g.size()));
    else
      EXPECT_EQ(nullptr, DibPalette(g.data(), g.size()));
    EXPECT_EQ(0u, DibProfileSize(g.data(), g.size()));

    // One byte less and the same header no longer describes a bitmap.
    EXPECT_EQ(0, DibWidth(g.data(), g.size() - 1));
    EXPECT_EQ(nullptr, DibBits(g.data(), g.size() - 1));
    EXPECT_TRUE(g.CanariesIntact());
  }
}

TEST(DibLayout, RowBytesOfHugeWidthsDoNotWrap) {
  EXPECT_EQ(268435456, DibRowBytes(0x7FFFFFFF, 1));
  EXPECT_EQ(8589934588, DibRowBytes(0x7FFFFFFF, 32));
  EXPECT_EQ(4, DibRowBytes(1, 1));
  EXPECT_EQ(0, DibRowBytes(0, 8));
  EXPECT_EQ(0, DibRowBytes(-8, 8));
}

TEST(DibLayout, CoreHeaderHasThreeByteEntriesAndSixteenBitMeasures) {
  std::vector<unsigned char> bytes(12, 0);
  WriteU32(&bytes[0], 12);
  WriteU16(&bytes[4], 5);  // bcWidth
  WriteU16(&bytes[6], 2);  // bcHeight
  WriteU16(&bytes[8], 1);  // bcPlanes
  WriteU16(&bytes[10], 4); // bcBitCount
  bytes.resize(12 + 16 * 3 + 2 * 4, 0);
  Guarded g(bytes);
  EXPECT_EQ(5, DibWidth(g.data(), g.size()));
  EXPECT_EQ(2, DibHeight(g.data(), g.size()));
  EXPECT_EQ(4, DibStride(g.data(), g.size()));
  EXPECT_EQ(16, DibPaletteColors(g.data(), g.size()));
  EXPECT_EQ(48, DibPaletteBytes(g.data(), g.size()));
  EXPECT_EQ(60, DibBitsOffset(g.data(), g.size()));
  EXPECT_EQ(g.data() + 12, DibPalette(g.data(), g.size()));
  // Neither checked nor converted: only info headers carry a grey table here.
  EXPECT_FALSE(NormalizeGreyPaletteBytes(g.data(), g.size()));
  EXPECT_EQ(0u, MonoDibSize(g.data(), g.size()));
}

TEST(DibLayout, ProfileSizeOnlyForLinkedOrEmbeddedV5Profiles) {
  struct Case {
    std::uint32_t headerSize, csType, profileSize, expected;
  } cases[] = {
      {124, kProfileEmbedded, 100, 100}, {124, kProfileLinked, 20, 20},
      {124, kColorSpaceSrgb, 100, 0},    {108, kProfileEmbedded, 100, 0},
  };
  for (const Case &c : cases) {
    std::vector<unsigned char> bytes = DibHeader({c.headerSize, 1, 1, 24, 0, 0});
    WriteU32(&bytes[dib_field::kCSType], c.csType);
    if (c.headerSize >= 124)
      WriteU32(&bytes[dib_field::kProfileSize], c.profileSize);
    bytes.resize(bytes.size() + 4, 0);
    Guarded g(bytes);
    EXPECT_EQ(c.expected, DibProfileSize(g.data(), g.size())) << c.headerSize << " " << c.csType;
  }
}

// Headers a hostile driver might deliver, each in a span exactly as long as
// the bytes given: no measures, no check, no conversion, nothing written.
TEST(DibLayout, HostileHeadersHaveNoMeasuresAndAreLeftAlone) {
  struct Case {
    const char *name;
    DibFields f;
    std::size_t bytes; // span length; 0: header + 256-entry table + 64 bytes
  } cases[] = {
      {"bit count 0", {40, 8, 1, 0, 0, 0}, 0},
      {"bit count 2", {40, 8, 1, 2, 0, 0}, 0},
      {"bit count 3", {40, 8, 1, 3, 0, 0}, 0},
      {"bit count 64", {40, 8, 1, 64, 0, 0}, 0},
      {"width 0", {40, 0, 1, 8, 0, 0}, 0},
      {"negative width", {40, -8, 1, 8, 0, 0}, 0},
      {"width INT_MIN", {40, INT_MIN, 1, 8, 0, 0}, 0},
      {"height 0", {40, 8, 0, 8, 0, 0}, 0},
      {"height INT_MIN", {40, 1, INT_MIN, 8, 0, 0}, 0},
      {"width 0x7FFFFFFF", {40, 0x7FFFFFFF, 1, 8, 0, 0}, 0},
      {"both 0x7FFFFFFF at 32 bits", {40, 0x7FFFFFFF, 0x7FFFFFFF, 32, 0, 0}, 0},
      {"height 0x7FFFFFFF", {40, 8, 0x7FFFFFFF, 8, 0, 0}, 0},
      {"top-down height 0x7FFFFFFF", {40, 8, -0x7FFFFFFF, 8, 0, 0}, 0},
      {"colours used 0xFFFFFFFF", {40, 8, 1, 8, 0, 0xFFFFFFFF}, 0},
      {"colours used 0x40000000", {40, 8, 1, 8, 0, 0x40000000}, 0},
      {"header size 0", {0, 8, 1, 8, 0, 0}, 0},
      {"header size 39", {39, 8, 1, 8, 0, 0}, 0},
      {"header size 0xFFFFFFFF", {0xFFFFFFFF, 8, 1, 8, 0, 0}, 0},
      {"header longer than the span", {2000, 8, 1, 8, 0, 0}, 1000},
      {"run-length compressed", {40, 8, 1, 8, 1, 0}, 0},
      {"JPEG", {40, 8, 1, 0, 4, 0}, 0},
      {"bitfields on 8 bits", {40, 8, 1, 8, 3, 0}, 0},
      {"bitfields masks cut off", {40, 1, 1, 32, 3, 0}, 44},
      {"rows cut off", {40, 8, 2, 8, 0, 0}, 40 + 1024 + 8 + 7},
      {"table cut off", {40, 8, 1, 8, 0, 0}, 40 + 1000},
      {"header only", {40, 8, 1, 8, 0, 0}, 40},
      {"half a header", {40, 8, 1, 8, 0, 0}, 20},
      {"less than a core header", {12, 8, 1, 8, 0, 0}, 11},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<unsigned char> bytes = DibHeader(c.f);
    // A reversed grey table: a sound bitmap would have it rewritten.
    AppendGreys(bytes, Levels(256, true));
    bytes.resize(c.bytes ? c.bytes : bytes.size() + 64, 0x5A);
    Guarded g(bytes);
    DibLayout l;
    EXPECT_FALSE(ReadDibLayout(g.data(), g.size(), &l));
    EXPECT_EQ(0, DibWidth(g.data(), g.size()));
    EXPECT_EQ(0, DibHeight(g.data(), g.size()));
    EXPECT_EQ(0, DibStride(g.data(), g.size()));
    EXPECT_EQ(0, DibImageSize(g.data(), g.size()));
    EXPECT_EQ(0, DibPaletteColors(g.data(), g.size()));
    EXPECT_EQ(0, DibPaletteBytes(g.data(), g.size()));
    EXPECT_EQ(0, DibBitsOffset(g.data(), g.size()));
    EXPECT_EQ(nullptr, DibPalette(g.data(), g.size()));
    EXPECT_EQ(nullptr, DibBits(g.data(), g.size()));
    EXPECT_FALSE(NormalizeGreyPaletteBytes(g.data(), g.size()));
    EXPECT_EQ(0u, MonoDibSize(g.data(), g.size()));
    std::vector<unsigned char> out(4096, 0xEE);
    EXPECT_FALSE(WriteMonoDib(g.data(), g.size(), out.data(), out.size()));
    EXPECT_EQ(Fill(out.size(), 0xEE), out);
    EXPECT_EQ(bytes, g.bytes());
    EXPECT_TRUE(g.CanariesIntact());
  }
  EXPECT_FALSE(NormalizeGreyPaletteBytes(nullptr, 1000));
  EXPECT_EQ(0, DibWidth(nullptr, 1000));
  EXPECT_EQ(0u, MonoDibSize(nullptr, 1000));
}

TEST(GreyPalette, RampsOfEveryLength) {
  struct Case {
    std::size_t count;
    std::vector<int> expected;
  } cases[] = {
      {0, {}},
      {1, {0}},
      {2, {0, 255}},
      {3, {0, 127, 254}},
      {16, {0, 17, 34, 51, 68, 85, 102, 119, 136, 153, 170, 187, 204, 221, 238, 255}},
  };
  for (const Case &c : cases) {
    Guarded g(std::vector<unsigned char>(4 * c.count, 0x77));
    MakeGreyPalette(g.data(), c.count);
    std::vector<unsigned char> expected;
    AppendGreys(expected, c.expected);
    EXPECT_EQ(expected, g.bytes()) << c.count;
    EXPECT_TRUE(g.CanariesIntact());
  }
  Guarded g(std::vector<unsigned char>(1024, 0x77));
  MakeGreyPalette(g.data(), 256);
  for (int i = 0; i < 256; ++i) {
    const unsigned char *e = g.data() + 4 * i;
    ASSERT_TRUE(e[0] == i && e[1] == i && e[2] == i && e[3] == 0) << i;
  }
}

TEST(GreyCheck, ReversedTableInvertsEveryPixelAndInstallsTheRamp) {
  // 13 wide: 3 padding bytes per row, which must stay as they are.
  const auto row0 = Row({0, 1, 2, 100, 127, 128, 200, 254, 255, 7, 8, 9, 10});
  const auto row1 = Row({255, 254, 253, 155, 128, 127, 55, 1, 0, 248, 247, 246, 245});
  DibFields f;
  f.width = 13;
  f.height = 2;
  f.clrUsed = 256;
  std::vector<unsigned char> bytes = DibHeader(f);
  AppendGreys(bytes, Levels(256, true));
  AppendRows8(bytes, {row0, row1}, 0xAB);
  Guarded g(bytes);
  ASSERT_TRUE(NormalizeGreyPaletteBytes(g.data(), g.size()));

  std::vector<unsigned char> expected = DibHeader(f);
  AppendGreys(expected, Levels(256, false));
  AppendRows8(expected, {row1, row0}, 0xAB); // row1 is row0 inverted, and back
  EXPECT_EQ(expected, g.bytes());
  EXPECT_TRUE(g.CanariesIntact());

  // The ramp is now there: a second check changes nothing.
  EXPECT_TRUE(NormalizeGreyPaletteBytes(g.data(), g.size()));
  EXPECT_EQ(expected, g.bytes());
}

TEST(GreyCheck, AnyGreyOrderBecomesGreyLevels) {
  // A shuffled grey table: each pixel becomes the grey it showed. Large
  // images take a faster road than small ones; an odd width leaves a
  // single pixel at the end of each row.
  std::vector<int> levels(256);
  for (int i = 0; i < 256; ++i)
    levels[i] = (i * 167 + 13) & 0xFF;
  const struct {
    int width, height;
  } sizes[] = {{256, 1}, {13, 5}, {1024, 1024}, {1027, 1025}};
  for (const auto &size : sizes) {
    SCOPED_TRACE(size.width);
    std::vector<std::vector<unsigned char>> rows(size.height);
    for (int y = 0; y < size.height; ++y)
      for (int x = 0; x < size.width; ++x)
        rows[y].push_back(static_cast<unsigned char>(x * 7 + y * 13));
    Guarded g(Grey8(rows, levels));
    ASSERT_TRUE(NormalizeGreyPaletteBytes(g.data(), g.size()));
    const unsigned char *bits = DibBits(g.data(), g.size());
    const std::int64_t stride = DibStride(g.data(), g.size());
    for (int y = 0; y < size.height; ++y)
      for (int x = 0; x < size.width; ++x)
        ASSERT_EQ(levels[rows[y][x]], bits[y * stride + x]) << x << "," << y;
    for (int y = 0; y < size.height; ++y)
      for (std::int64_t x = size.width; x < stride; ++x)
        ASSERT_EQ(0, bits[y * stride + x]) << "padding " << x << "," << y;
    std::vector<unsigned char> ramp;
    AppendGreys(ramp, Levels(256, false));
    EXPECT_EQ(0, std::memcmp(DibPalette(g.data(), g.size()), ramp.data(), ramp.size()));
    EXPECT_TRUE(g.CanariesIntact());
  }
}

TEST(GreyCheck, TablesThatAreNotRewritten) {
  struct Case {
    const char *name;
    std::uint16_t bits;
    std::vector<unsigned char> table;
    bool result;
  } cases[] = {
      {"8-bit colour entry", 8, {}, false},
      {"1-bit ramp", 1, {0, 0, 0, 0, 255, 255, 255, 0}, true},
      {"1-bit reversed", 1, {255, 255, 255, 0, 0, 0, 0, 0}, false},
      {"1-bit colour", 1, {0, 0, 0, 0, 255, 0, 0, 0}, false},
      {"4-bit reversed grey", 4, {}, false},
  };
  cases[0].table.clear();
  AppendGreys(cases[0].table, Levels(256, false));
  cases[0].table[4 * 77 + 1] = 3; // green differs in entry 77
  AppendGreys(cases[4].table, Levels(16, true));
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    DibFields f;
    f.width = 8;
    f.height = 2;
    f.bitCount = c.bits;
    f.clrUsed = static_cast<std::uint32_t>(c.table.size() / 4);
    std::vector<unsigned char> bytes = DibHeader(f);
    bytes.insert(bytes.end(), c.table.begin(), c.table.end());
    for (int i = 0; i < 2 * int(DibRowBytes(8, c.bits)); ++i)
      bytes.push_back(static_cast<unsigned char>(i * 37));
    Guarded g(bytes);
    EXPECT_EQ(c.result, NormalizeGreyPaletteBytes(g.data(), g.size()));
    EXPECT_EQ(bytes, g.bytes());
    EXPECT_EQ(0u, MonoDibSize(g.data(), g.size()));
  }
}

TEST(GreyCheck, ReservedBytesAreRepairedWithoutTouchingPixels) {
  std::vector<int> ramp = Levels(256, false);
  std::vector<unsigned char> bytes = Grey8({Row({5, 200, 128, 127})}, ramp);
  bytes[40 + 4 * 9 + 3] = 1; // reserved byte of entry 9
  Guarded g(bytes);
  ASSERT_TRUE(NormalizeGreyPaletteBytes(g.data(), g.size()));
  EXPECT_EQ(Grey8({Row({5, 200, 128, 127})}, ramp), g.bytes());
}

// Fewer than 256 entries: the table cannot grow in place, so
// the pixels are rewritten to index the nearest of the n ramp levels; a
// pixel beyond the table (it showed no defined colour) becomes black.
TEST(GreyCheck, ShortGreyTableKeepsItsLengthAndItsLook) {
  struct Case {
    const char *name;
    std::vector<int> levels;
    std::vector<unsigned char> pixels, expected;
  } cases[] = {
      {"16 entries reversed",
       Levels(16, true),
       Row({0, 1, 7, 8, 14, 15, 16, 200}),
       Row({15, 14, 8, 7, 1, 0, 0, 0})},
      {"4 arbitrary greys",
       {250, 10, 130, 60},
       Row({0, 1, 2, 3, 4, 255, 3, 0}),
       // ramp 0, 85, 170, 255: 250 -> 3, 10 -> 0, 130 -> 2 (nearer 170), 60 -> 1
       Row({3, 0, 2, 1, 0, 0, 1, 3})},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Guarded g(Grey8({c.pixels}, c.levels));
    ASSERT_TRUE(NormalizeGreyPaletteBytes(g.data(), g.size()));
    EXPECT_EQ(Grey8({c.expected}, Levels(int(c.levels.size()), false)), g.bytes());
    EXPECT_TRUE(g.CanariesIntact());
  }
}

// More than 256 entries on an 8-bit image: pixels reach only the
// first 256; those are checked and normalised, the surplus is left alone.
TEST(GreyCheck, SurplusEntriesBeyond256AreLeftAlone) {
  DibFields f;
  f.width = 4;
  f.height = 1;
  f.clrUsed = 300;
  std::vector<unsigned char> bytes = DibHeader(f);
  AppendGreys(bytes, Levels(256, true));
  for (int i = 256; i < 300; ++i)
    AppendEntry(bytes, 200, 10, static_cast<unsigned char>(i)); // colours
  const std::vector<unsigned char> surplus(bytes.begin() + 40 + 1024, bytes.end());
  AppendRows8(bytes, {Row({0, 127, 128, 255})});
  Guarded g(bytes);
  ASSERT_TRUE(NormalizeGreyPaletteBytes(g.data(), g.size()));
  std::vector<unsigned char> expected = DibHeader(f);
  AppendGreys(expected, Levels(256, false));
  expected.insert(expected.end(), surplus.begin(), surplus.end());
  AppendRows8(expected, {Row({255, 128, 127, 0})});
  EXPECT_EQ(expected, g.bytes());

  // And it converts, taking the rows from behind all 300 entries.
  const std::vector<unsigned char> mono = Mono(g);
  EXPECT_EQ(0xC0, mono[kMonoBits]); // 255 128 127 0 -> 1 1 0 0
}

TEST(MonoConversion, BitPlacementAndStrideByWidth) {
  struct Case {
    std::vector<unsigned char> pixels;
    std::vector<unsigned char> packed; // one row, stride bytes
  } cases[] = {
      {Row({255, 0, 255, 0, 0, 0, 0, 128}), {0xA1, 0, 0, 0}},
      {Row({0, 0, 0, 0, 0, 0, 0, 0, 200}), {0x00, 0x80, 0, 0}},
      {Row({127, 128, 127, 128, 127, 128, 127, 128, 255, 255, 255, 255}), {0x55, 0xF0, 0, 0}},
      {Row({255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255}), {0xFF, 0xF8, 0, 0}},
  };
  // A 40-pixel row needs two 4-byte words.
  std::vector<unsigned char> wide(40, 0);
  wide[0] = wide[39] = 255;
  std::vector<unsigned char> widePacked(8, 0);
  widePacked[0] = 0x80;
  widePacked[4] = 0x01;
  std::vector<Case> all(std::begin(cases), std::end(cases));
  all.push_back({wide, widePacked});
  for (const Case &c : all) {
    SCOPED_TRACE(c.pixels.size());
    // Two identical rows: the stride shows as the distance between them.
    Guarded g(Grey8({c.pixels, c.pixels}, Levels(256, false)));
    const std::vector<unsigned char> mono = Mono(g);
    const std::size_t stride = c.packed.size();
    EXPECT_EQ(std::int64_t(stride), DibRowBytes(std::int64_t(c.pixels.size()), 1));
    ASSERT_EQ(8 + 2 * stride + 128, mono.size());
    EXPECT_EQ(2 * stride, U32At(mono, dib_field::kSizeImage));
    const std::vector<unsigned char> rows(mono.begin() + kMonoBits, mono.begin() + kMonoBits + 2 * stride);
    std::vector<unsigned char> expected = c.packed;
    expected.insert(expected.end(), c.packed.begin(), c.packed.end());
    EXPECT_EQ(expected, rows);
    // Nothing after the rows.
    for (std::size_t i = kMonoBits + 2 * stride; i < mono.size(); ++i)
      ASSERT_EQ(0, mono[i]) << i;
  }
}

TEST(MonoConversion, ThresholdIsTheTopBitOfAnyRow) {
  // Every value once, so both the 8-pixel groups and the tail are covered.
  std::vector<unsigned char> pixels;
  for (int i = 0; i < 259; ++i)
    pixels.push_back(static_cast<unsigned char>((i * 73 + 5) & 0xFF));
  Guarded g(Grey8({pixels}, Levels(256, false)));
  const std::vector<unsigned char> mono = Mono(g);
  for (std::size_t x = 0; x < pixels.size(); ++x) {
    const bool white = (mono[kMonoBits + x / 8] >> (7 - x % 8)) & 1;
    ASSERT_EQ(pixels[x] >= 128, white) << x << " value " << int(pixels[x]);
  }
}

TEST(MonoConversion, RowsKeepTheirPlaceInThePicture) {
  const auto top = Row({255, 255, 255, 255, 255, 255, 255, 255});
  const auto middle = Row({255, 0, 0, 0, 0, 0, 0, 0});
  const auto bottom = Row({0, 0, 0, 0, 0, 0, 0, 0});
  // Bottom-up: memory starts with the bottom row, and so does the result.
  Guarded up(Grey8({bottom, middle, top}, Levels(256, false)));
  // Top-down: memory starts with the top row; the bottom-up result must
  // still show the top row at the top, that is last in memory.
  Guarded down(Grey8({top, middle, bottom}, Levels(256, false), true));
  for (Guarded *g : {&up, &down}) {
    const std::vector<unsigned char> mono = Mono(*g);
    EXPECT_EQ(3u, U32At(mono, dib_field::kHeight));
    EXPECT_EQ(0x00, mono[kMonoBits + 0]); // bottom row
    EXPECT_EQ(0x80, mono[kMonoBits + 4]); // middle
    EXPECT_EQ(0xFF, mono[kMonoBits + 8]); // top row
  }
}

TEST(MonoConversion, HeaderFromAnInfoHeader) {
  DibFields f;
  f.xPelsPerMeter = 11811;
  f.yPelsPerMeter = 5906;
  f.clrImportant = 0;
  Guarded g(Grey8({Row({0, 1, 2, 3, 200, 201, 202, 203, 204}), Row({9, 9, 9, 9, 9, 9, 9, 9, 9}),
                   Row({0, 0, 0, 0, 0, 0, 0, 0, 0})},
                  Levels(256, false), true, f));
  const std::vector<unsigned char> mono = Mono(g);
  EXPECT_EQ(124u, U32At(mono, dib_field::kSize));
  EXPECT_EQ(9u, U32At(mono, dib_field::kWidth));
  EXPECT_EQ(3u, U32At(mono, dib_field::kHeight));
  EXPECT_EQ(1, ReadU16(&mono[dib_field::kPlanes]));
  EXPECT_EQ(1, ReadU16(&mono[dib_field::kBitCount]));
  EXPECT_EQ(0u, U32At(mono, dib_field::kCompression));
  EXPECT_EQ(12u, U32At(mono, dib_field::kSizeImage));
  EXPECT_EQ(11811u, U32At(mono, dib_field::kXPelsPerMeter));
  EXPECT_EQ(5906u, U32At(mono, dib_field::kYPelsPerMeter));
  EXPECT_EQ(2u, U32At(mono, dib_field::kClrUsed));
  EXPECT_EQ(0u, U32At(mono, dib_field::kClrImportant));
  EXPECT_EQ(kColorSpaceSrgb, U32At(mono, dib_field::kCSType));
  for (std::size_t o = 60; o < 108; o += 4) // endpoints and gamma
    EXPECT_EQ(0u, U32At(mono, o)) << o;
  EXPECT_EQ(kIntentImages, U32At(mono, dib_field::kIntent));
  EXPECT_EQ(0u, U32At(mono, dib_field::kProfileData));
  EXPECT_EQ(0u, U32At(mono, dib_field::kProfileSize));
  const std::vector<unsigned char> table(mono.begin() + 124, mono.begin() + 132);
  EXPECT_EQ((std::vector<unsigned char>{0, 0, 0, 0, 255, 255, 255, 0}), table);
  EXPECT_EQ(8u + 12 + 128, mono.size()); // header within the 128
  // Its own layout reads back: a sound 1-bit bitmap.
  EXPECT_EQ(9, DibWidth(mono.data(), mono.size()));
  EXPECT_EQ(132, DibBitsOffset(mono.data(), mono.size()));
}

TEST(MonoConversion, OnePlaneWhateverTheSourceSaid) {
  // The new rows are one plane of uncompressed bits, whatever biPlanes the
  // scanner wrote.
  for (std::uint16_t planes : {0, 1, 3}) {
    std::vector<unsigned char> bytes = Grey8({Row({0, 255, 0, 255})}, Levels(256, false));
    WriteU16(&bytes[dib_field::kPlanes], planes);
    Guarded g(bytes);
    const std::vector<unsigned char> mono = Mono(g);
    EXPECT_EQ(1, ReadU16(&mono[dib_field::kPlanes])) << planes;
    EXPECT_EQ(0u, U32At(mono, dib_field::kCompression)) << planes;
  }
}

TEST(MonoConversion, ImportantColoursBeyondTwoMeanAll) {
  DibFields f;
  f.clrImportant = 256;
  Guarded g(Grey8({Row({0, 255, 0, 255})}, Levels(256, false), false, f));
  EXPECT_EQ(0u, U32At(Mono(g), dib_field::kClrImportant));
  f.clrImportant = 2;
  Guarded h(Grey8({Row({0, 255, 0, 255})}, Levels(256, false), false, f));
  EXPECT_EQ(2u, U32At(Mono(h), dib_field::kClrImportant));
}

namespace {

// An 8-bit V5 bitmap 8 x 2 whose profile fields point at `profileOffset`
// (0: behind the rows, where the `profile` bytes are always appended) and
// give `declaredSize` as the profile's size (0: its true size).
std::vector<unsigned char> V5WithProfile(std::uint32_t csType, std::uint32_t intent,
                                         const std::vector<unsigned char> &profile,
                                         std::uint32_t profileOffset = 0,
                                         std::uint32_t declaredSize = 0) {
  DibFields f;
  f.headerSize = 124;
  f.xPelsPerMeter = 2835;
  f.yPelsPerMeter = 2835;
  std::vector<unsigned char> v =
      Grey8({Row({0, 255, 0, 255, 0, 255, 0, 255}), Row({255, 255, 0, 0, 255, 255, 0, 0})},
            Levels(256, false), false, f);
  WriteU32(&v[dib_field::kCSType], csType);
  for (std::size_t o = 60; o < 108; o += 4)
    WriteU32(&v[o], 0x01000000u + std::uint32_t(o)); // endpoints, gamma
  WriteU32(&v[dib_field::kIntent], intent);
  WriteU32(&v[dib_field::kProfileData],
           profileOffset ? profileOffset : static_cast<std::uint32_t>(v.size()));
  WriteU32(&v[dib_field::kProfileSize],
           declaredSize ? declaredSize : static_cast<std::uint32_t>(profile.size()));
  v.insert(v.end(), profile.begin(), profile.end());
  return v;
}

} // namespace

TEST(MonoConversion, V5HeaderKeepsItsColourSpaceAndIntent) {
  Guarded g(V5WithProfile(0x57696E20 /* LCS_WINDOWS_COLOR_SPACE */, 2, {}));
  const std::vector<unsigned char> mono = Mono(g);
  EXPECT_EQ(0x57696E20u, U32At(mono, dib_field::kCSType));
  EXPECT_EQ(2u, U32At(mono, dib_field::kIntent));
  for (std::size_t o = 60; o < 108; o += 4)
    EXPECT_EQ(0x01000000u + o, U32At(mono, o)) << o;
  EXPECT_EQ(2835u, U32At(mono, dib_field::kXPelsPerMeter));
  EXPECT_EQ(0u, U32At(mono, dib_field::kProfileData));
  EXPECT_EQ(0u, U32At(mono, dib_field::kProfileSize));
  EXPECT_EQ(0x55, mono[kMonoBits]);
  EXPECT_EQ(0xCC, mono[kMonoBits + 4]);
}

// A linked or embedded profile travels with the image when it
// lies inside the source block; otherwise it is dropped and the result says
// sRGB, so no header ever points at profile bytes that are not there.
TEST(MonoConversion, ColourProfileIsCopiedOrDropped) {
  std::vector<unsigned char> profile;
  for (int i = 0; i < 37; ++i)
    profile.push_back(static_cast<unsigned char>(0x40 + i));
  const std::vector<unsigned char> linked = {'C', ':', '\\', 'p', '.', 'i', 'c', 'm', 0};
  struct Case {
    const char *name;
    std::vector<unsigned char> source;
    const std::vector<unsigned char> *carried; // null: dropped
    std::uint32_t csType;
  } cases[] = {
      {"embedded, behind the rows", V5WithProfile(kProfileEmbedded, 8, profile), &profile,
       kProfileEmbedded},
      {"linked, behind the rows", V5WithProfile(kProfileLinked, 1, linked), &linked, kProfileLinked},
      {"embedded, said to be longer than the block", V5WithProfile(kProfileEmbedded, 8, profile, 0, 38),
       nullptr, kColorSpaceSrgb},
      {"embedded, far outside the block", V5WithProfile(kProfileEmbedded, 8, profile, 0xFFFFFFF0u),
       nullptr, kColorSpaceSrgb},
      {"embedded, said to start inside the header", V5WithProfile(kProfileEmbedded, 8, profile, 100),
       nullptr, kColorSpaceSrgb},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Guarded g(c.source);
    const std::vector<unsigned char> mono = Mono(g);
    const std::size_t rowsEnd = kMonoBits + 8;
    EXPECT_EQ(c.csType, U32At(mono, dib_field::kCSType));
    if (c.carried) {
      EXPECT_EQ(rowsEnd + c.carried->size() + 4, mono.size());
      EXPECT_EQ(rowsEnd, U32At(mono, dib_field::kProfileData));
      ASSERT_EQ(c.carried->size(), U32At(mono, dib_field::kProfileSize));
      EXPECT_EQ(*c.carried, std::vector<unsigned char>(mono.begin() + rowsEnd,
                                                       mono.begin() + rowsEnd + c.carried->size()));
      EXPECT_EQ(c.carried->size(), DibProfileSize(mono.data(), mono.size()));
    } else {
      EXPECT_EQ(0u, U32At(mono, dib_field::kProfileData));
      EXPECT_EQ(0u, U32At(mono, dib_field::kProfileSize));
      EXPECT_EQ(rowsEnd + 4, mono.size());
    }
  }
}

TEST(MonoConversion, V4HeaderClaimingAProfileBecomesSrgb) {
  DibFields f;
  f.headerSize = 108;
  std::vector<unsigned char> v = Grey8({Row({0, 200, 0, 200})}, Levels(256, false), false, f);
  WriteU32(&v[dib_field::kCSType], kProfileEmbedded);
  Guarded g(v);
  const std::vector<unsigned char> mono = Mono(g);
  EXPECT_EQ(kColorSpaceSrgb, U32At(mono, dib_field::kCSType));
  EXPECT_EQ(kIntentImages, U32At(mono, dib_field::kIntent));
}

TEST(MonoConversion, ShortRampThresholdsTheGreyOfEachEntry) {
  // 16 levels 0, 17, ..., 255: index 8 (136) is the first white one, and a
  // value beyond the table shows no colour and stays black.
  Guarded g(Grey8({Row({0, 7, 8, 15, 16, 200, 255, 9})}, Levels(16, false)));
  EXPECT_EQ(0x31, Mono(g)[kMonoBits]); // 0 0 1 1 0 0 0 1
}

TEST(MonoConversion, RefusesWhatIsNotAnEightBitRamp) {
  struct Case {
    const char *name;
    std::vector<unsigned char> bytes;
  } cases[] = {
      {"reversed table (not yet checked)", Grey8({Row({1, 2, 3, 4})}, Levels(256, true))},
      {"1-bit", OneRow(1, {0, 255}, 0xF0)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Guarded g(c.bytes);
    EXPECT_EQ(0u, MonoDibSize(g.data(), g.size()));
    std::vector<unsigned char> out(512, 0xEE);
    EXPECT_FALSE(WriteMonoDib(g.data(), g.size(), out.data(), out.size()));
    EXPECT_EQ(Fill(512, 0xEE), out);
  }
}

TEST(MonoConversion, TooSmallDestinationIsNotWritten) {
  Guarded g(Grey8({Row({1, 2, 3, 4})}, Levels(256, false)));
  const std::size_t size = MonoDibSize(g.data(), g.size());
  ASSERT_EQ(8u + 4 + 128, size);
  Guarded out(std::vector<unsigned char>(size - 1, 0xEE));
  EXPECT_FALSE(WriteMonoDib(g.data(), g.size(), out.data(), out.size()));
  EXPECT_EQ(Fill(size - 1, 0xEE), out.bytes());
  EXPECT_FALSE(WriteMonoDib(g.data(), g.size(), nullptr, size));
}

TEST(Rounding, HalfAwayFromZero) {
  struct Case {
    double x;
    std::int64_t r;
  } cases[] = {
      {0.0, 0},
      {2.5, 3},
      {-2.5, -3},
      {0.5, 1},
      {-0.5, -1},
      {1.4999999, 1},
      {-1.4999999, -1},
      {0.49999999999999994, 0},
      {4503599627370497.0, 4503599627370497},
      {11811.023622047245, 11811},
      {-316.98, -317},
      {1e300, INT64_MAX},
      {-1e300, INT64_MIN},
      {std::numeric_limits<double>::infinity(), INT64_MAX},
      {std::numeric_limits<double>::quiet_NaN(), 0},
  };
  for (const Case &c : cases)
    EXPECT_EQ(c.r, RoundHalfAwayFromZero(c.x)) << c.x;
}

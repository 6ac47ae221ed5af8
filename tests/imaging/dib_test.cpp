// Bitmaps in real global memory blocks of exactly the size of their bytes:
// the grey check and conversion through handles, DibImage's measures, and
// drawing into a DIB section through GDI, in one call and in bands.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "imaging/dib.h"
#include "imaging/dib_builder.h"
#include "imaging/dib_page.h"
#include "imaging/global_memory.h"

namespace {

HGLOBAL MakeBlock(const std::vector<unsigned char> &bytes) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  GlobalLockGuard lock(h);
  if (lock)
    std::memcpy(lock.data(), bytes.data(), bytes.size());
  return h;
}

std::vector<unsigned char> BlockBytes(HGLOBAL h) {
  GlobalLockGuard lock(h);
  if (!lock)
    return {};
  return {lock.bytes(), lock.bytes() + lock.size()};
}

bool PixelIsWhite(const std::vector<unsigned char> &mono, std::size_t row, std::size_t x) {
  const std::size_t stride = static_cast<std::size_t>(DibRowBytes(ReadU32(&mono[4]), 1));
  return (mono[kMonoBits + row * stride + x / 8] >> (7 - x % 8)) & 1;
}

// A 32-bit top-down DIB section selected into a memory DC, filled with a
// marker colour, to see exactly which pixels a drawing touched.
class Canvas {
public:
  static constexpr std::uint32_t kMarker = 0x00123456;

  explicit Canvas(int width = 40, int height = 30) : width_(width), height_(height) {
    dc_ = CreateCompatibleDC(nullptr);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<std::uint32_t *>(bits);
    old_ = SelectObject(dc_, bitmap_);
    SetStretchBltMode(dc_, COLORONCOLOR);
    for (int i = 0; bits_ && i < width_ * height_; ++i)
      bits_[i] = kMarker;
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  bool ok() const { return dc_ && bitmap_ && bits_; }
  HDC dc() const { return dc_; }
  std::uint32_t At(int x, int y) const {
    GdiFlush();
    return bits_[y * width_ + x] & 0x00FFFFFF;
  }
  std::vector<std::uint32_t> Line(int y) const {
    std::vector<std::uint32_t> row(static_cast<std::size_t>(width_));
    for (int x = 0; x < width_; ++x)
      row[std::size_t(x)] = At(x, y);
    return row;
  }
  int Touched() const {
    GdiFlush();
    int n = 0;
    for (int i = 0; i < width_ * height_; ++i)
      n += (bits_[i] & 0x00FFFFFF) != kMarker;
    return n;
  }

private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  std::uint32_t *bits_ = nullptr;
};

std::uint32_t Grey(int g) { return std::uint32_t(g) * 0x010101u; }

// The picture 4 wide, 3 high, top row first.
const std::vector<std::vector<unsigned char>> kPicture = {
    Row({10, 20, 30, 40}), Row({50, 60, 70, 80}), Row({90, 100, 110, 120})};

std::vector<unsigned char> PictureBottomUp() {
  return Grey8({kPicture[2], kPicture[1], kPicture[0]}, Levels(256, false));
}

std::vector<unsigned char> PictureTopDown() {
  return Grey8(kPicture, Levels(256, false), true);
}

} // namespace

TEST(DibHandle, NoHandleOrNoLockIsNoImage) {
  HGLOBAL discarded = GlobalAlloc(GMEM_MOVEABLE | GMEM_DISCARDABLE, 2000);
  ASSERT_NE(nullptr, discarded);
  ASSERT_EQ(discarded, GlobalDiscard(discarded));
  ASSERT_EQ(nullptr, GlobalLock(discarded)); // the lock fails from now on

  for (HGLOBAL h : {HGLOBAL(nullptr), discarded}) {
    EXPECT_EQ(0, DibBitCount(h));
    EXPECT_FALSE(NormalizeGreyPalette(h));
    EXPECT_FALSE(ConvertDibDepth(h, 1));
    DibImage image;
    image.Attach(GlobalBlock(h));
    EXPECT_EQ(h != nullptr, image.HasImage());
    EXPECT_EQ(0, image.GetWidth());
    EXPECT_EQ(0, image.GetHeight());
    EXPECT_EQ(0, image.GetXResolution(ResolutionPerInch));
    EXPECT_EQ(0, image.GetYResolution(ResolutionPerMeter));
    Canvas canvas;
    ASSERT_TRUE(canvas.ok());
    EXPECT_FALSE(image.Draw(canvas.dc(), 0, 0, 0, 0));
    EXPECT_EQ(0, canvas.Touched());
    EXPECT_TRUE(image.Free());
    EXPECT_FALSE(image.HasImage());
  }
}

TEST(DibHandle, ReversedTableIsInvertedThenConvertedAndLooksTheSame) {
  const std::vector<std::vector<unsigned char>> rows = {
      Row({0, 1, 126, 127, 128, 129, 254, 255, 60, 200, 100, 0, 255}),
      Row({255, 255, 255, 255, 0, 0, 0, 0, 127, 128, 127, 128, 5}),
      Row({200, 10, 200, 10, 200, 10, 200, 10, 200, 10, 200, 10, 200})};
  GlobalBlock source(MakeBlock(Grey8(rows, Levels(256, true))));
  const SIZE_T sourceSize = GlobalSize(source.get());
  GlobalBlock mono(ConvertDibDepth(source.get(), 1));
  ASSERT_NE(nullptr, mono.get());
  EXPECT_NE(source.get(), mono.get());
  EXPECT_EQ(1, DibBitCount(mono.get()));

  // The source stays, normalised: each pixel its own grey level.
  ASSERT_EQ(sourceSize, GlobalSize(source.get()));
  std::vector<std::vector<unsigned char>> inverted = rows;
  for (auto &r : inverted)
    for (auto &p : r)
      p = static_cast<unsigned char>(255 - p);
  EXPECT_EQ(Grey8(inverted, Levels(256, false)), BlockBytes(source.get()));

  // White wherever the source showed a grey of 128 or more.
  const std::vector<unsigned char> m = BlockBytes(mono.get());
  EXPECT_EQ(8u + 3 * 4 + 128, m.size());
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t x = 0; x < rows[r].size(); ++x)
      EXPECT_EQ(255 - rows[r][x] >= 128, PixelIsWhite(m, r, x)) << r << "," << x;
}

TEST(DibHandle, WhatIsNotConvertedStaysAsItWas) {
  struct Case {
    const char *name;
    std::vector<unsigned char> bytes;
  } cases[] = {
      {"colour table", Grey8({Row({1, 2, 3, 4})}, Levels(256, false))},
      {"1-bit", OneRow(1, {0, 255}, 0x3C)},
      {"4-bit reversed grey", OneRow(4, Levels(16, true), 0x3C)},
      {"24-bit", OneRow(24, {}, 0x3C)},
  };
  cases[0].bytes[40 + 4 * 200] = 7; // blue of entry 200
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    GlobalBlock block(MakeBlock(c.bytes));
    EXPECT_FALSE(ConvertDibDepth(block.get(), 1));
    EXPECT_EQ(c.bytes, BlockBytes(block.get()));
  }
}

// Only a request for 1 bit converts; the grey check runs (and may
// normalise the source) whatever was asked.
TEST(DibHandle, RequestedBitCounts) {
  const int requests[] = {1, 8, 4, 24, 0, -1};
  for (int request : requests) {
    SCOPED_TRACE(request);
    GlobalBlock source(MakeBlock(Grey8({Row({0, 100, 200, 255})}, Levels(256, true))));
    GlobalBlock result(ConvertDibDepth(source.get(), request));
    EXPECT_EQ(request == 1, result.get() != nullptr);
    EXPECT_EQ(Grey8({Row({255, 155, 55, 0})}, Levels(256, false)), BlockBytes(source.get()));
  }
}

TEST(DibHandle, HostileBlocksAreAnsweredWithoutTouchingThem) {
  struct Case {
    const char *name;
    DibFields f;
    std::size_t bytes; // block size; 0: header + 256 entries + 64 bytes
  } cases[] = {
      {"rows one byte short", {40, 8, 2, 8, 0, 0}, 40 + 1024 + 8 - 1},
      {"table cut off", {40, 8, 2, 8, 0, 0}, 40 + 600},
      {"header only", {40, 8, 2, 8, 0, 0}, 40},
      {"width 0x7FFFFFFF", {40, 0x7FFFFFFF, 1, 8, 0, 0}, 0},
      {"height INT_MIN", {40, 4, INT_MIN, 8, 0, 0}, 0},
      {"height 0x7FFFFFFF", {40, 4, 0x7FFFFFFF, 8, 0, 0}, 0},
      {"negative width", {40, -4, 2, 8, 0, 0}, 0},
      {"bit count 0", {40, 4, 2, 0, 0, 0}, 0},
      {"bit count 2", {40, 4, 2, 2, 0, 0}, 0},
      {"bit count 3", {40, 4, 2, 3, 0, 0}, 0},
      {"bit count 64", {40, 4, 2, 64, 0, 0}, 0},
      {"colours used 0x80000000", {40, 4, 2, 8, 0, 0x80000000u}, 0},
      {"header size 0x7FFFFFFF", {0x7FFFFFFF, 4, 2, 8, 0, 0}, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<unsigned char> bytes = DibHeader(c.f);
    WriteU32(&bytes[dib_field::kXPelsPerMeter], 11811);
    AppendGreys(bytes, Levels(256, true));
    bytes.resize(c.bytes ? c.bytes : bytes.size() + 64, 0x5A);
    HGLOBAL h = MakeBlock(bytes);
    ASSERT_EQ(bytes.size(), GlobalSize(h));
    EXPECT_EQ(0, DibBitCount(h));
    EXPECT_FALSE(NormalizeGreyPalette(h));
    EXPECT_FALSE(ConvertDibDepth(h, 1));
    EXPECT_FALSE(IsUsableDib(h));
    {
      DibImage image;
      image.Attach(GlobalBlock(h));
      EXPECT_TRUE(image.HasImage());
      EXPECT_EQ(0, image.GetWidth());
      EXPECT_EQ(0, image.GetHeight());
      EXPECT_EQ(0, image.GetXResolution(ResolutionPerInch));
      Canvas canvas;
      ASSERT_TRUE(canvas.ok());
      EXPECT_FALSE(image.Draw(canvas.dc(), 0, 0, 0, 0));
      EXPECT_FALSE(image.Draw(canvas.dc(), 0, 0, 10, 10));
      EXPECT_EQ(0, canvas.Touched());
      EXPECT_EQ(bytes, BlockBytes(h));
    } // the image frees the block
  }
}

TEST(DibImageOwner, AttachFreeAndDestroy) {
  HGLOBAL first = MakeBlock(PictureBottomUp());
  HGLOBAL second = MakeBlock(PictureBottomUp());
  {
    DibImage image;
    EXPECT_FALSE(image.HasImage());
    image.Attach(GlobalBlock(first));
    EXPECT_EQ(first, image.Handle());
    EXPECT_NE(0u, GlobalSize(first));
    image.Attach(GlobalBlock(second)); // the first is released as the second is taken
    EXPECT_EQ(0u, GlobalSize(first));
    EXPECT_EQ(second, image.Handle());
    EXPECT_EQ(4, image.GetWidth());
    EXPECT_EQ(3, image.GetHeight());
  }
  EXPECT_EQ(0u, GlobalSize(second)); // freed on destruction

  HGLOBAL third = MakeBlock(PictureTopDown());
  DibImage image;
  image.Attach(GlobalBlock(third));
  EXPECT_EQ(3, image.GetHeight()); // the absolute value
  EXPECT_TRUE(image.Free());
  EXPECT_FALSE(image.HasImage());
  EXPECT_EQ(0u, GlobalSize(third));
  EXPECT_TRUE(image.Free()); // nothing left to free
}

TEST(DibImageOwner, ResolutionsInBothUnits) {
  struct Case {
    std::int32_t perMetre;
    std::int64_t perInch, asStored;
  } cases[] = {
      {11811, 300, 11811}, {5906, 150, 5906}, {2835, 72, 2835}, {23622, 600, 23622},
      {1, 0, 1},           {19685, 500, 19685}, {0, 0, 0},       {-11811, 0, 0},
      {0x7FFFFFFF, 54546085, 0x7FFFFFFF},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.perMetre);
    DibFields f;
    f.xPelsPerMeter = c.perMetre;
    f.yPelsPerMeter = 3937; // 100 dpi
    DibImage image;
    image.Attach(
        GlobalBlock(MakeBlock(Grey8({Row({1, 2, 3, 4})}, Levels(256, false), false, f))));
    EXPECT_EQ(c.perInch, image.GetXResolution(ResolutionPerInch));
    EXPECT_EQ(c.asStored, image.GetXResolution(ResolutionPerMeter));
    EXPECT_EQ(100, image.GetYResolution(ResolutionPerInch));
    EXPECT_EQ(3937, image.GetYResolution(ResolutionPerMeter));
    for (int unit : {0, 3, -1}) {
      EXPECT_EQ(0, image.GetXResolution(unit));
      EXPECT_EQ(0, image.GetYResolution(unit));
    }
  }
}

TEST(DibImageDraw, OwnSizeTopRowOnTop) {
  for (const auto &bytes : {PictureBottomUp(), PictureTopDown()}) {
    SCOPED_TRACE(bytes[8] == 3 ? "bottom-up" : "top-down");
    DibImage image;
    image.Attach(GlobalBlock(MakeBlock(bytes)));
    Canvas canvas;
    ASSERT_TRUE(canvas.ok());
    ASSERT_TRUE(image.Draw(canvas.dc(), 5, 7, 0, 0));
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x)
        EXPECT_EQ(Grey(kPicture[y][x]), canvas.At(5 + x, 7 + y)) << x << "," << y;
    EXPECT_EQ(12, canvas.Touched());
  }
}

TEST(DibImageDraw, ScaledToTheRectangle) {
  DibImage image;
  image.Attach(GlobalBlock(MakeBlock(PictureBottomUp())));
  Canvas canvas;
  ASSERT_TRUE(canvas.ok());
  ASSERT_TRUE(image.Draw(canvas.dc(), 10, 12, 8, 9)); // 2 x 3 per pixel
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(Grey(kPicture[y / 3][x / 2]), canvas.At(10 + x, 12 + y)) << x << "," << y;
  EXPECT_EQ(72, canvas.Touched());
}

TEST(DibImageDraw, ConvertedPageDrawsBlackAndWhite) {
  // 9 wide, so that the last pixel sits alone in the second byte of a row.
  const std::vector<std::vector<unsigned char>> picture = {
      Row({255, 0, 128, 127, 255, 0, 0, 0, 200}), Row({0, 255, 0, 255, 0, 255, 0, 255, 10})};
  GlobalBlock source(MakeBlock(Grey8(picture, Levels(256, false), true)));
  DibImage image;
  image.Attach(ConvertDibDepth(source.get(), 1));
  ASSERT_TRUE(image.HasImage());
  EXPECT_EQ(9, image.GetWidth());
  EXPECT_EQ(2, image.GetHeight());
  Canvas canvas;
  ASSERT_TRUE(canvas.ok());
  ASSERT_TRUE(image.Draw(canvas.dc(), 0, 0, 0, 0));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 9; ++x)
      EXPECT_EQ(picture[y][x] >= 128 ? 0xFFFFFFu : 0u, canvas.At(x, y)) << x << "," << y;
  EXPECT_EQ(Canvas::kMarker, canvas.At(9, 0));
  EXPECT_EQ(Canvas::kMarker, canvas.At(0, 2));
}

// Some sources hand a page over as a GDI bitmap: its pixels come out in a
// packed DIB of 24 bits, bottom-up, whatever form the bitmap had.
TEST(DibFromBitmap, EveryFormOfBitmapGivesThePicture) {
  struct Case {
    const char *what;
    int bitCount; // 0: a device-dependent bitmap
    bool topDown;
    LONG pelsPerMeter;
  } cases[] = {
      {"top-down 24-bit DIB section", 24, true, 0},
      {"bottom-up 24-bit DIB section with a resolution", 24, false, 11811},
      {"8-bit DIB section", 8, false, 0},
      {"32-bit DIB section", 32, true, 3937},
      {"device-dependent bitmap", 0, false, 0},
  };
  const std::vector<unsigned char> picture = PictureBottomUp();
  const auto *pictureInfo = reinterpret_cast<const BITMAPINFO *>(picture.data());
  const unsigned char *pictureBits = picture.data() + 40 + 256 * 4;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = nullptr;
    if (c.bitCount == 0) {
      bitmap = CreateCompatibleBitmap(screen, 4, 3);
    } else {
      std::vector<unsigned char> info(sizeof(BITMAPINFOHEADER) + 256 * 4, 0);
      auto *header = reinterpret_cast<BITMAPINFOHEADER *>(info.data());
      header->biSize = sizeof(BITMAPINFOHEADER);
      header->biWidth = 4;
      header->biHeight = c.topDown ? -3 : 3;
      header->biPlanes = 1;
      header->biBitCount = WORD(c.bitCount);
      header->biXPelsPerMeter = header->biYPelsPerMeter = c.pelsPerMeter;
      std::memcpy(info.data() + sizeof(BITMAPINFOHEADER), picture.data() + 40, 256 * 4);
      void *bits = nullptr;
      bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO *>(info.data()),
                                DIB_RGB_COLORS, &bits, nullptr, 0);
    }
    ASSERT_NE(nullptr, bitmap);
    ASSERT_EQ(3, SetDIBits(screen, bitmap, 0, 3, pictureBits, pictureInfo, DIB_RGB_COLORS));
    ReleaseDC(nullptr, screen);

    GlobalBlock dib = PackedDibFromBitmap(bitmap);
    EXPECT_NE(0, GetObjectType(bitmap)) << "the bitmap stays with its owner";
    DeleteObject(bitmap);
    ASSERT_TRUE(dib);
    EXPECT_TRUE(IsUsableDib(dib.get()));
    EXPECT_EQ(24, DibBitCount(dib.get()));
    EXPECT_LT(0, std::int32_t(ReadU32(BlockBytes(dib.get()).data() + dib_field::kHeight)));
    DibImage image;
    image.Attach(std::move(dib));
    EXPECT_EQ(4, image.GetWidth());
    EXPECT_EQ(3, image.GetHeight());
    EXPECT_EQ(c.pelsPerMeter, image.GetXResolution(ResolutionPerMeter));
    EXPECT_EQ(c.pelsPerMeter, image.GetYResolution(ResolutionPerMeter));
    Canvas canvas;
    ASSERT_TRUE(canvas.ok());
    ASSERT_TRUE(image.Draw(canvas.dc(), 0, 0, 0, 0));
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x)
        EXPECT_EQ(Grey(kPicture[y][x]), canvas.At(x, y)) << x << "," << y;
  }

  // A GDI object that is no bitmap, and a bitmap already deleted: nothing.
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  EXPECT_FALSE(PackedDibFromBitmap(reinterpret_cast<HBITMAP>(brush)));
  DeleteObject(brush);
  HBITMAP gone = CreateBitmap(4, 3, 1, 32, nullptr);
  DeleteObject(gone);
  EXPECT_FALSE(PackedDibFromBitmap(gone));
}

namespace {

// A page of 29 x 61 pixels whose rows all differ, even when the page is
// drawn narrower, at 1, 8 or 24 bits, stored either way up. At 1 bit the
// row number is written in binary, each bit four pixels wide.
constexpr int kPageWidth = 29, kPageHeight = 61;

bool MonoPixel(int x, int y) { return x < 24 ? (y >> (x / 4)) & 1 : (x + y) & 1; }

std::vector<unsigned char> TestPage(int bits, bool topDown) {
  DibFields f;
  f.width = kPageWidth;
  f.height = topDown ? -kPageHeight : kPageHeight;
  f.bitCount = static_cast<std::uint16_t>(bits);
  std::vector<unsigned char> v = DibHeader(f);
  if (bits == 1)
    AppendGreys(v, {0, 255});
  else if (bits == 8)
    AppendGreys(v, Levels(256, false));
  const std::size_t stride = static_cast<std::size_t>(DibRowBytes(kPageWidth, bits));
  const std::size_t bitsAt = v.size();
  v.resize(bitsAt + stride * kPageHeight, 0);
  for (int y = 0; y < kPageHeight; ++y) {
    unsigned char *row = &v[bitsAt + std::size_t(topDown ? y : kPageHeight - 1 - y) * stride];
    for (int x = 0; x < kPageWidth; ++x) {
      if (bits == 1) {
        if (MonoPixel(x, y))
          row[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
      } else if (bits == 8) {
        row[x] = static_cast<unsigned char>(y * 4 + x);
      } else {
        row[3 * x] = static_cast<unsigned char>(x * 10);
        row[3 * x + 1] = static_cast<unsigned char>(y * 4);
        row[3 * x + 2] = static_cast<unsigned char>((x + y) * 3);
      }
    }
  }
  return v;
}

// Which page row a line of a canvas `lineWidth` wide shows, the page drawn
// `width` wide from `left`: the page drawn so, one device row per page row,
// is the key. -1 for a line that is no row of the page.
class RowKey {
public:
  RowKey(HGLOBAL page, int left, int width, int lineWidth) : canvas_(lineWidth, kPageHeight) {
    ok_ = canvas_.ok() &&
          DrawDibPage(page, canvas_.dc(), left, 0, width, kPageHeight, StretchDIBits);
    for (int y = 0; ok_ && y < kPageHeight; ++y)
      for (int other = 0; other < y; ++other)
        ok_ = ok_ && canvas_.Line(y) != canvas_.Line(other);
  }
  bool ok() const { return ok_; }
  int RowOf(const std::vector<std::uint32_t> &line) const {
    for (int y = 0; y < kPageHeight; ++y)
      if (canvas_.Line(y) == line)
        return y;
    return -1;
  }

private:
  Canvas canvas_;
  bool ok_ = false;
};

// StretchDIBits of a driver that will not take more than a few rows at a
// time; what it takes goes to GDI, and where each band landed is noted.
int g_refuseAbove = 0;
int g_refusal = int(GDI_ERROR);
std::vector<std::pair<int, int>> g_bandsDrawn; // destination top, height
int g_calls = 0;

int WINAPI SmallBandsOnly(HDC dc, int x, int y, int width, int height, int sourceX, int sourceY,
                          int sourceWidth, int sourceHeight, const void *bits,
                          const BITMAPINFO *info, UINT usage, DWORD rop) {
  ++g_calls;
  if (sourceHeight > g_refuseAbove)
    return g_refusal;
  g_bandsDrawn.push_back({y, height});
  return StretchDIBits(dc, x, y, width, height, sourceX, sourceY, sourceWidth, sourceHeight, bits,
                       info, usage, rop);
}

} // namespace

// On a real device context, a page drawn in bands is the page drawn in one
// call: pixel for pixel at 100 %. At other scales a band may place its rows
// up to one device pixel higher than the one call does: each line of the
// banded drawing then shows a page row that the one-call drawing shows on
// that line or between its neighbours, never anything else.
TEST(DibPageDraw, BandsDrawWhatTheOneCallDraws) {
  constexpr int kLeft = 3, kTop = 5;
  for (bool topDown : {false, true}) {
    for (int bits : {1, 8, 24}) {
      for (std::uint32_t scale : {10000u, 14138u, 5000u}) {
        SCOPED_TRACE(std::string(topDown ? "top-down " : "bottom-up ") + std::to_string(bits) +
                     "-bit at " + std::to_string(scale));
        const int width = int(kPageWidth * scale / 10000);
        const int height = int(kPageHeight * scale / 10000);
        GlobalBlock page(MakeBlock(TestPage(bits, topDown)));
        Canvas once(kLeft + width + 2, kTop + height + 2), banded(kLeft + width + 2,
                                                                  kTop + height + 2);
        ASSERT_TRUE(once.ok() && banded.ok());
        ASSERT_TRUE(DrawDibPage(page.get(), once.dc(), kLeft, kTop, width, height,
                                StretchDIBits));
        g_refuseAbove = 7;
        g_refusal = int(GDI_ERROR);
        g_bandsDrawn.clear();
        ASSERT_TRUE(DrawDibPage(page.get(), banded.dc(), kLeft, kTop, width, height,
                                SmallBandsOnly));

        // The bands cover the rectangle, one after the other.
        ASSERT_GT(g_bandsDrawn.size(), 1u);
        int next = kTop;
        for (const auto &band : g_bandsDrawn) {
          EXPECT_EQ(next, band.first);
          next = band.first + band.second;
        }
        EXPECT_EQ(kTop + height, next);
        EXPECT_EQ(width * height, banded.Touched());
        EXPECT_EQ(width * height, once.Touched());

        if (scale == 10000) {
          for (int y = 0; y < kTop + height + 2; ++y)
            EXPECT_EQ(once.Line(y), banded.Line(y)) << "device row " << y;
          continue;
        }
        const RowKey key(page.get(), kLeft, width, kLeft + width + 2);
        ASSERT_TRUE(key.ok());
        for (int y = kTop; y < kTop + height; ++y) {
          SCOPED_TRACE("device row " + std::to_string(y));
          const int shown = key.RowOf(banded.Line(y));
          const int above = y > kTop ? key.RowOf(once.Line(y - 1)) : 0;
          const int below = y + 1 < kTop + height ? key.RowOf(once.Line(y + 1)) : kPageHeight - 1;
          ASSERT_GE(shown, 0);
          ASSERT_GE(above, 0);
          ASSERT_GE(below, 0);
          EXPECT_LE(above, shown);
          EXPECT_LE(shown, below);
        }
      }
    }
  }
}

// A driver that draws nothing: neither the page nor a band of one row. It
// may say so with GDI_ERROR or with 0, a call that copied no scan line.
TEST(DibPageDraw, PageNoBandOfWhichIsTakenIsNotDrawn) {
  for (int refusal : {int(GDI_ERROR), 0}) {
    SCOPED_TRACE(refusal);
    GlobalBlock page(MakeBlock(TestPage(24, false)));
    Canvas canvas(kPageWidth, kPageHeight);
    ASSERT_TRUE(canvas.ok());
    g_refuseAbove = 0;
    g_refusal = refusal;
    g_calls = 0;
    EXPECT_FALSE(DrawDibPage(page.get(), canvas.dc(), 0, 0, kPageWidth, kPageHeight,
                             SmallBandsOnly));
    EXPECT_GT(g_calls, 1) << "bands were offered";
    EXPECT_EQ(0, canvas.Touched());
  }
  // Nothing to draw into, or no bitmap to draw.
  Canvas canvas;
  GlobalBlock page(MakeBlock(TestPage(8, true)));
  EXPECT_FALSE(DrawDibPage(page.get(), canvas.dc(), 0, 0, 0, 10, StretchDIBits));
  EXPECT_FALSE(DrawDibPage(page.get(), canvas.dc(), 0, 0, 10, -1, StretchDIBits));
  EXPECT_FALSE(DrawDibPage(nullptr, canvas.dc(), 0, 0, 10, 10, StretchDIBits));
  EXPECT_EQ(0, canvas.Touched());
}

namespace {

// What the header handed to StretchDIBits says of its colour profile, and
// whether that profile lies inside what the caller handed over.
struct SeenProfile {
  std::uint32_t csType = 0, profileData = 0, profileSize = 0;
  int calls = 0;
};
SeenProfile g_seen;

int WINAPI NoteProfile(HDC, int, int, int, int, int, int, int, int sourceHeight, const void *,
                       const BITMAPINFO *info, UINT, DWORD) {
  const auto *h = reinterpret_cast<const unsigned char *>(info);
  g_seen.csType = ReadU32(h + dib_field::kCSType);
  g_seen.profileData = ReadU32(h + dib_field::kProfileData);
  g_seen.profileSize = ReadU32(h + dib_field::kProfileSize);
  ++g_seen.calls;
  return sourceHeight;
}

// A 24-bit page with a V5 header naming an embedded profile of 16 bytes
// at `profileData` (counted from the header); the block ends after the
// rows, with `tail` bytes more.
std::vector<unsigned char> PageWithProfile(std::uint32_t profileData, std::size_t tail) {
  DibFields f;
  f.headerSize = 124;
  f.width = 4;
  f.height = 3;
  f.bitCount = 24;
  std::vector<unsigned char> v = DibHeader(f);
  WriteU32(&v[dib_field::kCSType], kProfileEmbedded);
  WriteU32(&v[dib_field::kProfileData], profileData);
  WriteU32(&v[dib_field::kProfileSize], 16);
  v.resize(v.size() + 3 * 12 + tail, 0x5A);
  return v;
}

} // namespace

// A page whose header points GDI at a colour profile beyond its block (a
// source's bad offset) is drawn with a header of its own without the
// profile; a profile that is inside the block is handed on as it is.
TEST(DibPageDraw, ProfileOutsideTheBlockIsNotHandedToTheDriver) {
  const std::uint32_t rowsEnd = 124 + 3 * 12;
  const struct {
    const char *what;
    std::uint32_t profileData;
    std::size_t tail;
    bool kept;
  } cases[] = {
      {"inside, after the rows", rowsEnd, 16, true},
      {"one byte short", rowsEnd, 15, false},
      {"far outside", 0x7FFFFFF0u, 16, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    GlobalBlock page(MakeBlock(PageWithProfile(c.profileData, c.tail)));
    g_seen = SeenProfile();
    ASSERT_TRUE(DrawDibPage(page.get(), nullptr, 0, 0, 4, 3, NoteProfile));
    EXPECT_EQ(1, g_seen.calls);
    if (c.kept) {
      EXPECT_EQ(kProfileEmbedded, g_seen.csType);
      EXPECT_EQ(c.profileData, g_seen.profileData);
      EXPECT_EQ(16u, g_seen.profileSize);
    } else {
      EXPECT_EQ(kColorSpaceSrgb, g_seen.csType);
      EXPECT_EQ(0u, g_seen.profileSize);
    }
  }
}

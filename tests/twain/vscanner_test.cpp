// The virtual scanner's own pieces: its INI reader, the images it draws and
// the identity whose ScannerId is 0xA510B7A9.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tools/twainsim/sim_record.h"
#include "tools/vscanner/vscanner_config.h"
#include "tools/vscanner/vscanner_image.h"
#include "tools/vscanner/vscanner_sim.h"
#include "tools/vscanner/vscanner_trace.h"
#include "twain/scanner_profile.h"

using namespace vscanner;

namespace {

std::uint32_t U32At(const std::vector<std::uint8_t> &b, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

std::vector<std::uint8_t> Render(const ImageRequest &request, DibLayout &layout,
                                 const RgbPicture *picture = nullptr) {
  EXPECT_TRUE(PlanDib(request, layout));
  std::vector<std::uint8_t> dib(layout.totalBytes);
  EXPECT_TRUE(RenderDib(request, layout, picture, dib.data(), dib.size()));
  return dib;
}

std::uint32_t IdOf(const SourceSetup &setup) { return ScannerIdOf(IdentityOf(setup)); }

} // namespace

TEST(VirtualScannerIdentity, SpecialSourceHasTheGreyscaleBwScannerId) {
  const SourceSetup setup = SpecialBwSource();
  EXPECT_EQ("ZV Greyscale 1-bit TzGuxPPT", setup.productName);
  EXPECT_EQ(0xA510B7A9u, IdOf(setup));
  // Reached through the INI preset as well, in any position of the section.
  const Config config = ParseConfig("[Source]\nXferReadyDelay=5\nPreset=A510B7A9\n");
  ASSERT_EQ(1u, config.sources.size());
  EXPECT_EQ(0xA510B7A9u, IdOf(config.sources[0]));
  EXPECT_EQ(5u, config.sources[0].xferReadyDelayMs);
  // One character off, and the identifier is another.
  SourceSetup other = setup;
  other.productName.back() = 'Q';
  EXPECT_NE(0xA510B7A9u, IdOf(other));
  EXPECT_NE(0xA510B7A9u, IdOf(DefaultSource()));
}

TEST(VirtualScannerConfig, DefaultsWithoutAnyFile) {
  for (const Config &config : {DefaultConfig(), ParseConfig(""), ParseConfig("; only a comment\n")}) {
    ASSERT_EQ(1u, config.sources.size());
    const SourceSetup &s = config.sources[0];
    EXPECT_EQ("Zelvantor Virtual Scanner", s.productName);
    EXPECT_EQ(ValueForm::List, s.resolutions.form);
    EXPECT_EQ((std::vector<double>{75, 100, 150, 200, 300, 600, 1200}), s.resolutions.values);
    EXPECT_EQ((std::vector<int>{0, 1, 2}), s.pixelTypes);
    EXPECT_EQ((std::vector<int>{0}), s.units);
    EXPECT_DOUBLE_EQ(8.5, s.physicalWidth);
    EXPECT_DOUBLE_EQ(11.69, s.physicalHeight);
    EXPECT_EQ(ValueForm::Range, s.brightness.form);
    EXPECT_DOUBLE_EQ(-1000, s.brightness.minValue);
    EXPECT_DOUBLE_EQ(1000, s.brightness.maxValue);
    EXPECT_TRUE(s.uiControllable);
    EXPECT_EQ(Behaviour::Deliver, s.behaviour);
    EXPECT_TRUE(s.imagePath.empty());
    EXPECT_TRUE(config.tracePath.empty());
    EXPECT_TRUE(config.warnings.empty());
  }
}

TEST(VirtualScannerConfig, ReadsEveryKey) {
  const Config config = ParseConfig(
      "\xEF\xBB\xBF; a full file\r\n"
      "[Manager]\r\n"
      "Trace = C:\\temp\\vs trace.log\r\n"
      "Default=2\r\n"
      "CountFrees=yes\r\n"
      "[Source One]\r\n"
      "Resolutions=50..1200/25\r\n"
      "ResolutionDefault=400\r\n"
      "Brightness=0\r\n"
      "UIControllable=no\r\n"
      "Behaviour=TwoImages\r\n"
      "EnableDS=CheckStatus\r\n"
      "[source two]\r\n"
      "manufacturer=Acme\r\n"
      "ProductFamily=Scan\r\n"
      "ProductName=Acme Scan 1 with a name that is far too long for it\r\n"
      "VersionInfo=2.5 beta\r\n"
      "Version=2.5\r\n"
      "Protocol=1.6\r\n"
      "Resolutions=300\r\n"
      "PixelTypes=GRAY,rgb,3\r\n"
      "PixelTypeDefault=RGB\r\n"
      "Units=centimeters,INCHES\r\n"
      "NativeResolution=1200\r\n"
      "YNativeResolution=2400\r\n"
      "PhysicalWidth=8.27\r\n"
      "PhysicalHeight=14\r\n"
      "Brightness=-500..500/10\r\n"
      "BrightnessDefault=100\r\n"
      "Behaviour=CloseRequest\r\n"
      "EnableDS=failure\r\n"
      "OpenDS=Failure\r\n"
      "NativeImage=Bitmap\r\n"
      "XferReadyDelay=2000\r\n"
      "HeaderFaults=ZeroPelsPerMeter, ZeroColourCount,ZeroImageSize,ReversedGreyPalette\r\n"
      "Image=pages\\letter.bmp\r\n");
  EXPECT_TRUE(config.warnings.empty()) << config.warnings.front();
  EXPECT_EQ("C:\\temp\\vs trace.log", config.tracePath);
  ASSERT_EQ(2u, config.sources.size());
  EXPECT_EQ(1u, config.defaultSource);
  EXPECT_TRUE(config.countFrees);

  const SourceSetup &a = config.sources[0];
  EXPECT_EQ("Zelvantor Virtual Scanner", a.productName);
  EXPECT_EQ(ValueForm::Range, a.resolutions.form);
  EXPECT_DOUBLE_EQ(50, a.resolutions.minValue);
  EXPECT_DOUBLE_EQ(1200, a.resolutions.maxValue);
  EXPECT_DOUBLE_EQ(25, a.resolutions.step);
  EXPECT_DOUBLE_EQ(400, a.resolutions.defaultValue);
  EXPECT_EQ(ValueForm::One, a.brightness.form);
  EXPECT_FALSE(a.uiControllable);
  EXPECT_EQ(Behaviour::TwoImages, a.behaviour);
  EXPECT_EQ(EnableAnswer::CheckStatus, a.enableAnswer);
  EXPECT_FALSE(a.refuseOpen);
  EXPECT_EQ(TWRC_SUCCESS, ToSimSource(a).behaviour.openRc);
  EXPECT_FALSE(a.bitmapImage);
  EXPECT_FALSE(ToSimSource(a).behaviour.bitmapImage);

  const SourceSetup &b = config.sources[1];
  EXPECT_EQ("Acme", b.manufacturer);
  EXPECT_EQ("Scan", b.productFamily);
  EXPECT_EQ(33u, b.productName.size());
  EXPECT_EQ("2.5 beta", b.versionInfo);
  EXPECT_EQ(2, b.versionMajor);
  EXPECT_EQ(5, b.versionMinor);
  EXPECT_EQ(1, b.protocolMajor);
  EXPECT_EQ(6, b.protocolMinor);
  EXPECT_EQ(ValueForm::One, b.resolutions.form);
  EXPECT_DOUBLE_EQ(300, b.resolutions.defaultValue);
  EXPECT_EQ((std::vector<int>{1, 2, 3}), b.pixelTypes);
  EXPECT_EQ(2, b.pixelTypeDefault);
  EXPECT_EQ((std::vector<int>{1, 0}), b.units);
  EXPECT_EQ(1, b.unitDefault);
  EXPECT_DOUBLE_EQ(1200, b.xNativeResolution);
  EXPECT_DOUBLE_EQ(2400, b.yNativeResolution);
  EXPECT_DOUBLE_EQ(8.27, b.physicalWidth);
  EXPECT_DOUBLE_EQ(14, b.physicalHeight);
  EXPECT_EQ(ValueForm::Range, b.brightness.form);
  EXPECT_DOUBLE_EQ(100, b.brightness.defaultValue);
  EXPECT_EQ(Behaviour::CloseRequest, b.behaviour);
  EXPECT_EQ(EnableAnswer::Failure, b.enableAnswer);
  EXPECT_TRUE(b.refuseOpen);
  EXPECT_EQ(TWRC_FAILURE, ToSimSource(b).behaviour.openRc);
  EXPECT_TRUE(b.bitmapImage);
  EXPECT_TRUE(ToSimSource(b).behaviour.bitmapImage);
  EXPECT_EQ(2000u, b.xferReadyDelayMs);
  EXPECT_TRUE(b.faults.zeroPelsPerMeter && b.faults.zeroColourCount && b.faults.zeroImageSize &&
              b.faults.reversedGreyPalette);
  EXPECT_EQ("pages\\letter.bmp", b.imagePath);
}

// Bad lines leave the previous value and are reported with their number.
TEST(VirtualScannerConfig, ManagerWithoutSources) {
  const Config none = ParseConfig("[Manager]\nSources=none\n");
  EXPECT_TRUE(none.noSources);
  EXPECT_TRUE(none.sources.empty());
  EXPECT_TRUE(none.warnings.empty());
  EXPECT_EQ(-1, ToSimConfig(none, L"").defaultSource);

  const Config ignored = ParseConfig("[Manager]\nSources=none\n[Source]\nPreset=Flatbed\n");
  EXPECT_TRUE(ignored.sources.empty());
  EXPECT_EQ(1u, ignored.warnings.size());

  const Config bad = ParseConfig("[Manager]\nSources=some\n");
  EXPECT_FALSE(bad.noSources);
  EXPECT_EQ(1u, bad.sources.size());
  EXPECT_EQ(1u, bad.warnings.size());
  EXPECT_EQ(0, ToSimConfig(bad, L"").defaultSource);
}

TEST(VirtualScannerConfig, BadValuesAreNotedAndIgnored) {
  struct Case {
    const char *line;
  } cases[] = {
      {"Resolutions=0,300"},      {"Resolutions=1200..50"},  {"Resolutions=abc"},
      {"Resolutions=50..100/0"},  {"ResolutionDefault=333"}, {"PixelTypes=9"},
      {"PixelTypes=sepia"},       {"Units=furlongs"},        {"Version=1"},
      {"Protocol=1.70000"},       {"UIControllable=maybe"},  {"Behaviour=explode"},
      {"EnableDS=later"},         {"OpenDS=sometimes"},      {"XferReadyDelay=-5"},
      {"XferReadyDelay=99999999999"}, {"NativeImage=jpeg"},
      {"HeaderFaults=Everything"},{"PhysicalWidth=-1"},      {"NativeResolution=nan"},
      {"Colour=blue"},            {"no equals sign"},        {"Brightness=0,100"},
  };
  for (const Case &c : cases) {
    const Config config = ParseConfig(std::string("[Source]\nProductName=Kept\n") + c.line + "\n");
    ASSERT_EQ(1u, config.sources.size()) << c.line;
    const SourceSetup &s = config.sources[0];
    const SourceSetup d = DefaultSource();
    EXPECT_EQ(1u, config.warnings.size()) << c.line;
    if (!config.warnings.empty()) {
      EXPECT_EQ(0u, config.warnings[0].rfind("line 3: ", 0)) << config.warnings[0];
    }
    EXPECT_EQ("Kept", s.productName) << c.line;
    EXPECT_EQ(d.resolutions.values, s.resolutions.values) << c.line;
    EXPECT_DOUBLE_EQ(d.resolutions.defaultValue, s.resolutions.defaultValue) << c.line;
    EXPECT_EQ(d.pixelTypes, s.pixelTypes) << c.line;
    EXPECT_EQ(d.units, s.units) << c.line;
    EXPECT_EQ(d.behaviour, s.behaviour) << c.line;
    EXPECT_EQ(d.xferReadyDelayMs, s.xferReadyDelayMs) << c.line;
    EXPECT_DOUBLE_EQ(d.physicalWidth, s.physicalWidth) << c.line;
    EXPECT_EQ(d.brightness.form, s.brightness.form) << c.line;
  }
  // A manager key of no meaning leaves the frees uncounted.
  const Config uncounted = ParseConfig("[Manager]\nCountFrees=perhaps\n");
  EXPECT_FALSE(uncounted.countFrees);
  EXPECT_EQ(1u, uncounted.warnings.size());

  // A default that names no source falls back to the first.
  const Config config = ParseConfig("[Manager]\nDefault=3\n[Source]\n[Source]\n");
  EXPECT_EQ(0u, config.defaultSource);
  EXPECT_EQ(1u, config.warnings.size());

  // An unknown section is reported at its header's line, its keys unread.
  const Config unknown = ParseConfig("[Manager]\n\n[Scanner]\nProductName=Lost\n");
  ASSERT_EQ(1u, unknown.warnings.size());
  EXPECT_EQ("line 3: unknown section [scanner]", unknown.warnings[0]);
  EXPECT_EQ("Zelvantor Virtual Scanner", unknown.sources.at(0).productName);
}

TEST(VirtualScannerImage, SizeAndHeaderFollowFrameResolutionAndType) {
  struct Case {
    double left, top, right, bottom, dpi;
    int pixelType;
    std::int32_t width, height;
    std::uint16_t bits;
    std::uint32_t colours, ppm;
  } cases[] = {
      {0, 0, 8.27, 11.69, 300, 2, 2481, 3507, 24, 0, 11811},
      {0, 0, 8.5, 11, 150, 1, 1275, 1650, 8, 256, 5906},
      {1, 2, 3, 3.5, 72, 0, 144, 108, 1, 2, 2835},
      {0, 0, 0.001, 0.001, 75, 0, 1, 1, 1, 2, 2953},
  };
  for (const Case &c : cases) {
    ImageRequest r;
    r.left = c.left;
    r.top = c.top;
    r.right = c.right;
    r.bottom = c.bottom;
    r.xResolution = r.yResolution = c.dpi;
    r.pixelType = c.pixelType;
    DibLayout layout;
    const auto dib = Render(r, layout);
    ASSERT_EQ(layout.totalBytes, dib.size());
    const std::uint32_t stride = ((std::uint32_t(c.width) * c.bits + 31) / 32) * 4;
    EXPECT_EQ(40u, U32At(dib, 0));
    EXPECT_EQ(std::uint32_t(c.width), U32At(dib, 4));
    EXPECT_EQ(std::uint32_t(c.height), U32At(dib, 8));
    EXPECT_EQ(c.bits, U32At(dib, 14) & 0xFFFF);
    EXPECT_EQ(0u, U32At(dib, 16));
    EXPECT_EQ(stride * std::uint32_t(c.height), U32At(dib, 20));
    EXPECT_EQ(c.ppm, U32At(dib, 24));
    EXPECT_EQ(c.ppm, U32At(dib, 28));
    EXPECT_EQ(c.colours, U32At(dib, 32));
    EXPECT_EQ(40u + 4u * c.colours + stride * std::uint32_t(c.height), dib.size());
  }
}

TEST(VirtualScannerImage, RefusesWhatItCannotMake) {
  ImageRequest r;
  DibLayout layout;
  ImageRequest bad = r;
  bad.right = bad.left;
  EXPECT_FALSE(PlanDib(bad, layout));
  bad = r;
  bad.bottom = bad.top - 1;
  EXPECT_FALSE(PlanDib(bad, layout));
  bad = r;
  bad.xResolution = 0;
  EXPECT_FALSE(PlanDib(bad, layout));
  bad = r;
  bad.pixelType = 3;
  EXPECT_FALSE(PlanDib(bad, layout));
  // 8.5 x 11.69 in at 2400 dpi in colour: about 1.7 GB, over the limit.
  bad = r;
  bad.xResolution = bad.yResolution = 2400;
  EXPECT_FALSE(PlanDib(bad, layout));
  bad = r;
  bad.right = 1e30;
  EXPECT_FALSE(PlanDib(bad, layout));
  // The same frame at 1200 dpi in grey stays below it.
  ImageRequest big = r;
  big.xResolution = big.yResolution = 1200;
  big.pixelType = 1;
  EXPECT_TRUE(PlanDib(big, layout));
  EXPECT_LE(layout.totalBytes, kMaxDibBytes);
  // A buffer of the wrong size is not written.
  std::vector<std::uint8_t> small(100);
  r.right = 1;
  r.bottom = 1;
  ASSERT_TRUE(PlanDib(r, layout));
  EXPECT_FALSE(RenderDib(r, layout, nullptr, small.data(), small.size()));
}

// Corner marks, the known line and the grid, for every pixel type.
TEST(VirtualScannerImage, ChartMarksSitWhereThePrintoutIsMeasured) {
  for (int pixelType = 0; pixelType <= 2; ++pixelType) {
    ImageRequest r;
    r.left = 0;
    r.top = 0;
    r.right = 8.27;
    r.bottom = 11.69;
    r.xResolution = r.yResolution = 100;
    r.pixelType = pixelType;
    DibLayout layout;
    const auto dib = Render(r, layout);
    const auto at = [&](int x, int y) { return DibGreyAt(dib.data(), dib.size(), x, y); };
    const int w = layout.width, h = layout.height;
    // The 5 mm square (20 px at 100 dpi) at the top-left corner.
    EXPECT_EQ(0, at(0, 0));
    EXPECT_EQ(0, at(18, 18));
    // The Ls: 10 mm (39 px) arms, 1 mm (4 px) thick, at every corner.
    for (auto [x, y] : {std::pair{w - 1, 0}, {w - 38, 0}, {w - 1, 38}, {0, h - 1}, {38, h - 1},
                        {w - 1, h - 1}, {w - 38, h - 1}, {w - 1, h - 38}, {3, 38}})
      EXPECT_EQ(0, at(x, y)) << x << "," << y << " type " << pixelType;
    // Just inside the Ls is white.
    EXPECT_EQ(255, at(w - 6, 6)) << pixelType;
    EXPECT_EQ(255, at(w - 6, h - 6)) << pixelType;
    EXPECT_EQ(255, at(6, h - 6)) << pixelType;
    // The known line: 50 mm from the top, 0.5 mm thick: rows 196 and 197 at
    // 100 dpi (50 mm = 196.85 px), white on either side.
    EXPECT_EQ(0, at(w / 2 + 7, 197)) << pixelType;
    EXPECT_EQ(255, at(w / 2 + 7, 194)) << pixelType;
    EXPECT_EQ(255, at(w / 2 + 7, 200)) << pixelType;
    // Grid lines every 10 mm, 1 pixel wide: column 39 (10 mm = 39.4 px).
    const int gridLevel = pixelType == 0 ? 0 : kGridGrey;
    EXPECT_EQ(gridLevel, at(39, 300)) << pixelType;
    EXPECT_EQ(255, at(38, 300)) << pixelType;
    EXPECT_EQ(255, at(40, 300)) << pixelType;
    // The grey ramp rises from left to right.
    if (pixelType != 0) {
      EXPECT_LT(at(45, 100), 30);
      EXPECT_GT(at(w - 45, 100), 225);
    }
  }
}

// A frame lower on the glass moves the line up in the image: the chart is
// drawn in glass coordinates, the corner marks at the frame's corners.
TEST(VirtualScannerImage, FramePositionMovesTheGlassFeatures) {
  ImageRequest r;
  r.left = 1;
  r.top = 1;  // 25.4 mm: the line is 24.6 mm (96.85 px at 100 dpi) below the frame's top
  r.right = 5;
  r.bottom = 4;
  r.xResolution = r.yResolution = 100;
  r.pixelType = 1;
  DibLayout layout;
  const auto dib = Render(r, layout);
  const auto at = [&](int x, int y) { return DibGreyAt(dib.data(), dib.size(), x, y); };
  EXPECT_EQ(400, layout.width);
  EXPECT_EQ(300, layout.height);
  EXPECT_EQ(0, at(200, 97));
  EXPECT_EQ(255, at(200, 94));
  EXPECT_EQ(0, at(0, 0));
  EXPECT_EQ(0, at(399, 299));
}

TEST(VirtualScannerImage, HeaderFaultsAndReversedPalette) {
  ImageRequest r;
  r.right = 2;
  r.bottom = 1;
  r.xResolution = r.yResolution = 100;
  r.pixelType = 1;
  r.zeroPelsPerMeter = r.zeroColourCount = r.zeroImageSize = r.reversedGreyPalette = true;
  DibLayout layout;
  const auto dib = Render(r, layout);
  EXPECT_EQ(0u, U32At(dib, 20));
  EXPECT_EQ(0u, U32At(dib, 24));
  EXPECT_EQ(0u, U32At(dib, 28));
  EXPECT_EQ(0u, U32At(dib, 32));
  // Palette entry 0 is white, 255 black; the picture reads the same.
  EXPECT_EQ(255, dib[40]);
  EXPECT_EQ(0, dib[40 + 4 * 255]);
  EXPECT_EQ(0, DibGreyAt(dib.data(), dib.size(), 0, 0));
  EXPECT_EQ(255, DibGreyAt(dib.data(), dib.size(), 100, 10));
  // The top-left pixel's index in the bottom-up rows is 255 (black).
  EXPECT_EQ(255, dib[layout.headerBytes + std::size_t(layout.height - 1) * layout.stride]);
}

TEST(VirtualScannerImage, BrightnessShiftsAndThresholdSplits) {
  ImageRequest r;
  r.right = 2;
  r.bottom = 1;
  r.xResolution = r.yResolution = 100;
  r.pixelType = 1;
  r.brightness = -1000;
  DibLayout layout;
  auto dib = Render(r, layout);
  // White moves down by 127.5, rounded away from zero.
  EXPECT_EQ(127, DibGreyAt(dib.data(), dib.size(), 100, 10));
  // Black and white with a threshold above that level: the white turns black.
  r.pixelType = 0;
  r.threshold = 128;
  dib = Render(r, layout);
  EXPECT_EQ(0, DibGreyAt(dib.data(), dib.size(), 100, 10));
  r.threshold = 127;
  dib = Render(r, layout);
  EXPECT_EQ(255, DibGreyAt(dib.data(), dib.size(), 100, 10));
}

namespace {

// A BMP file in memory: 4 x 2 pixels, left half red, right half blue, top
// row white, with the given depth (8 with a palette, or 24) and row order.
std::vector<std::uint8_t> SmallBmp(int bits, bool topDown) {
  const int w = 4, h = 2;
  const std::uint32_t stride = ((w * bits + 31) / 32) * 4;
  const std::uint32_t colours = bits == 8 ? 3 : 0;
  const std::uint32_t offBits = 14 + 40 + 4 * colours;
  std::vector<std::uint8_t> b(offBits + stride * h);
  auto put32 = [&](std::size_t at, std::uint32_t v) { std::memcpy(&b[at], &v, 4); };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, std::uint32_t(b.size()));
  put32(10, offBits);
  put32(14, 40);
  put32(18, w);
  put32(22, std::uint32_t(topDown ? -h : h));
  b[26] = 1;
  b[28] = std::uint8_t(bits);
  put32(46, colours);
  const std::uint8_t palette[3][4] = {{0, 0, 255, 0}, {255, 0, 0, 0}, {255, 255, 255, 0}};
  if (bits == 8)
    std::memcpy(&b[54], palette, sizeof palette);
  for (int y = 0; y < h; ++y) {
    const int stored = topDown ? y : h - 1 - y;
    std::uint8_t *row = &b[offBits + stride * std::uint32_t(stored)];
    for (int x = 0; x < w; ++x) {
      const int index = y == 0 ? 2 : x < 2 ? 0 : 1;  // white / red / blue
      if (bits == 8)
        row[x] = std::uint8_t(index);
      else
        std::memcpy(row + 3 * x, palette[index], 3);
    }
  }
  return b;
}

} // namespace

TEST(VirtualScannerImage, BmpFilesAreStretchedOverTheFrame) {
  for (int bits : {8, 24}) {
    for (bool topDown : {false, true}) {
      const auto file = SmallBmp(bits, topDown);
      RgbPicture picture;
      ASSERT_TRUE(DecodeBmp(file.data(), file.size(), picture)) << bits << topDown;
      ASSERT_EQ(4, picture.width);
      ASSERT_EQ(2, picture.height);
      ImageRequest r;
      r.right = 2;
      r.bottom = 1;
      r.xResolution = r.yResolution = 100;  // 200 x 100: each source pixel 50 x 50
      r.pixelType = 2;
      DibLayout layout;
      const auto dib = Render(r, layout, &picture);
      const auto rgbAt = [&](int x, int y) {
        const std::uint8_t *p = dib.data() + layout.headerBytes +
                                std::size_t(layout.height - 1 - y) * layout.stride + 3 * x;
        return std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
      };
      EXPECT_EQ(0xFFFFFFu, rgbAt(0, 0));
      EXPECT_EQ(0xFFFFFFu, rgbAt(199, 49));
      EXPECT_EQ(0xFF0000u, rgbAt(0, 50));
      EXPECT_EQ(0xFF0000u, rgbAt(99, 99));
      EXPECT_EQ(0x0000FFu, rgbAt(100, 50));
      EXPECT_EQ(0x0000FFu, rgbAt(199, 99));
    }
  }
  // Truncated or unsupported files are refused, whatever their header says.
  auto file = SmallBmp(24, false);
  RgbPicture picture;
  EXPECT_FALSE(DecodeBmp(file.data(), file.size() - 1, picture));
  EXPECT_FALSE(DecodeBmp(file.data(), 20, picture));
  auto compressed = file;
  compressed[30] = 1;  // BI_RLE8
  EXPECT_FALSE(DecodeBmp(compressed.data(), compressed.size(), picture));
  auto huge = file;
  huge[18 + 3] = 0x7F;  // width 2^30 and more
  EXPECT_FALSE(DecodeBmp(huge.data(), huge.size(), picture));
  auto badOffset = file;
  badOffset[10 + 3] = 0x80;
  EXPECT_FALSE(DecodeBmp(badOffset.data(), badOffset.size(), picture));
}

TEST(VirtualScannerTrace, LinesAreRecordsAndReadBack) {
  struct Case {
    TraceCall call;
    const char *line;
  };
  const Case cases[] = {
      {{7, 1, true, 2,
        CallRecord{"DG_CONTROL DAT_CAPABILITY MSG_SET",
                   {{"cap", "ICAP_XRESOLUTION"}, {"value", "300.00"}},
                   "TWRC_SUCCESS"}},
       "7 1 -> 2 DG_CONTROL DAT_CAPABILITY MSG_SET cap=ICAP_XRESOLUTION value=300.00 = "
       "TWRC_SUCCESS"},
      {{8, 1, false, 0, CallRecord{"DG_CONTROL DAT_PARENT MSG_OPENDSM", {}, "TWRC_FAILURE"}},
       "8 1 -> DSM DG_CONTROL DAT_PARENT MSG_OPENDSM = TWRC_FAILURE"},
      {{9, 1, false, 0,
        CallRecord{"DG_CONTROL DAT_IDENTITY MSG_GETFIRST",
                   {{"source", "\"Zelvantor Virtual Scanner\""}},
                   "TWRC_SUCCESS"}},
       "9 1 -> DSM DG_CONTROL DAT_IDENTITY MSG_GETFIRST source=\"Zelvantor Virtual Scanner\" = "
       "TWRC_SUCCESS"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(c.line, FormatTraceLine(c.call));
    TraceCall back;
    ASSERT_TRUE(ParseTraceLine(c.line, &back)) << c.line;
    EXPECT_EQ(c.call.sequence, back.sequence) << c.line;
    EXPECT_EQ(c.call.originId, back.originId) << c.line;
    EXPECT_EQ(c.call.hasDestination, back.hasDestination) << c.line;
    EXPECT_EQ(c.call.destinationId, back.destinationId) << c.line;
    EXPECT_EQ(FormatCallRecord(c.call.record), FormatCallRecord(back.record)) << c.line;
    EXPECT_EQ(c.call.record.details.size(), back.record.details.size()) << c.line;
  }
  for (const char *other : {"# unloaded", "", "7 1 -> ", "x 1 -> 2 DG_CONTROL", "7 1 2 DG_CONTROL"}) {
    TraceCall none;
    EXPECT_FALSE(ParseTraceLine(other, &none)) << other;
  }
  EXPECT_EQ("0x0BAD", twainsim::MsgRecordName(0x0BAD));
  EXPECT_EQ("0x0009", twainsim::ReturnCodeRecordName(9));
}

// What a record takes from a call's data: the trace and the simulated
// manager show the same.
TEST(VirtualScannerTrace, DetailsComeFromTheCallsData) {
  auto oneValue = [](TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 item) {
    TW_CAPABILITY c = {cap, TWON_ONEVALUE, GlobalAlloc(GHND, sizeof(TW_ONEVALUE))};
    auto *one = static_cast<TW_ONEVALUE *>(GlobalLock(c.hContainer));
    one->ItemType = itemType;
    one->Item = item;
    GlobalUnlock(c.hContainer);
    return c;
  };
  TW_CAPABILITY resolution = oneValue(ICAP_XRESOLUTION, TWTY_FIX32, 300);
  TW_CAPABILITY brightness = oneValue(ICAP_BRIGHTNESS, TWTY_INT16, 0xFFFB);
  TW_CAPABILITY pixelType = oneValue(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB);
  TW_CAPABILITY asked = {ICAP_BRIGHTNESS, TWON_DONTCARE16, nullptr};
  TW_IMAGELAYOUT layout = {};
  layout.Frame.Right = {8, 17545};
  layout.Frame.Bottom = {11, 45411};
  TW_EVENT event = {nullptr, MSG_XFERREADY};
  TW_PENDINGXFERS pending = {1, {0}};
  TW_USERINTERFACE ui = {1, 0, nullptr};
  TW_IDENTITY source = {};
  std::strcpy(source.ProductName, "ZV Flatbed");
  struct Case {
    TW_UINT32 dg;
    TW_UINT16 dat, msg;
    TW_MEMREF data;
    TW_UINT16 rc;
    const char *record;
  } cases[] = {
      {DG_CONTROL, DAT_CAPABILITY, MSG_SET, &resolution, TWRC_SUCCESS,
       "DG_CONTROL DAT_CAPABILITY MSG_SET cap=ICAP_XRESOLUTION value=300.00 = TWRC_SUCCESS"},
      {DG_CONTROL, DAT_CAPABILITY, MSG_SET, &brightness, TWRC_CHECKSTATUS,
       "DG_CONTROL DAT_CAPABILITY MSG_SET cap=ICAP_BRIGHTNESS value=-5 = TWRC_CHECKSTATUS"},
      {DG_CONTROL, DAT_CAPABILITY, MSG_SET, &pixelType, TWRC_FAILURE,
       "DG_CONTROL DAT_CAPABILITY MSG_SET cap=ICAP_PIXELTYPE value=2 = TWRC_FAILURE"},
      {DG_CONTROL, DAT_CAPABILITY, MSG_GET, &asked, TWRC_SUCCESS,
       "DG_CONTROL DAT_CAPABILITY MSG_GET cap=ICAP_BRIGHTNESS = TWRC_SUCCESS"},
      {DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout, TWRC_SUCCESS,
       "DG_IMAGE DAT_IMAGELAYOUT MSG_SET frame=0.0000,0.0000,8.2677,11.6929 = TWRC_SUCCESS"},
      {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event, TWRC_DSEVENT,
       "DG_CONTROL DAT_EVENT MSG_PROCESSEVENT event=MSG_XFERREADY = TWRC_DSEVENT"},
      {DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event, TWRC_NOTDSEVENT,
       "DG_CONTROL DAT_EVENT MSG_PROCESSEVENT = TWRC_NOTDSEVENT"},
      {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending, TWRC_SUCCESS,
       "DG_CONTROL DAT_PENDINGXFERS MSG_ENDXFER count=1 = TWRC_SUCCESS"},
      {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui, TWRC_CHECKSTATUS,
       "DG_CONTROL DAT_USERINTERFACE MSG_ENABLEDS showUI=1 = TWRC_CHECKSTATUS"},
      {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source, TWRC_FAILURE,
       "DG_CONTROL DAT_IDENTITY MSG_OPENDS source=\"ZV Flatbed\" = TWRC_FAILURE"},
      {DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &source, TWRC_ENDOFLIST,
       "DG_CONTROL DAT_IDENTITY MSG_GETNEXT = TWRC_ENDOFLIST"},
      {DG_CONTROL, DAT_CAPABILITY, MSG_SET, nullptr, TWRC_FAILURE,
       "DG_CONTROL DAT_CAPABILITY MSG_SET = TWRC_FAILURE"},
      {4, DAT_CAPABILITY, MSG_GET, &asked, TWRC_FAILURE, "DG_AUDIO DAT_CAPABILITY MSG_GET = TWRC_FAILURE"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(c.record, FormatCallRecord(twainsim::RecordTwainCall(c.dg, c.dat, c.msg, c.data, c.rc)));
  for (HGLOBAL h : {resolution.hContainer, brightness.hContainer, pixelType.hContainer})
    GlobalFree(h);
}

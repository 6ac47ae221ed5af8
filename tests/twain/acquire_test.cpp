#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/dib.h"
#include "imaging/global_memory.h"
#include "support/acquisition_calls.h"
#include "twain/acquire.h"
#include "twain/capability.h"
#include "twain/acquire_fixture.h"

using namespace twainsim;

namespace {

// Header offsets used below.
constexpr std::size_t kWidth = 4, kHeight = 8, kBitCount = 14, kCompression = 16,
                      kSizeImage = 20, kXPels = 24, kYPels = 28, kClrUsed = 32;

std::vector<unsigned char> InfoHeader(std::int32_t width, std::int32_t height, std::uint16_t bits,
                                      std::size_t size = 40) {
  std::vector<unsigned char> h(size, 0);
  const std::uint32_t biSize = 40;
  std::memcpy(&h[0], &biSize, 4);
  std::memcpy(&h[kWidth], &width, 4);
  std::memcpy(&h[kHeight], &height, 4);
  const std::uint16_t planes = 1;
  std::memcpy(&h[12], &planes, 2);
  std::memcpy(&h[kBitCount], &bits, 2);
  return h;
}

std::uint32_t U32(const std::vector<unsigned char> &h, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, &h[at], 4);
  return v;
}

void PutU32(std::vector<unsigned char> &h, std::size_t at, std::uint32_t v) {
  std::memcpy(&h[at], &v, 4);
}

} // namespace

// ---------------------------------------------------------------------------
// The plain rules.

TEST(BrightnessCurve, KeepsTheEndsAndBendsTheMiddle) {
  EXPECT_DOUBLE_EQ(-1000.0, BrightnessCurve(-1000, 1.55));
  EXPECT_DOUBLE_EQ(1000.0, BrightnessCurve(1000, 1.55));
  EXPECT_NEAR(-316.98, BrightnessCurve(0, 1.55), 0.005);
  EXPECT_DOUBLE_EQ(0.0, BrightnessCurve(0, 1.0));
}

TEST(WorkingSettings, GreyscaleForBwScannerOnly) {
  const struct {
    std::uint32_t id;
    std::int32_t type, brightness;
    std::int32_t wantType, wantBrightness;
    bool bwFromGrey;
  } cases[] = {
      {0xA510B7A9u, 0, 0, 1, -317, true},
      {0xA510B7A9u, 0, 500, 1, 280, true},
      {0xA510B7A9u, 0, -1000, 1, -1000, true},
      {0xA510B7A9u, 0, 1000, 1, 1000, true},
      {0xA510B7A9u, 0, -5000, 1, -1000, true}, // beyond the range: its end
      {0xA510B7A9u, 0, INT32_MAX, 1, 1000, true},
      {0xA510B7A9u, 1, 0, 1, 0, false},
      {0xA510B7A9u, 2, 300, 2, 300, false},
      {0xA510B7A9u, -1, 0, -1, 0, false},
      {0x06BD3DDCu, 0, 0, 0, 0, false},
  };
  for (const auto &c : cases) {
    const WorkingSettings w = WorkingSettingsFor(c.id, c.type, c.brightness);
    EXPECT_EQ(c.wantType, w.pixelType) << c.brightness;
    EXPECT_EQ(c.wantBrightness, w.brightness) << c.brightness;
    EXPECT_EQ(c.bwFromGrey, w.bwFromGrey) << c.brightness;
  }
}

// What the acquisition saw decides between failure and cancel.
TEST(AcquisitionOutcome, FailureIsToldFromCancel) {
  struct Case {
    bool opened;
    std::uint16_t enableRc, transferRc;
    bool image;
    AcquireOutcome expected;
  } cases[] = {
      {true, TWRC_SUCCESS, TWRC_XFERDONE, true, AcquireOutcome::Delivered},
      {true, TWRC_CHECKSTATUS, TWRC_XFERDONE, true, AcquireOutcome::Delivered},
      {false, kNoCall, kNoCall, false, AcquireOutcome::Failed},
      {true, TWRC_FAILURE, kNoCall, false, AcquireOutcome::Failed},
      {true, TWRC_CANCEL, kNoCall, false, AcquireOutcome::Cancelled},
      {true, TWRC_SUCCESS, TWRC_FAILURE, false, AcquireOutcome::Failed},
      {true, TWRC_SUCCESS, TWRC_CANCEL, false, AcquireOutcome::Cancelled},
      // Success reported, but no bitmap came with it.
      {true, TWRC_SUCCESS, TWRC_XFERDONE, false, AcquireOutcome::Failed},
      // MSG_CLOSEDSREQ, or WM_QUIT, before any transfer.
      {true, TWRC_SUCCESS, kNoCall, false, AcquireOutcome::Cancelled},
  };
  for (const Case &c : cases) {
    AcquireFacts facts;
    facts.sourceOpened = c.opened;
    facts.enableRc = c.enableRc;
    facts.transferRc = c.transferRc;
    facts.imageReturned = c.image;
    EXPECT_EQ(c.expected, AcquisitionOutcome(facts))
        << c.opened << " " << c.enableRc << " " << c.transferRc << " " << c.image;
  }
}

TEST(FrameArgument, PaperCodesRectanglesAndInvalidCodes) {
  ResolvedFrame f = ResolveFrameArgument(0);
  EXPECT_EQ(FrameKind::None, f.kind);

  f = ResolveFrameArgument(0x85);
  ASSERT_EQ(FrameKind::Rectangle, f.kind);
  EXPECT_EQ(0, f.rect.left);
  EXPECT_EQ(0, f.rect.top);
  EXPECT_EQ(29700, f.rect.right);
  EXPECT_EQ(21000, f.rect.bottom);

  f = ResolveFrameArgument(0x05);
  ASSERT_EQ(FrameKind::Rectangle, f.kind);
  EXPECT_EQ(21000, f.rect.right);
  EXPECT_EQ(29700, f.rect.bottom);

  for (std::uintptr_t code : {0x08u, 0x80u, 0xFFu, 0x88u, 0x7Fu})
    EXPECT_EQ(FrameKind::Invalid, ResolveFrameArgument(code).kind) << code;

  const ScanFrame rect = {100, 200, 15000, 20000};
  f = ResolveFrameArgument(reinterpret_cast<std::uintptr_t>(&rect));
  ASSERT_EQ(FrameKind::Rectangle, f.kind);
  EXPECT_EQ(100, f.rect.left);
  EXPECT_EQ(200, f.rect.top);
  EXPECT_EQ(15000, f.rect.right);
  EXPECT_EQ(20000, f.rect.bottom);
}

TEST(HeaderRepair, PixelsPerMetreFromTheTransferResolution) {
  const struct {
    float x, y;
    std::int32_t xPels, yPels;
    std::uint32_t wantX, wantY;
  } cases[] = {
      {300, 300, 0, 0, 11811, 11811},
      {150, 150, 0, 0, 5906, 5906},
      {72, 72, 0, 0, 2835, 2835},
      {300, 150, 0, 0, 11811, 5906},
      {300, 300, 3937, 0, 11811, 11811},  // one missing axis repairs both
      {300, 300, -5, 3937, 11811, 11811}, // negative counts as missing
      {300, 300, 3937, 3937, 3937, 3937}, // both present: kept
      {0, 0, 0, 0, 0, 0},                 // no resolution known: kept
      {300, 0, 0, 0, 0, 0},
  };
  for (const auto &c : cases) {
    auto h = InfoHeader(100, 100, 24);
    PutU32(h, kXPels, std::uint32_t(c.xPels));
    PutU32(h, kYPels, std::uint32_t(c.yPels));
    EXPECT_TRUE(RepairDibHeader(h.data(), h.size(), c.x, c.y));
    EXPECT_EQ(c.wantX, U32(h, kXPels)) << c.x << " " << c.xPels;
    EXPECT_EQ(c.wantY, U32(h, kYPels)) << c.y << " " << c.yPels;
  }
}

TEST(HeaderRepair, ColourCountAndImageSize) {
  const struct {
    std::int32_t width, height;
    std::uint16_t bits;
    std::uint32_t compression, clrUsed, sizeImage;
    std::uint32_t wantClrUsed, wantSizeImage;
  } cases[] = {
      {2550, -3300, 1, 0, 0, 0, 2, 1056000},
      {2480, 3508, 24, 0, 0, 0, 0, 26099520},
      {2480, 3508, 24, 0, 0, 12345, 0, 26099520}, // a wrong size is replaced
      {100, 10, 8, 0, 0, 0, 256, 1000},
      {100, 10, 8, 0, 200, 0, 200, 1000},
      {101, 10, 4, 0, 0, 0, 16, 520},
      {100, 10, 8, 1 /* BI_RLE8 */, 0, 777, 256, 777},
      {100, 10, 32, 3 /* BI_BITFIELDS */, 0, 4000, 0, 4000},
      // 2^30 rows of 2^34 bytes: exactly 2^64, which wrapped to a size of 0.
      {1 << 30, 1 << 30, 128, 0, 0, 12345, 0, 12345},
      // Bit count 0: a JPEG or PNG names its own depth and has no colour
      // table; a count of 1 would move where its data is looked for.
      {100, 10, 0, 4 /* BI_JPEG */, 0, 5000, 0, 5000},
      {100, 10, 0, 5 /* BI_PNG */, 0, 5000, 0, 5000},
  };
  for (const auto &c : cases) {
    auto h = InfoHeader(c.width, c.height, c.bits);
    PutU32(h, kCompression, c.compression);
    PutU32(h, kClrUsed, c.clrUsed);
    PutU32(h, kSizeImage, c.sizeImage);
    EXPECT_TRUE(RepairDibHeader(h.data(), h.size(), 300, 300));
    EXPECT_EQ(c.wantClrUsed, U32(h, kClrUsed)) << c.width << "x" << c.height;
    EXPECT_EQ(c.wantSizeImage, U32(h, kSizeImage)) << c.width << "x" << c.height;
  }
}

TEST(HeaderRepair, BlocksThatHoldNoInfoHeaderAreLeftUntouched) {
  // Shorter than a BITMAPINFOHEADER: nothing read or written.
  auto shortBlock = InfoHeader(100, 100, 8, 39);
  const auto before = shortBlock;
  EXPECT_FALSE(RepairDibHeader(shortBlock.data(), shortBlock.size(), 300, 300));
  EXPECT_EQ(before, shortBlock);
  EXPECT_FALSE(RepairDibHeader(nullptr, 0, 300, 300));

  // A BITMAPCOREHEADER: bytes 24 on are its palette and pixels.
  std::vector<unsigned char> core(12 + 3 * 256 + 64, 0x5A);
  const std::uint32_t coreSize = 12;
  std::memcpy(&core[0], &coreSize, 4);
  const auto coreBefore = core;
  EXPECT_FALSE(RepairDibHeader(core.data(), core.size(), 300, 300));
  EXPECT_EQ(coreBefore, core);

  // Exactly an info header long is enough.
  auto exact = InfoHeader(8, 1, 8, 40);
  EXPECT_TRUE(RepairDibHeader(exact.data(), exact.size(), 300, 300));
  EXPECT_EQ(256u, U32(exact, kClrUsed));
}

// ---------------------------------------------------------------------------
// Acquisitions against the simulated manager.

TEST(AcquirePage, ColourAt300DpiMakesExactlyTheseCalls) {
  SimConfig config;
  config.sources.push_back(Flatbed("ZV Listed First"));
  config.sources.push_back(Flatbed("ZV Acquire Sequence"));
  config.defaultSource = 1;
  SimSession sim(config);
  ASSERT_TRUE(sim.session->IsAvailable());
  ASSERT_EQ(ScannerIdOf(config.sources[1].identity), sim.session->scannerId);

  const ScanFrame frame = {0, 0, 21000, 29700};
  GlobalBlock dib = sim.session->AcquirePage(TWPT_RGB, 300, reinterpret_cast<std::uintptr_t>(&frame),
                                         0, 0, false);
  ASSERT_TRUE(dib);
  // The frame went over in inches (8.2677 and 11.6929), the contrast and the
  // brightness as whole numbers, 0 in the middle of the source's
  // -1000..1000.
  PageCalls page;
  page.pixelType = "2";
  page.resolution = "300.00";
  page.frame = "0.0000,0.0000,8.2677,11.6929";
  page.brightness = "0.00";
  EXPECT_TRUE(MatchesSequence(OnePageAcquisition(page), sim.engine.Records()));
  EXPECT_EQ(StateManagerLoaded, sim.session->state);
  EXPECT_EQ(0, sim.engine.SequenceErrors());
  EXPECT_EQ(TWPT_RGB, sim.engine.Settings(1).pixelType);
  EXPECT_EQ(300.0, sim.engine.Settings(1).xResolution);
  EXPECT_EQ(300.0, sim.engine.Settings(1).yResolution);
  EXPECT_EQ(24, DibBitCount(dib.get()));
  EXPECT_EQ(11811u, FieldU32(dib.get(), kXPels));

  // To the last bit of the fraction.
  const TW_FRAME sent = sim.engine.Settings(1).frame;
  EXPECT_EQ(8, sent.Right.Whole);
  EXPECT_EQ(17545, sent.Right.Frac);
  EXPECT_EQ(11, sent.Bottom.Whole);
  EXPECT_EQ(45411, sent.Bottom.Frac);

  EXPECT_TRUE(sim.NothingLeaked(1));
  dib.reset();
  EXPECT_TRUE(sim.NothingLeaked());
}

TEST(AcquirePage, PixelTypeMinusOneAndResolutionZeroLeaveTheSourceAlone) {
  SimSession sim(OneSource(Flatbed("ZV Leave Alone")));
  GlobalBlock dib = sim.session->AcquirePage(-1, 0, 0, 0, 0, false);
  ASSERT_TRUE(dib);
  EXPECT_FALSE(sim.Called("SET ICAP_PIXELTYPE"));
  EXPECT_FALSE(sim.Called("SET ICAP_XRESOLUTION"));
  EXPECT_FALSE(sim.Called("SET ICAP_YRESOLUTION"));
  EXPECT_FALSE(sim.Called("IMAGELAYOUT SET"));
  EXPECT_FALSE(sim.Called("SET ICAP_THRESHOLD"));
  EXPECT_TRUE(sim.Called("SET ICAP_BRIGHTNESS"));
  EXPECT_TRUE(sim.Called("SET ICAP_CONTRAST"));
  dib.reset();
  EXPECT_TRUE(sim.NothingLeaked());
}

TEST(AcquirePage, BlackAndWhiteSetsTheThreshold) {
  SimSession sim(OneSource(Flatbed("ZV Threshold")));
  GlobalBlock dib = sim.session->AcquirePage(TWPT_BW, 150, 0, 0, 0, false);
  ASSERT_TRUE(dib);
  TW_UINT32 item = 0;
  ASSERT_TRUE(sim.LastSet(ICAP_THRESHOLD, item));
  EXPECT_EQ(127u, item & 0xFFFF);
  EXPECT_FALSE(sim.Called("SET ICAP_BRIGHTNESS"));
  EXPECT_EQ(TWPT_BW, sim.engine.Settings().pixelType);
  dib.reset();
  EXPECT_TRUE(sim.NothingLeaked());
}

TEST(AcquirePage, PaperCodeFramesAndInvalidCodes) {
  OwnerWindow owner;
  SimSession sim(OneSource(Flatbed("ZV Paper Codes")), owner.hwnd);

  GlobalBlock dib = sim.session->AcquirePage(TWPT_GRAY, 100, 0x85, 0, 0, false);
  ASSERT_TRUE(dib);
  const TW_FRAME sent = sim.engine.Settings().frame;
  EXPECT_EQ(0, sent.Left.Whole);
  EXPECT_EQ(0, sent.Top.Whole);
  EXPECT_EQ(11, sent.Right.Whole); // 297 mm
  EXPECT_EQ(45411, sent.Right.Frac);
  EXPECT_EQ(8, sent.Bottom.Whole); // 210 mm
  EXPECT_EQ(17545, sent.Bottom.Frac);
  dib.reset();
  EXPECT_TRUE(IsWindowEnabled(owner.hwnd));

  for (std::uintptr_t code : {0x08u, 0x80u, 0xFFu}) {
    sim.engine.ClearCalls();
    const int enables = owner.enableMessages();
    EXPECT_FALSE(sim.session->AcquirePage(TWPT_GRAY, 100, code, 0, 0, false)) << code;
    EXPECT_TRUE(sim.engine.Calls().empty()) << code;
    EXPECT_EQ(enables, owner.enableMessages()) << "owner disabled for " << code;
    EXPECT_FALSE(IsWindowVisible(sim.session->proxyWindow.get())) << code;
  }
  EXPECT_TRUE(sim.NothingLeaked());
}

TEST(AcquirePage, OwnerIsDisabledAndBusyWindowShownWhileScanning) {
  OwnerWindow owner;
  SimConfig config = OneSource(Flatbed("ZV Busy Window"));
  struct Seen {
    bool called = false, ownerEnabled = true, proxyVisible = false;
  };
  static Seen seen;
  seen = Seen();
  static HWND ownerHwnd, proxyHwnd;
  ownerHwnd = owner.hwnd;
  config.imageProvider = [](const SimImageRequest &request) -> TW_HANDLE {
    seen.called = true;
    seen.ownerEnabled = IsWindowEnabled(ownerHwnd) != FALSE;
    seen.proxyVisible = IsWindowVisible(proxyHwnd) != FALSE;
    return MakeChartDib(request, 200);
  };
  SimSession sim(config, owner.hwnd);
  proxyHwnd = sim.session->proxyWindow.get();
  GlobalBlock dib = sim.session->AcquirePage(TWPT_GRAY, 100, 0, 0, 0, false);
  ASSERT_TRUE(dib);
  EXPECT_TRUE(seen.called);
  EXPECT_FALSE(seen.ownerEnabled);
  EXPECT_TRUE(seen.proxyVisible);
  EXPECT_TRUE(IsWindowEnabled(owner.hwnd));
  EXPECT_FALSE(IsWindowVisible(sim.session->proxyWindow.get()));
  dib.reset();
}

TEST(AcquirePage, GreyscaleForBwScannerGetsBentBrightnessAndOneBitResult) {
  const struct {
    std::int32_t brightness, working;
  } cases[] = {{0, -317}, {500, 280}, {-1000, -1000}, {1000, 1000}};
  for (const auto &c : cases) {
    // A fresh engine each time: a freed image's handle value may come back
    // for the next block, which the engine would then count as alive.
    SimSession sim(OneSource(SourceWithIdentity(GreyscaleForBwIdentity())));
    ASSERT_EQ(0xA510B7A9u, sim.session->scannerId);
    GlobalBlock dib = sim.session->AcquirePage(TWPT_BW, 200, 0, c.brightness, 0, false);
    ASSERT_TRUE(dib) << c.brightness;
    TW_UINT32 item = 0;
    ASSERT_TRUE(sim.LastSet(ICAP_PIXELTYPE, item));
    EXPECT_EQ(TWPT_GRAY, item & 0xFFFF) << c.brightness;
    ASSERT_TRUE(sim.LastSet(ICAP_BRIGHTNESS, item));
    EXPECT_EQ(c.working, std::int16_t(item & 0xFFFF)) << c.brightness;
    EXPECT_FALSE(sim.Called("SET ICAP_THRESHOLD"));
    EXPECT_EQ(1, DibBitCount(dib.get())) << c.brightness;
    EXPECT_EQ(2u, FieldU32(dib.get(), kClrUsed));
    // The grey original went back to the engine's pool freed.
    EXPECT_EQ(0u, sim.engine.LiveImages()) << c.brightness;
    dib.reset();
    EXPECT_TRUE(sim.NothingLeaked());
  }
  // Greyscale and colour requests go through unchanged.
  SimSession sim(OneSource(SourceWithIdentity(GreyscaleForBwIdentity())));
  for (std::int32_t type : {int(TWPT_GRAY), int(TWPT_RGB)}) {
    sim.engine.ClearCalls();
    GlobalBlock dib = sim.session->AcquirePage(type, 200, 0, 0, 0, false);
    ASSERT_TRUE(dib);
    TW_UINT32 item = 0;
    ASSERT_TRUE(sim.LastSet(ICAP_PIXELTYPE, item));
    EXPECT_EQ(std::uint32_t(type), item & 0xFFFF);
    ASSERT_TRUE(sim.LastSet(ICAP_BRIGHTNESS, item));
    EXPECT_EQ(0, std::int16_t(item & 0xFFFF));
    EXPECT_EQ(type == TWPT_GRAY ? 8 : 24, DibBitCount(dib.get()));
    dib.reset();
  }
  EXPECT_TRUE(sim.NothingLeaked());
}

TEST(AcquirePage, GreyscaleForBwScannerKeepsAnImageItCannotConvert) {
  // The source refuses greyscale and scans colour: nothing to threshold, the
  // colour page is the result.
  SimScannerModel model;
  model.pixelTypeCurrent = TWPT_RGB;
  SimSource source = SourceWithIdentity(GreyscaleForBwIdentity());
  source.capabilities = MakeCapabilities(model);
  for (SimCapability &c : source.capabilities)
    if (c.cap == ICAP_PIXELTYPE)
      c.setRc = TWRC_FAILURE;
  SimSession sim(OneSource(source));
  GlobalBlock dib = sim.session->AcquirePage(TWPT_BW, 100, 0x07, 0, 0, false);
  ASSERT_TRUE(dib);
  EXPECT_EQ(24, DibBitCount(dib.get()));
  EXPECT_TRUE(sim.NothingLeaked(1));
  dib.reset();
}

TEST(AcquirePage, RepairsTheDeliveredHeader) {
  SimScannerModel model;
  model.resolutionKind = SimValueKind::Range;
  SimSource source = Flatbed("ZV Header Faults");
  source.capabilities = MakeCapabilities(model);
  source.behaviour.zeroPelsPerMeter = true;
  source.behaviour.zeroColourCount = true;
  source.behaviour.zeroImageSize = true;
  SimSession sim(OneSource(source));
  for (std::uint32_t dpi : {300u, 150u, 72u}) {
    GlobalBlock dib = sim.session->AcquirePage(TWPT_GRAY, dpi, 0x07, 0, 0, false);
    ASSERT_TRUE(dib);
    const std::uint32_t pels = dpi == 300 ? 11811 : dpi == 150 ? 5906 : 2835;
    EXPECT_EQ(pels, FieldU32(dib.get(), kXPels)) << dpi;
    EXPECT_EQ(pels, FieldU32(dib.get(), kYPels)) << dpi;
    EXPECT_EQ(256u, FieldU32(dib.get(), kClrUsed)) << dpi;
    const std::int64_t width = std::int32_t(FieldU32(dib.get(), kWidth));
    const std::int64_t height = std::int32_t(FieldU32(dib.get(), kHeight));
    EXPECT_EQ(std::uint32_t(((width * 8 + 31) / 32) * 4 * (height < 0 ? -height : height)),
              FieldU32(dib.get(), kSizeImage))
        << dpi;
    EXPECT_NE(0u, FieldU32(dib.get(), kSizeImage));
    dib.reset();
  }

  // Without a resolution from the transfer, the header keeps its zeros.
  sim.engine.Config().sources[0].behaviour.zeroImageInfoResolution = true;
  GlobalBlock dib = sim.session->AcquirePage(TWPT_GRAY, 300, 0x07, 0, 0, false);
  ASSERT_TRUE(dib);
  EXPECT_EQ(0u, FieldU32(dib.get(), kXPels));
  EXPECT_EQ(0u, FieldU32(dib.get(), kYPels));
  dib.reset();
  EXPECT_TRUE(sim.NothingLeaked());
}

// What a source may hand over that is no page this program can measure or
// draw: given back to the system, and a failed scan the user is told about.
TEST(AcquirePage, HandlesThatHoldNoPageAreGivenBackAsAFailure) {
  static const auto filled = [](std::size_t size, const std::vector<unsigned char> &start) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    GlobalLockGuard lock(h);
    std::memcpy(lock.bytes(), start.data(), std::min(size, start.size()));
    return h;
  };
  const struct {
    const char *what;
    SimImageProvider provider;
  } cases[] = {
      {"shorter than an info header",
       [](const SimImageRequest &) -> TW_HANDLE { return filled(24, InfoHeader(8, 8, 24)); }},
      // 100 rows of 100 bytes announced; the block ends after the palette.
      {"shorter than its header says",
       [](const SimImageRequest &) -> TW_HANDLE {
         return filled(40 + 1024 + 100, InfoHeader(100, 100, 8));
       }},
      {"a block that cannot be locked",
       [](const SimImageRequest &) -> TW_HANDLE { return GlobalAlloc(GMEM_MOVEABLE, 0); }},
      {"a GDI object that is no bitmap",
       [](const SimImageRequest &) -> TW_HANDLE { return CreateSolidBrush(RGB(1, 2, 3)); }},
      {"a fixed block, too short",
       [](const SimImageRequest &) -> TW_HANDLE {
         HGLOBAL h = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, 30);
         std::memcpy(h, InfoHeader(8, 8, 24).data(), 30);
         return h;
       }},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    SimConfig config = OneSource(Flatbed("ZV No Page"));
    config.imageProvider = c.provider;
    SimSession sim(config);
    AcquireOutcome outcome = AcquireOutcome::Delivered;
    EXPECT_FALSE(sim.session->AcquirePage(TWPT_GRAY, 300, 0, 0, 0, false, outcome));
    EXPECT_EQ(AcquireOutcome::Failed, outcome);
    EXPECT_TRUE(sim.Called("IMAGENATIVEXFER GET"));
    EXPECT_EQ(StateManagerLoaded, sim.session->state);
    EXPECT_EQ(1u, sim.engine.ImagesHandedOut());
    EXPECT_TRUE(sim.NothingLeaked());
  }
}

// A value that names no block at all (here memory of this program's own
// data): there is nothing it could be given back to, so it is let go, not
// freed, and the scan failed.
TEST(AcquirePage, ValueThatNamesNoBlockIsLetGo) {
  alignas(16) static unsigned char notABlock[64];
  std::memset(notABlock, 0x5A, sizeof notABlock);
  SimConfig config = OneSource(Flatbed("ZV Not A Block"));
  config.imageProvider = [](const SimImageRequest &) -> TW_HANDLE { return notABlock; };
  SimSession sim(config);
  AcquireOutcome outcome = AcquireOutcome::Delivered;
  EXPECT_FALSE(sim.session->AcquirePage(TWPT_GRAY, 300, 0, 0, 0, false, outcome));
  EXPECT_EQ(AcquireOutcome::Failed, outcome);
  EXPECT_EQ(StateManagerLoaded, sim.session->state);
  EXPECT_EQ(std::vector<unsigned char>(64, 0x5A),
            std::vector<unsigned char>(notABlock, notABlock + 64));
  EXPECT_EQ(1u, sim.engine.NotFreed()) << "only what no call could give back";
  EXPECT_EQ(0u, sim.engine.FreedTwice());
}

TEST(AcquirePage, SecondAnnouncedImageIsDiscardedWithReset) {
  SimSource source = Flatbed("ZV Two Images");
  source.behaviour.imageCount = 2;
  SimSession sim(OneSource(source));
  GlobalBlock dib = sim.session->AcquirePage(TWPT_GRAY, 100, 0, 0, 0, false);
  ASSERT_TRUE(dib);
  const std::vector<std::string> tail = {"IMAGEINFO GET", "IMAGENATIVEXFER GET", "ENDXFER",
                                         "RESET", "DISABLEDS", "CLOSEDS", "CLOSEDSM"};
  const auto calls = sim.Calls();
  ASSERT_GE(calls.size(), tail.size());
  EXPECT_EQ(tail, std::vector<std::string>(calls.end() - tail.size(), calls.end()));
  EXPECT_EQ(1u, sim.engine.ImagesHandedOut());
  EXPECT_EQ(StateManagerLoaded, sim.session->state);
  dib.reset();
  EXPECT_TRUE(sim.NothingLeaked());
}

TEST(AcquirePage, CancelThroughCloseRequest) {
  SimSource source = Flatbed("ZV Cancelled");
  source.behaviour.outcome = SimOutcome::CloseRequest;
  SimSession sim(OneSource(source));
  EXPECT_FALSE(sim.session->AcquirePage(TWPT_GRAY, 100, 0, 0, 0, true));
  EXPECT_TRUE(sim.Called("PROCESSEVENT CLOSEDSREQ"));
  EXPECT_FALSE(sim.Called("IMAGENATIVEXFER GET"));
  const auto calls = sim.Calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ("DISABLEDS", calls[calls.size() - 3]);
  EXPECT_EQ(StateManagerLoaded, sim.session->state);
  EXPECT_EQ(2, sim.engine.ManagerState());
  for (const SimCall &c : sim.engine.Calls())
    if (c.msg == MSG_ENABLEDS) {
      EXPECT_EQ(1, c.showUI);
    }
  EXPECT_TRUE(sim.NothingLeaked());
}

TEST(AcquirePage, FailedOrCancelledTransferGivesNothing) {
  for (TW_UINT16 rc : {TWRC_CANCEL, TWRC_FAILURE}) {
    SimSource source = Flatbed("ZV Failed Transfer");
    source.behaviour.nativeXferRc = rc;
    SimSession sim(OneSource(source));
    EXPECT_FALSE(sim.session->AcquirePage(TWPT_GRAY, 100, 0, 0, 0, false)) << rc;
    EXPECT_EQ(StateManagerLoaded, sim.session->state) << rc;
    if (rc == TWRC_FAILURE) {
      EXPECT_TRUE(sim.Called("RESET"));
    }
    EXPECT_EQ(0, sim.engine.SequenceErrors()) << rc;
    EXPECT_TRUE(sim.NothingLeaked());
  }
}

TEST(AcquirePage, EnableRefusedGivesNothingAfterClosing) {
  SimSource source = Flatbed("ZV Enable Refused");
  source.behaviour.enableRc = TWRC_FAILURE;
  SimSession sim(OneSource(source));
  EXPECT_FALSE(sim.session->AcquirePage(TWPT_GRAY, 100, 0, 0, 0, false));
  const auto calls = sim.Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ("CLOSEDS", calls[calls.size() - 2]);
  EXPECT_EQ("CLOSEDSM", calls.back());
  EXPECT_FALSE(sim.Called("DISABLEDS"));
  EXPECT_EQ(StateManagerLoaded, sim.session->state);
  EXPECT_TRUE(sim.NothingLeaked());
}

namespace {
void CALLBACK PostQuitLater(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  PostQuitMessage(7);
}
} // namespace

TEST(AcquirePage, QuitDuringTheWaitEndsItAndIsConsumed) {
  SimSource source = Flatbed("ZV Silent Source");
  source.behaviour.outcome = SimOutcome::Silent;
  SimSession sim(OneSource(source));
  SetTimer(nullptr, 0, 100, PostQuitLater);
  EXPECT_FALSE(sim.session->AcquirePage(TWPT_GRAY, 100, 0, 0, 0, false));
  EXPECT_EQ(StateManagerLoaded, sim.session->state);
  EXPECT_FALSE(sim.session->transferDone);
  MSG message;
  EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_TRUE(sim.Called("DISABLEDS"));
  EXPECT_TRUE(sim.NothingLeaked());
}

TEST(AcquirePage, UnavailableSessionDoesNothing) {
  SimConfig config = OneSource(Flatbed("ZV Nobody Home"));
  config.defaultSource = -1;
  OwnerWindow owner;
  SimSession sim(config, owner.hwnd);
  ASSERT_FALSE(sim.session->IsAvailable());
  const int enables = owner.enableMessages();
  EXPECT_FALSE(sim.session->AcquirePage(TWPT_GRAY, 100, 0, 0, 0, false));
  EXPECT_TRUE(sim.engine.Calls().empty());
  EXPECT_EQ(enables, owner.enableMessages());
}

TEST(AcquireImage, BelowSourceOpenGivesNothing) {
  SimSession sim(OneSource(Flatbed("ZV Not Open")));
  EXPECT_EQ(nullptr, sim.session->AcquireImage(false));
  EXPECT_TRUE(sim.engine.Calls().empty());
}

// A source that announces a second image after the first MSG_ENDXFER said
// none were left: the session transfers it while it closes, and that block
// must not be lost.
namespace late {

const UINT kNotify = WM_APP + 51;
HWND g_parent = nullptr;
int g_endTransfers = 0;
std::vector<HGLOBAL> g_images;
// The first page comes at 300 dpi, the late one at 150.
const float kTransferDpi[] = {300.0f, 150.0f};

HGLOBAL SmallDib() {
  auto header = InfoHeader(8, 8, 24);
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, header.size() + 8 * 24);
  GlobalLockGuard lock(h);
  std::memcpy(lock.bytes(), header.data(), header.size());
  return h;
}

TW_UINT16 TW_CALLINGSTYLE Entry(TW_IDENTITY *, TW_IDENTITY *, TW_UINT32, TW_UINT16 dat,
                                TW_UINT16 msg, TW_MEMREF data) {
  switch (dat) {
  case DAT_IDENTITY:
    if (msg == MSG_GETDEFAULT || msg == MSG_GETFIRST) {
      *static_cast<TW_IDENTITY *>(data) = MakeIdentity("Zelvantor", "Virtual Scanner", "ZV Late");
      return TWRC_SUCCESS;
    }
    return msg == MSG_GETNEXT ? TWRC_ENDOFLIST : TWRC_SUCCESS;
  case DAT_USERINTERFACE:
    if (msg == MSG_ENABLEDS) {
      g_parent = static_cast<HWND>(static_cast<TW_USERINTERFACE *>(data)->hParent);
      PostMessageW(g_parent, kNotify, 0, 0);
    }
    return TWRC_SUCCESS;
  case DAT_EVENT: {
    auto *event = static_cast<TW_EVENT *>(data);
    const bool mine = static_cast<MSG *>(event->pEvent)->message == kNotify;
    event->TWMessage = mine ? MSG_XFERREADY : MSG_NULL;
    return mine ? TWRC_DSEVENT : TWRC_NOTDSEVENT;
  }
  case DAT_IMAGEINFO: {
    auto *info = static_cast<TW_IMAGEINFO *>(data);
    const float dpi = kTransferDpi[g_images.size() < 2 ? g_images.size() : 1];
    info->XResolution = FloatToFix32(dpi);
    info->YResolution = FloatToFix32(dpi);
    info->ImageWidth = 8;
    info->ImageLength = 8;
    return TWRC_SUCCESS;
  }
  case DAT_IMAGENATIVEXFER:
    g_images.push_back(SmallDib());
    *static_cast<TW_HANDLE *>(data) = g_images.back();
    return TWRC_XFERDONE;
  case DAT_PENDINGXFERS:
    static_cast<TW_PENDINGXFERS *>(data)->Count = 0;
    if (msg == MSG_ENDXFER && ++g_endTransfers == 1)
      PostMessageW(g_parent, kNotify, 0, 0);
    return TWRC_SUCCESS;
  case DAT_CAPABILITY:
    return TWRC_FAILURE; // no containers to account for
  default:
    return TWRC_SUCCESS;
  }
}

} // namespace late

TEST(AcquirePage, ImageSlippedInWhileClosingIsFreed) {
  late::g_images.clear();
  late::g_endTransfers = 0;
  ScannerSession session(nullptr, &late::Entry);
  ASSERT_TRUE(session.IsAvailable());
  GlobalBlock dib = session.AcquirePage(TWPT_RGB, 0, 0, 0, 0, false);
  ASSERT_EQ(2u, late::g_images.size());
  EXPECT_EQ(late::g_images[0], dib.get());
  EXPECT_EQ(nullptr, GlobalSize(late::g_images[1]) ? late::g_images[1] : nullptr)
      << "the second image was not freed";
  // Repaired with the resolution of its own transfer, not the late one's.
  EXPECT_EQ(11811u, FieldU32(dib.get(), kXPels));
  EXPECT_EQ(11811u, FieldU32(dib.get(), kYPels));
  EXPECT_EQ(StateManagerLoaded, session.state);
  dib.reset();
  session.Shutdown();
}

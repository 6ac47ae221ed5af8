// The simulated manager itself: its leak accounting, its containers and the
// images it hands out must be right, or the session tests prove nothing.
#include <gtest/gtest.h>

#include <cstring>

#include "tools/twainsim/sim_engine.h"

using namespace twainsim;

namespace {

TEST(SimMemory, FreedBlocksAreRecognised) {
  HGLOBAL movable = GlobalAlloc(GHND, 6);
  HGLOBAL fixed = GlobalAlloc(GMEM_FIXED, 6);
  EXPECT_TRUE(IsLiveGlobal(movable));
  EXPECT_TRUE(IsLiveGlobal(fixed));
  GlobalFree(movable);
  GlobalFree(fixed);
  EXPECT_FALSE(IsLiveGlobal(movable));
  EXPECT_FALSE(IsLiveGlobal(nullptr));
}

TEST(SimMemory, ShortBlocksKeepTheirSize) {
  // The negotiation tests hand over blocks shorter than their header.
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 3);
  EXPECT_EQ(3u, GlobalSize(h));
  GlobalFree(h);
}

TEST(SimContainers, EveryKindAsTheStandardLaysItOut) {
  SimConfig config;
  SimSource source;
  source.identity = MakeIdentity("Acme", "Scan", "Acme Scan 1");
  source.capabilities = {
      OneValue(ICAP_PIXELTYPE, TWTY_UINT16, 2),
      Enumeration(ICAP_UNITS, TWTY_UINT16, {0, 1, 5}, 1, 0),
      Range(ICAP_BRIGHTNESS, TWTY_FIX32, Fix32Bits(-1000), Fix32Bits(1000), Fix32Bits(1),
            Fix32Bits(0), Fix32Bits(12.5)),
      ArrayOf(CAP_XFERCOUNT, TWTY_INT16, {3, 4}),
  };
  config.sources.push_back(source);
  SimEngine engine(config);
  TW_IDENTITY app = {};
  HWND parent = nullptr;
  ASSERT_EQ(TWRC_SUCCESS, engine.Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent));
  EXPECT_EQ(1u, app.Id);
  TW_IDENTITY ds = {};
  ASSERT_EQ(TWRC_SUCCESS, engine.Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &ds));
  EXPECT_EQ(101u, ds.Id);
  EXPECT_STREQ("Acme Scan 1", ds.ProductName);

  struct {
    TW_UINT16 cap;
    TW_UINT16 msg;
    TW_UINT16 conType;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {ICAP_PIXELTYPE, MSG_GET, TWON_ONEVALUE, {4, 0, 2, 0, 0, 0}},
      {ICAP_UNITS, MSG_GET, TWON_ENUMERATION,
       {4, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 5, 0}},
      {ICAP_UNITS, MSG_GETCURRENT, TWON_ONEVALUE, {4, 0, 1, 0, 0, 0}},
      {ICAP_UNITS, MSG_GETDEFAULT, TWON_ONEVALUE, {4, 0, 0, 0, 0, 0}},
      {ICAP_BRIGHTNESS, MSG_GET, TWON_RANGE,
       {7, 0, 0x18, 0xfc, 0, 0, 0xe8, 3, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 12, 0, 0, 0x80}},
      {ICAP_BRIGHTNESS, MSG_GETCURRENT, TWON_ONEVALUE, {7, 0, 12, 0, 0, 0x80}},
      {CAP_XFERCOUNT, MSG_GET, TWON_ARRAY, {1, 0, 2, 0, 0, 0, 3, 0, 4, 0}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(CapName(c.cap) + " " + MsgName(c.msg));
    TW_CAPABILITY cap = {c.cap, TWON_DONTCARE16, nullptr};
    ASSERT_EQ(TWRC_SUCCESS, engine.Entry(&app, &ds, DG_CONTROL, DAT_CAPABILITY, c.msg, &cap));
    EXPECT_EQ(c.conType, cap.ConType);
    ASSERT_NE(nullptr, cap.hContainer);
    ASSERT_EQ(c.bytes.size(), GlobalSize(cap.hContainer));
    const void *p = GlobalLock(cap.hContainer);
    EXPECT_EQ(0, std::memcmp(c.bytes.data(), p, c.bytes.size()));
    GlobalUnlock(cap.hContainer);
    EXPECT_EQ(1u, engine.LiveContainers());
    GlobalFree(cap.hContainer);
    EXPECT_EQ(0u, engine.LiveContainers());
  }
  EXPECT_EQ(0, engine.SequenceErrors());

  // Out of order: a capability set while the manager is closed is refused
  // and counted.
  TW_CAPABILITY cap = {ICAP_PIXELTYPE, TWON_ONEVALUE, nullptr};
  ASSERT_EQ(TWRC_SUCCESS, engine.Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &ds));
  EXPECT_EQ(TWRC_FAILURE, engine.Entry(&app, &ds, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap));
  EXPECT_EQ(1, engine.SequenceErrors());
  ASSERT_EQ(TWRC_SUCCESS, engine.Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent));
  EXPECT_EQ((std::vector<std::string>{"DSM OPENDSM", "DSM OPENDS", "DS GET ICAP_PIXELTYPE",
                                      "DS GET ICAP_UNITS", "DS GETCURRENT ICAP_UNITS",
                                      "DS GETDEFAULT ICAP_UNITS", "DS GET ICAP_BRIGHTNESS",
                                      "DS GETCURRENT ICAP_BRIGHTNESS", "DS GET CAP_XFERCOUNT",
                                      "DSM CLOSEDS", "DS GET ICAP_PIXELTYPE", "DSM CLOSEDSM"}),
            engine.CallNames());
}

struct Header {
  BITMAPINFOHEADER bi;
  RGBQUAD palette[256];
};

Header ReadHeader(HGLOBAL dib) {
  Header h = {};
  const SIZE_T size = GlobalSize(dib);
  const void *p = GlobalLock(dib);
  std::memcpy(&h, p, std::min<SIZE_T>(size, sizeof h));
  GlobalUnlock(dib);
  return h;
}

TEST(SimImages, ChartMatchesTheRequest) {
  struct {
    TW_UINT16 pixelType;
    WORD bits;
    DWORD colours;
  } cases[] = {{TWPT_BW, 1, 2}, {TWPT_GRAY, 8, 256}, {TWPT_RGB, 24, 0}};
  for (const auto &c : cases) {
    SimImageRequest r;
    r.right = 2.0;
    r.bottom = 1.0;
    r.xResolution = 50;
    r.yResolution = 25;
    r.pixelType = c.pixelType;
    HGLOBAL dib = MakeChartDib(r, 4000);
    ASSERT_NE(nullptr, dib);
    const Header h = ReadHeader(dib);
    EXPECT_EQ(100, h.bi.biWidth);
    EXPECT_EQ(25, h.bi.biHeight);
    EXPECT_EQ(c.bits, h.bi.biBitCount);
    EXPECT_EQ(c.colours, h.bi.biClrUsed);
    EXPECT_EQ(1969, h.bi.biXPelsPerMeter);
    EXPECT_EQ(984, h.bi.biYPelsPerMeter);
    const DWORD stride = ((100 * c.bits + 31) / 32) * 4;
    EXPECT_EQ(stride * 25, h.bi.biSizeImage);
    EXPECT_EQ(40 + 4 * c.colours + stride * 25, GlobalSize(dib));
    GlobalFree(dib);
  }
  SimImageRequest big;
  big.right = 100;
  big.bottom = 100;
  big.xResolution = big.yResolution = 600;
  HGLOBAL dib = MakeChartDib(big, 64);
  EXPECT_EQ(64, ReadHeader(dib).bi.biWidth);
  GlobalFree(dib);
}

TEST(SimImages, HeaderFaults) {
  SimImageRequest r;
  r.right = 1.0;
  r.bottom = 1.0;
  r.xResolution = r.yResolution = 16;
  r.pixelType = TWPT_GRAY;
  HGLOBAL dib = MakeChartDib(r, 4000);
  const Header before = ReadHeader(dib);
  SimBehaviour faults;
  faults.zeroPelsPerMeter = true;
  faults.zeroColourCount = true;
  faults.zeroImageSize = true;
  faults.reversedGreyPalette = true;
  ApplyImageFaults(dib, faults);
  const Header after = ReadHeader(dib);
  EXPECT_EQ(0, after.bi.biXPelsPerMeter);
  EXPECT_EQ(0, after.bi.biYPelsPerMeter);
  EXPECT_EQ(0u, after.bi.biClrUsed);
  EXPECT_EQ(0u, after.bi.biSizeImage);
  EXPECT_EQ(before.bi.biWidth, after.bi.biWidth);
  EXPECT_EQ(255, after.palette[0].rgbRed);
  EXPECT_EQ(0, after.palette[255].rgbRed);
  // The picture looks the same: index and palette were both turned round.
  const BYTE *p = static_cast<const BYTE *>(GlobalLock(dib)) + 40 + 1024;
  EXPECT_EQ(255, p[0]); // the black border, now index 255 of a white-to-black palette
  GlobalUnlock(dib);
  GlobalFree(dib);
}

} // namespace

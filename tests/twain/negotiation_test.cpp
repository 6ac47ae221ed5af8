// Capability negotiation against the simulated source: what is sent, in
// which container, and that every container is freed.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "twain/capability.h"
#include "twain/session_fixture.h"

using namespace twaintest;
using twainsim::SimCapability;
using Names = std::vector<std::string>;

namespace {

TW_UINT32 Fix(int whole, int frac = 0) {
  return TW_UINT32(std::uint16_t(whole)) | (TW_UINT32(frac) << 16);
}

class NegotiationTest : public SimSessionTest {
protected:
  void SetCap(const SimCapability &cap) {
    auto &caps = config.sources[0].capabilities;
    for (auto &c : caps)
      if (c.cap == cap.cap) {
        c = cap;
        return;
      }
    caps.push_back(cap);
  }
  void RemoveCap(TW_UINT16 cap) {
    auto &caps = config.sources[0].capabilities;
    for (auto it = caps.begin(); it != caps.end(); ++it)
      if (it->cap == cap) {
        caps.erase(it);
        return;
      }
  }
  void Open() {
    Start();
    ASSERT_TRUE(session->OpenSource());
    engine->ClearCalls();
  }
  const twainsim::SimCall &Last() const { return engine->Calls().back(); }
};

TEST_F(NegotiationTest, SettersSendOneValueContainers) {
  Open();
  EXPECT_TRUE(session->SetPixelType(TWPT_GRAY));
  EXPECT_EQ("DS SET ICAP_PIXELTYPE", Last().Name());
  EXPECT_EQ(TWON_ONEVALUE, Last().conType);
  EXPECT_EQ(TWTY_UINT16, Last().itemType);
  EXPECT_EQ(TWPT_GRAY, Last().item);
  EXPECT_EQ(TWPT_GRAY, engine->Settings().pixelType);

  EXPECT_TRUE(session->SetXResolution(150));
  EXPECT_EQ("DS SET ICAP_XRESOLUTION", Last().Name());
  EXPECT_EQ(TWTY_FIX32, Last().itemType);
  EXPECT_EQ(Fix(150), Last().item);
  EXPECT_TRUE(session->SetYResolution(75));
  EXPECT_EQ("DS SET ICAP_YRESOLUTION", Last().Name());
  EXPECT_EQ(Fix(75), Last().item);
  EXPECT_EQ(150.0, engine->Settings().xResolution);
  EXPECT_EQ(75.0, engine->Settings().yResolution);

  EXPECT_TRUE(session->SetContrast(-250));
  EXPECT_EQ("DS SET ICAP_CONTRAST", Last().Name());
  EXPECT_EQ(TWTY_FIX32, Last().itemType);
  EXPECT_EQ(Fix(-250), Last().item);

  EXPECT_FALSE(session->SetCapOneValue(CAP_XFERCOUNT, TWTY_INT16, 0xffffffffu)); // not supported
  EXPECT_EQ(0xffffffffu, Last().item) << "all 32 bits of the item are written";

  EXPECT_EQ(5u, engine->ApplicationContainersSeen());
  EXPECT_EQ(StateSourceOpen, session->state);
}

TEST_F(NegotiationTest, NothingOutsideStateFour) {
  config.sources[0].behaviour.outcome = twainsim::SimOutcome::Silent;
  Start();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "state 2" : "state 5");
    if (round == 1) {
      ASSERT_TRUE(session->EnableSource(false));
    }
    engine->ClearCalls();
    EXPECT_FALSE(session->SetPixelType(TWPT_RGB));
    EXPECT_FALSE(session->SetResolution(300));
    EXPECT_FALSE(session->SetContrast(0));
    EXPECT_FALSE(session->SetBrightness(TWPT_BW, 0));
    EXPECT_FALSE(session->SetBrightness(TWPT_RGB, 0));
    EXPECT_EQ(-400, session->MapBrightness(-400));
    EXPECT_FALSE(session->SetImageLayout(0, 0, 21000, 29700));
    EXPECT_TRUE(engine->Calls().empty());
  }
  // GetCapCurrent reads in state 5 as well, not in state 3.
  TW_UINT16 value = 0;
  EXPECT_TRUE(session->GetCapCurrent(ICAP_PIXELTYPE, TWTY_UINT16, &value));
  ASSERT_TRUE(session->CloseSource());
  engine->ClearCalls();
  EXPECT_FALSE(session->GetCapCurrent(ICAP_PIXELTYPE, TWTY_UINT16, &value));
  EXPECT_TRUE(engine->Calls().empty());
}

TEST_F(NegotiationTest, SetResolutionStopsAfterRefusedX) {
  SimCapability x = twainsim::Enumeration(ICAP_XRESOLUTION, TWTY_FIX32, {Fix(300)}, 0, 0);
  x.setRc = TWRC_FAILURE;
  SetCap(x);
  Open();
  EXPECT_FALSE(session->SetResolution(600));
  EXPECT_EQ(Names({"DS SET ICAP_XRESOLUTION"}), Calls());
}

TEST_F(NegotiationTest, SetResolutionBothAxes) {
  Open();
  EXPECT_TRUE(session->SetResolution(600));
  EXPECT_EQ(Names({"DS SET ICAP_XRESOLUTION", "DS SET ICAP_YRESOLUTION"}), Calls());
  // A value the source does not list: it takes its nearest and says so.
  engine->ClearCalls();
  EXPECT_FALSE(session->SetResolution(200));
  EXPECT_EQ(Names({"DS SET ICAP_XRESOLUTION"}), Calls());
  EXPECT_EQ(TWRC_CHECKSTATUS, Last().rc);
  EXPECT_EQ(150.0, engine->Settings().xResolution);
}

TEST_F(NegotiationTest, BrightnessMappedOntoTheSourceRange) {
  struct {
    double min, max;
    int in, out;
  } cases[] = {{0, 255, 0, 128},      {0, 255, -999, 0},          {0, 255, 999, 255},
               {0, 255, -1000, 0},    {0, 255, 1000, 255},        {-1000, 1000, 0, 0},
               {-1000, 1000, 1000, 1000}, {-1000, 1000, -1000, -1000}};
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.min << ".." << c.max << " " << c.in);
    SetCap(twainsim::Range(ICAP_BRIGHTNESS, TWTY_FIX32, twainsim::Fix32Bits(c.min),
                           twainsim::Fix32Bits(c.max), Fix(1), 0, 0));
    Open();
    EXPECT_EQ(c.out, session->MapBrightness(c.in));
    EXPECT_EQ(Names({"DS GET ICAP_BRIGHTNESS"}), Calls());
    EXPECT_EQ(TWON_RANGE, Last().conType);
    EXPECT_EQ(0u, engine->LiveContainers());
    TearDown();
  }
}

TEST_F(NegotiationTest, BrightnessSingleValueIsKept) {
  SetCap(twainsim::OneValue(ICAP_BRIGHTNESS, TWTY_FIX32, Fix(12, 0x8000)));
  Open();
  for (int b : {-1000, 0, 400, 1000})
    EXPECT_EQ(13, session->MapBrightness(b)) << b;
  EXPECT_TRUE(session->SetBrightness(TWPT_GRAY, 700));
  EXPECT_EQ(Fix(13), Last().item);
}

TEST_F(NegotiationTest, BrightnessOfUnexpectedShapeOrRefused) {
  struct {
    const char *what;
    SimCapability cap;
  } cases[] = {
      {"enumeration", twainsim::Enumeration(ICAP_BRIGHTNESS, TWTY_FIX32, {Fix(1), Fix(2)}, 0, 0)},
      {"array", twainsim::ArrayOf(ICAP_BRIGHTNESS, TWTY_FIX32, {Fix(1), Fix(2)})},
      {"integer range", twainsim::Range(ICAP_BRIGHTNESS, TWTY_INT32, 0, 255, 1, 0, 0)},
      {"integer one value", twainsim::OneValue(ICAP_BRIGHTNESS, TWTY_INT32, 77)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    SetCap(c.cap);
    Open();
    EXPECT_EQ(-300, session->MapBrightness(-300));
    EXPECT_EQ(0u, engine->LiveContainers());
    TearDown();
  }
  // Refused, and refused with a container handed back anyway.
  SimCapability refused = twainsim::OneValue(ICAP_BRIGHTNESS, TWTY_FIX32, Fix(5));
  refused.getRc = TWRC_FAILURE;
  for (bool withContainer : {false, true}) {
    refused.failureWithContainer = withContainer;
    SetCap(refused);
    Open();
    EXPECT_EQ(-300, session->MapBrightness(-300));
    EXPECT_EQ(withContainer ? 1u : 0u, engine->ContainersHandedOut());
    EXPECT_EQ(0u, engine->LiveContainers());
    TearDown();
  }
  RemoveCap(ICAP_BRIGHTNESS);
  Open();
  EXPECT_EQ(-300, session->MapBrightness(-300));
}

// A brightness beyond -1000 .. 1000 goes out as the nearer end, not cut to
// its low 16 bits, also where the source's container leaves it unmapped.
TEST_F(NegotiationTest, BrightnessBeyondItsRangeIsSentAsItsEnd) {
  SetCap(twainsim::OneValue(ICAP_BRIGHTNESS, TWTY_INT32, 77));
  Open();
  EXPECT_TRUE(session->SetBrightness(TWPT_GRAY, 70000));
  EXPECT_EQ(Fix(1000), Last().item);
  EXPECT_TRUE(session->SetBrightness(TWPT_GRAY, INT32_MIN));
  EXPECT_EQ(Fix(-1000), Last().item);
  EXPECT_TRUE(session->SetBrightness(TWPT_BW, -70000));
  EXPECT_EQ(Fix(255), Last().item);
}

TEST_F(NegotiationTest, ThresholdForBlackAndWhite) {
  Open();
  EXPECT_TRUE(session->SetBrightness(TWPT_BW, 0));
  EXPECT_EQ(Names({"DS SET ICAP_THRESHOLD"}), Calls());
  EXPECT_EQ(TWTY_FIX32, Last().itemType);
  EXPECT_EQ(Fix(127), Last().item);
  EXPECT_EQ(127.0, engine->Settings().threshold);

  engine->ClearCalls();
  EXPECT_TRUE(session->SetBrightness(TWPT_BW, -1000));
  EXPECT_EQ(Fix(255), Last().item);
  EXPECT_TRUE(session->SetBrightness(TWPT_BW, 1000));
  EXPECT_EQ(Fix(0), Last().item);
}

TEST_F(NegotiationTest, ThresholdRefusedFallsBackToBrightness) {
  SimCapability threshold = twainsim::Range(ICAP_THRESHOLD, TWTY_FIX32, 0, Fix(255), Fix(1), 0, 0);
  threshold.setRc = TWRC_FAILURE;
  SetCap(threshold);
  SetCap(twainsim::Range(ICAP_BRIGHTNESS, TWTY_FIX32, 0, Fix(255), Fix(1), 0, 0));
  Open();
  EXPECT_TRUE(session->SetBrightness(TWPT_BW, 0));
  EXPECT_EQ(Names({"DS SET ICAP_THRESHOLD", "DS GET ICAP_BRIGHTNESS", "DS SET ICAP_BRIGHTNESS"}),
            Calls());
  EXPECT_EQ(Fix(128), Last().item);
  EXPECT_EQ(128.0, engine->Settings().brightness);
}

TEST_F(NegotiationTest, OtherPixelTypesSetBrightnessOnly) {
  for (int pixelType : {int(TWPT_GRAY), int(TWPT_RGB), -1}) {
    SCOPED_TRACE(pixelType);
    Open();
    EXPECT_TRUE(session->SetBrightness(pixelType, 500));
    EXPECT_EQ(Names({"DS GET ICAP_BRIGHTNESS", "DS SET ICAP_BRIGHTNESS"}), Calls());
    EXPECT_EQ(Fix(500), Last().item); // the model's range is -1000..1000
    TearDown();
  }
}

TEST_F(NegotiationTest, ImageLayoutOfAnA4Frame) {
  Open();
  EXPECT_TRUE(session->SetImageLayout(ScanFrame{0, 0, 21000, 29700}));
  EXPECT_EQ(Names({"DS IMAGELAYOUT SET"}), Calls());
  const TW_FRAME &f = Last().frame;
  EXPECT_EQ(0, f.Left.Whole);
  EXPECT_EQ(0, f.Left.Frac);
  EXPECT_EQ(0, f.Top.Whole);
  EXPECT_EQ(0, f.Top.Frac);
  EXPECT_EQ(8, f.Right.Whole);
  EXPECT_EQ(17545, f.Right.Frac);
  EXPECT_EQ(11, f.Bottom.Whole);
  EXPECT_EQ(45411, f.Bottom.Frac);
  EXPECT_TRUE(engine->Settings().frameSet);

  // The source's answer is the result.
  engine->Config().sources[0].behaviour.imageLayoutSetRc = TWRC_FAILURE;
  EXPECT_FALSE(session->SetImageLayout(0, 0, 10000, 10000));
}

// Watches the image layout as the program passes it.
TW_IMAGELAYOUT g_layout;
TW_UINT16 TW_CALLINGSTYLE LayoutWatcher(TW_IDENTITY *origin, TW_IDENTITY *destination,
                                        TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (dg == DG_IMAGE && dat == DAT_IMAGELAYOUT && msg == MSG_SET)
    g_layout = *static_cast<TW_IMAGELAYOUT *>(data);
  return twainsim::SimDsmEntry(origin, destination, dg, dat, msg, data);
}

TEST_F(NegotiationTest, ImageLayoutNumbersAreDontCare) {
  Start(nullptr, false, LayoutWatcher);
  ASSERT_TRUE(session->OpenSource());
  std::memset(&g_layout, 0, sizeof g_layout);
  EXPECT_TRUE(session->SetImageLayout(0, 0, 29700, 21000));
  EXPECT_EQ(TWON_DONTCARE32, g_layout.DocumentNumber);
  EXPECT_EQ(TWON_DONTCARE32, g_layout.PageNumber);
  EXPECT_EQ(TWON_DONTCARE32, g_layout.FrameNumber);
  EXPECT_EQ(11, g_layout.Frame.Right.Whole);
  EXPECT_EQ(8, g_layout.Frame.Bottom.Whole);
}

TEST_F(NegotiationTest, GetCapCurrentItemTypes) {
  struct {
    const char *what;
    SimCapability cap;
    TW_UINT16 requested;
    bool ok;
    std::uint32_t value;
  } cases[] = {
      {"INT16 one value read as UINT16", twainsim::OneValue(ICAP_PIXELTYPE, TWTY_INT16, 2), TWTY_UINT16, true, 2},
      {"UINT16 one value read as BOOL", twainsim::OneValue(ICAP_PIXELTYPE, TWTY_UINT16, 1), TWTY_BOOL, false, 0},
      {"BOOL read as BOOL", twainsim::OneValue(ICAP_PIXELTYPE, TWTY_BOOL, 1), TWTY_BOOL, true, 1},
      {"BOOL read as UINT16", twainsim::OneValue(ICAP_PIXELTYPE, TWTY_BOOL, 1), TWTY_UINT16, false, 0},
      {"FIX32 read as INT32", twainsim::OneValue(ICAP_PIXELTYPE, TWTY_FIX32, Fix(3)), TWTY_INT32, false, 0},
      {"UINT32 read as INT32", twainsim::OneValue(ICAP_PIXELTYPE, TWTY_UINT32, 0x12345678), TWTY_INT32, true, 0x12345678},
      {"enumeration current item", twainsim::Enumeration(ICAP_PIXELTYPE, TWTY_UINT16, {0, 1, 2}, 2, 0), TWTY_UINT16, true, 2},
      {"range current value", twainsim::Range(ICAP_PIXELTYPE, TWTY_FIX32, 0, Fix(9), Fix(1), Fix(1), Fix(4, 0x8000)), TWTY_FIX32, true, Fix(4, 0x8000)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    SimCapability full = c.cap;
    full.currentAsOneValue = false; // answer with the container itself
    SetCap(full);
    Open();
    std::uint32_t out = 0;
    EXPECT_EQ(c.ok, session->GetCapCurrent(ICAP_PIXELTYPE, c.requested, &out));
    EXPECT_EQ(c.ok ? c.value : 0u, out);
    EXPECT_EQ(Names({"DS GETCURRENT ICAP_PIXELTYPE"}), Calls());
    EXPECT_EQ(0u, engine->LiveContainers());
    TearDown();
  }
}

TEST_F(NegotiationTest, GetCapCurrentEnumerationBounds) {
  struct {
    const char *what;
    std::uint32_t numItems, currentIndex, itemsInBlock;
    bool ok;
  } cases[] = {
      {"last item", 3, 2, 3, true},
      {"CurrentIndex == NumItems", 3, 3, 3, false},
      {"CurrentIndex past NumItems", 3, 7, 8, false},
      {"NumItems larger than the block", 100, 50, 3, false},
      {"index overflowing 32 bits", 0xffffffffu, 0x80000001u, 3, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    SimCapability hostile;
    hostile.cap = ICAP_UNITS;
    hostile.rawConType = TWON_ENUMERATION;
    hostile.rawContainer.assign(14 + 2 * c.itemsInBlock, 0);
    hostile.rawContainer[0] = TWTY_UINT16;
    std::memcpy(&hostile.rawContainer[2], &c.numItems, 4);
    std::memcpy(&hostile.rawContainer[6], &c.currentIndex, 4);
    for (std::uint32_t i = 0; i < c.itemsInBlock; ++i)
      hostile.rawContainer[14 + 2 * i] = std::uint8_t(0x40 + i);
    SetCap(hostile);
    Open();
    std::uint16_t out = 0xbeef;
    EXPECT_EQ(c.ok, session->GetCapCurrent(ICAP_UNITS, TWTY_UINT16, &out));
    EXPECT_EQ(c.ok ? 0x40 + c.currentIndex : 0xbeef, out);
    EXPECT_EQ(0u, engine->LiveContainers());
    TearDown();
  }
}

TEST_F(NegotiationTest, GetCapCurrentOddAnswers) {
  // An array has no current value; a one value shorter than its header; a
  // failed call that still hands a container over; an unknown capability.
  SimCapability array = twainsim::ArrayOf(ICAP_UNITS, TWTY_UINT16, {0, 1});
  SimCapability shortOne;
  shortOne.cap = ICAP_CONTRAST;
  shortOne.rawConType = TWON_ONEVALUE;
  shortOne.rawContainer = {TWTY_FIX32, 0, 1};
  SimCapability failed = twainsim::OneValue(ICAP_BITDEPTH, TWTY_UINT16, 8);
  failed.getRc = TWRC_FAILURE;
  failed.failureWithContainer = true;
  SetCap(array);
  SetCap(shortOne);
  SetCap(failed);
  Open();
  std::uint32_t out = 0;
  EXPECT_FALSE(session->GetCapCurrent(ICAP_UNITS, TWTY_UINT16, &out));
  EXPECT_FALSE(session->GetCapCurrent(ICAP_CONTRAST, TWTY_FIX32, &out));
  EXPECT_FALSE(session->GetCapCurrent(ICAP_BITDEPTH, TWTY_UINT16, &out));
  EXPECT_FALSE(session->GetCapCurrent(0x7777, TWTY_UINT16, &out));
  EXPECT_EQ(0u, out);
  // An item type outside the table is refused before anything is asked.
  engine->ClearCalls();
  EXPECT_FALSE(session->GetCapCurrent(ICAP_UNITS, 13, &out));
  EXPECT_TRUE(engine->Calls().empty());
  EXPECT_EQ(3u, engine->ContainersHandedOut());
  EXPECT_EQ(0u, engine->LiveContainers());
}

} // namespace

// The state table and the capability arithmetic as plain functions.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "twain/capability.h"
#include "twain/session_state.h"

namespace {

struct Row {
  const char *what;
  int state;
  bool toSource;
  TW_UINT32 group;
  TW_UINT16 dat;
  TW_UINT16 msg;
  TW_UINT16 rc;
  TW_UINT16 eventMessage;
  TW_UINT16 count;
  int newState;
  bool result;
  bool adopt;
};

const Row kRows[] = {
    // Manager rows.
    {"OPENDSM ok", 2, false, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, TWRC_SUCCESS, 0, 0, 3, true, false},
    {"OPENDSM failed", 2, false, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, TWRC_FAILURE, 0, 0, 2, false, false},
    {"CLOSEDSM ok", 3, false, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, TWRC_SUCCESS, 0, 0, 2, true, false},
    {"CLOSEDSM failed", 3, false, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, TWRC_FAILURE, 0, 0, 3, false, false},
    {"OPENDS ok", 3, false, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, TWRC_SUCCESS, 0, 0, 4, true, true},
    {"OPENDS failed", 3, false, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, TWRC_FAILURE, 0, 0, 3, false, false},
    {"CLOSEDS ok", 4, false, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, TWRC_SUCCESS, 0, 0, 3, true, false},
    {"CLOSEDS failed", 4, false, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, TWRC_FAILURE, 0, 0, 4, false, false},
    {"GETFIRST end of list", 3, false, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, TWRC_ENDOFLIST, 0, 0, 3, false, false},
    {"USERSELECT cancelled", 3, false, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, TWRC_CANCEL, 0, 0, 3, false, false},
    {"GETDEFAULT ok", 3, false, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, TWRC_SUCCESS, 0, 0, 3, true, false},
    // The same triplets to a source are not manager rows.
    {"OPENDSM to a source", 2, true, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, TWRC_SUCCESS, 0, 0, 2, true, false},
    {"OPENDS to a source", 3, true, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, TWRC_SUCCESS, 0, 0, 3, true, false},
    // Source rows.
    {"ENABLEDS ok", 4, true, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, TWRC_SUCCESS, 0, 0, 5, true, false},
    {"ENABLEDS checkstatus", 4, true, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, TWRC_CHECKSTATUS, 0, 0, 5, true, false},
    {"ENABLEDS failure", 4, true, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, TWRC_FAILURE, 0, 0, 4, false, false},
    {"ENABLEDS cancel", 4, true, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, TWRC_CANCEL, 0, 0, 4, false, false},
    {"DISABLEDS ok", 5, true, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, TWRC_SUCCESS, 0, 0, 4, true, false},
    {"DISABLEDS failed", 5, true, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, TWRC_FAILURE, 0, 0, 5, false, false},
    {"PROCESSEVENT xferready", 5, true, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, TWRC_DSEVENT, MSG_XFERREADY, 0, 6, true, false},
    {"PROCESSEVENT xferready, odd rc", 5, true, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, TWRC_NOTDSEVENT, MSG_XFERREADY, 0, 6, false, false},
    {"PROCESSEVENT xferready, failure", 5, true, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, TWRC_FAILURE, MSG_XFERREADY, 0, 6, false, false},
    {"PROCESSEVENT closedsreq", 5, true, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, TWRC_DSEVENT, MSG_CLOSEDSREQ, 0, 5, true, false},
    {"PROCESSEVENT foreign", 5, true, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, TWRC_NOTDSEVENT, MSG_NULL, 0, 5, false, false},
    {"PROCESSEVENT success is not dsevent", 5, true, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, TWRC_SUCCESS, MSG_NULL, 0, 5, false, false},
    {"ENDXFER count 1", 7, true, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, TWRC_SUCCESS, 0, 1, 6, true, false},
    {"ENDXFER count unknown", 7, true, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, TWRC_SUCCESS, 0, 0xffff, 6, true, false},
    {"ENDXFER count 0", 7, true, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, TWRC_SUCCESS, 0, 0, 5, true, false},
    {"ENDXFER failed", 7, true, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, TWRC_FAILURE, 0, 0, 7, false, false},
    {"RESET ok", 6, true, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, TWRC_SUCCESS, 0, 0, 5, true, false},
    {"RESET failed", 6, true, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, TWRC_FAILURE, 0, 0, 6, false, false},
    {"native xferdone", 6, true, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, TWRC_XFERDONE, 0, 0, 7, true, false},
    {"native cancel", 6, true, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, TWRC_CANCEL, 0, 0, 7, false, false},
    {"native failure", 6, true, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, TWRC_FAILURE, 0, 0, 6, false, false},
    {"native success is no image", 6, true, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, TWRC_SUCCESS, 0, 0, 6, false, false},
    {"native failure lowers 7 to 6", 7, true, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, TWRC_FAILURE, 0, 0, 6, false, false},
    {"file xferdone", 6, true, DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, TWRC_XFERDONE, 0, 0, 7, true, false},
    {"file failure", 6, true, DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, TWRC_FAILURE, 0, 0, 6, false, false},
    // Unlisted calls keep the state and report success alone.
    {"capability set ok", 4, true, DG_CONTROL, DAT_CAPABILITY, MSG_SET, TWRC_SUCCESS, 0, 0, 4, true, false},
    {"capability set checkstatus", 4, true, DG_CONTROL, DAT_CAPABILITY, MSG_SET, TWRC_CHECKSTATUS, 0, 0, 4, false, false},
    {"image info", 6, true, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, TWRC_SUCCESS, 0, 0, 6, true, false},
    {"image layout refused", 4, true, DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, TWRC_FAILURE, 0, 0, 4, false, false},
    {"ENDXFER in the image group", 7, true, DG_IMAGE, DAT_PENDINGXFERS, MSG_ENDXFER, TWRC_SUCCESS, 0, 0, 7, true, false},
};

TEST(TransitionTable, EveryRow) {
  for (const Row &row : kRows) {
    SCOPED_TRACE(row.what);
    TwainExchange x;
    x.toSource = row.toSource;
    x.group = row.group;
    x.dat = row.dat;
    x.msg = row.msg;
    x.rc = row.rc;
    x.eventMessage = row.eventMessage;
    x.pendingCount = row.count;
    const TwainTransition t = ApplyTransition(SessionState(row.state), x);
    EXPECT_EQ(row.newState, t.state);
    EXPECT_EQ(row.result, t.result);
    EXPECT_EQ(row.adopt, t.adoptSourceIdentity);
  }
}

// The table does not look at the state it starts from: a row applies in any
// state (the wrappers above it decide when to call).
TEST(TransitionTable, RowsIgnoreTheStartingState) {
  for (int state = 1; state <= 7; ++state) {
    TwainExchange x;
    x.toSource = true;
    x.group = DG_CONTROL;
    x.dat = DAT_PENDINGXFERS;
    x.msg = MSG_RESET;
    x.rc = TWRC_SUCCESS;
    EXPECT_EQ(StateSourceEnabled, ApplyTransition(SessionState(state), x).state);
    x.rc = TWRC_FAILURE;
    EXPECT_EQ(state, ApplyTransition(SessionState(state), x).state);
  }
}

TEST(ManagerVersion, OnePointSixPointZeroPointThreeOrNewer) {
  struct {
    std::uint64_t version;
    bool accepted;
  } cases[] = {
      {0, false},
      {0x0001000600000002ull, false},
      {0x0001000600000003ull, true},
      {0x0001000600010000ull, true}, // 1.6.1.0
      {0x0001000500ff00ffull, false},
      {0x0001000700000000ull, true},
      {0x0002000000000000ull, true},
      {0x00010006ffffffffull, true},
  };
  for (const auto &c : cases)
    EXPECT_EQ(c.accepted, ManagerVersionAccepted(c.version)) << std::hex << c.version;
}

TEST(Fix32, Conversions) {
  struct {
    float value;
    TW_INT16 whole;
    TW_UINT16 frac;
  } cases[] = {
      {0.0f, 0, 0},           {1.0f, 1, 0},         {8.5f, 8, 0x8000},
      {300.0f, 300, 0},       {-1.0f, -1, 0},       {-0.5f, -1, 0x8000}, {-0.25f, -1, 0xc000},
      {12.5f, 12, 0x8000},    {-1000.0f, -1000, 0}, {0.0000077f, 0, 1},
  };
  for (const auto &c : cases) {
    const TW_FIX32 f = FloatToFix32(c.value);
    EXPECT_EQ(c.whole, f.Whole) << c.value;
    EXPECT_EQ(c.frac, f.Frac) << c.value;
  }
  TW_FIX32 f = {-2, 0x4000};
  EXPECT_DOUBLE_EQ(-1.75, Fix32ToFloat(f));
  f = {8, 17545};
  EXPECT_DOUBLE_EQ(8.0 + 17545.0 / 65536.0, Fix32ToFloat(f));

  EXPECT_EQ(300, IntToFix32(300).Whole);
  EXPECT_EQ(0, IntToFix32(300).Frac);
  EXPECT_EQ(-1000, IntToFix32(-1000).Whole);
  // Only the low 16 bits survive.
  EXPECT_EQ(1, IntToFix32(0x10001).Whole);
  EXPECT_EQ(TW_INT16(-32768), IntToFix32(0x8000).Whole);

  // Out of range and NaN stay defined.
  EXPECT_EQ(TW_INT16(0x7fff), FloatToFix32(1e30f).Whole);
  EXPECT_EQ(TW_INT16(-32768), FloatToFix32(-1e30f).Whole);
}

TEST(ItemTypes, SizesAndCompatibility) {
  const std::size_t sizes[] = {1, 2, 4, 1, 2, 4, 2, 4, 16, 34, 66, 130, 256};
  for (TW_UINT16 t = 0; t < 13; ++t)
    EXPECT_EQ(sizes[t], TwainItemSize(t)) << t;
  EXPECT_EQ(0u, TwainItemSize(13));
  EXPECT_EQ(0u, TwainItemSize(0xffff));

  EXPECT_TRUE(ItemTypesCompatible(TWTY_UINT16, TWTY_INT16));
  EXPECT_TRUE(ItemTypesCompatible(TWTY_INT16, TWTY_UINT16));
  EXPECT_TRUE(ItemTypesCompatible(TWTY_INT8, TWTY_UINT8));
  EXPECT_TRUE(ItemTypesCompatible(TWTY_UINT32, TWTY_INT32));
  EXPECT_TRUE(ItemTypesCompatible(TWTY_FIX32, TWTY_FIX32));
  EXPECT_TRUE(ItemTypesCompatible(TWTY_BOOL, TWTY_BOOL));
  EXPECT_FALSE(ItemTypesCompatible(TWTY_BOOL, TWTY_UINT16));
  EXPECT_FALSE(ItemTypesCompatible(TWTY_UINT16, TWTY_BOOL));
  EXPECT_FALSE(ItemTypesCompatible(TWTY_FIX32, TWTY_INT32));
  EXPECT_FALSE(ItemTypesCompatible(TWTY_INT32, TWTY_FIX32));
  EXPECT_FALSE(ItemTypesCompatible(TWTY_UINT16, TWTY_UINT32));
  EXPECT_FALSE(ItemTypesCompatible(TWTY_INT8, TWTY_INT16));
}

std::vector<std::uint8_t> Enumeration16(std::uint32_t count, std::uint32_t current,
                                        std::uint32_t itemsPresent) {
  std::vector<std::uint8_t> b(14 + 2 * itemsPresent, 0);
  b[0] = TWTY_UINT16;
  std::memcpy(&b[2], &count, 4);
  std::memcpy(&b[6], &current, 4);
  for (std::uint32_t i = 0; i < itemsPresent; ++i)
    b[14 + 2 * i] = std::uint8_t(10 + i);
  return b;
}

TEST(CurrentValue, EnumerationIndexAndBlockBounds) {
  std::uint16_t out = 0xbeef;
  auto e = Enumeration16(3, 2, 3);
  EXPECT_TRUE(ReadCurrentValue(TWON_ENUMERATION, e.data(), e.size(), TWTY_UINT16, &out));
  EXPECT_EQ(12, out);

  out = 0xbeef;
  e = Enumeration16(3, 3, 3); // CurrentIndex == NumItems
  EXPECT_FALSE(ReadCurrentValue(TWON_ENUMERATION, e.data(), e.size(), TWTY_UINT16, &out));
  EXPECT_EQ(0xbeef, out);

  // A source that claims more items than its block holds: the index is
  // inside NumItems but past the end of the block.
  e = Enumeration16(1000, 500, 3);
  EXPECT_FALSE(ReadCurrentValue(TWON_ENUMERATION, e.data(), e.size(), TWTY_UINT16, &out));
  EXPECT_EQ(0xbeef, out);
  // A huge index whose byte offset would wrap in 32 bits.
  e = Enumeration16(0xffffffffu, 0x80000000u, 3);
  EXPECT_FALSE(ReadCurrentValue(TWON_ENUMERATION, e.data(), e.size(), TWTY_UINT16, &out));
  // A block shorter than the enumeration header.
  EXPECT_FALSE(ReadCurrentValue(TWON_ENUMERATION, e.data(), 10, TWTY_UINT16, &out));
  EXPECT_EQ(0xbeef, out);
}

TEST(CurrentValue, OneValueRangeAndOthers) {
  std::uint8_t one[6] = {TWTY_INT16, 0, 0x34, 0x12, 0x99, 0x99};
  std::uint16_t out16 = 0;
  EXPECT_TRUE(ReadCurrentValue(TWON_ONEVALUE, one, sizeof one, TWTY_UINT16, &out16));
  EXPECT_EQ(0x1234, out16);
  std::uint16_t flag = 0;
  EXPECT_FALSE(ReadCurrentValue(TWON_ONEVALUE, one, sizeof one, TWTY_BOOL, &flag));
  EXPECT_FALSE(ReadCurrentValue(TWON_ONEVALUE, one, 5, TWTY_UINT16, &out16));

  std::uint8_t range[22] = {TWTY_FIX32, 0};
  range[18] = 44; // CurrentValue Whole 44
  range[20] = 0;
  range[21] = 0x80; // Frac 0x8000
  TW_FIX32 f = {};
  EXPECT_TRUE(ReadCurrentValue(TWON_RANGE, range, sizeof range, TWTY_FIX32, &f));
  EXPECT_EQ(44, f.Whole);
  EXPECT_EQ(0x8000, f.Frac);
  EXPECT_FALSE(ReadCurrentValue(TWON_RANGE, range, 21, TWTY_FIX32, &f));

  std::uint8_t array[10] = {TWTY_FIX32, 0, 1, 0, 0, 0, 7, 0, 0, 0};
  EXPECT_FALSE(ReadCurrentValue(TWON_ARRAY, array, sizeof array, TWTY_FIX32, &f));
  EXPECT_FALSE(ReadCurrentValue(0x77, array, sizeof array, TWTY_FIX32, &f));

  // A frame in a one value lies past the 4-byte Item: read only when the
  // block holds it.
  std::uint8_t frameValue[18] = {TWTY_FRAME, 0};
  frameValue[14] = 0x5a; // Frame.Bottom.Whole
  TW_FRAME frame = {};
  EXPECT_TRUE(ReadCurrentValue(TWON_ONEVALUE, frameValue, sizeof frameValue, TWTY_FRAME, &frame));
  EXPECT_EQ(0x5a, frame.Bottom.Whole);
  EXPECT_FALSE(ReadCurrentValue(TWON_ONEVALUE, frameValue, 6, TWTY_FRAME, &frame));
}

std::vector<std::uint8_t> FixRange(double min, double max) {
  std::vector<std::uint8_t> b(22, 0);
  b[0] = TWTY_FIX32;
  const TW_FIX32 lo = FloatToFix32(float(min)), hi = FloatToFix32(float(max));
  std::memcpy(&b[2], &lo, 4);
  std::memcpy(&b[6], &hi, 4);
  return b;
}

TEST(Brightness, MappedOntoTheSourceRange) {
  struct {
    double min, max;
    std::int32_t in, out;
  } cases[] = {
      {0, 255, 0, 128},     {0, 255, -999, 0},     {0, 255, 999, 255},
      {0, 255, -1000, 0},   {0, 255, 1000, 255},   {-1000, 1000, 0, 0},
      {-1000, 1000, -1000, -1000}, {-1000, 1000, 1000, 1000}, {-100, 100, -500, -50},
      {-100, 100, -1, 0},   {-100, 100, -17, -2},  {-100, 100, 15, 2},
  };
  for (const auto &c : cases) {
    const auto r = FixRange(c.min, c.max);
    EXPECT_EQ(c.out, MapBrightnessFromContainer(TWON_RANGE, r.data(), r.size(), c.in))
        << c.min << ".." << c.max << " " << c.in;
  }
  // Beyond -1000 .. 1000 the nearer end of the source's range, even where
  // the arithmetic would overflow.
  const auto wide = FixRange(-32000, 32000);
  const struct {
    std::int32_t in, out;
  } beyond[] = {{1500, 32000}, {-1001, -32000}, {INT32_MAX, 32000}, {INT32_MIN, -32000}};
  for (const auto &c : beyond)
    EXPECT_EQ(c.out, MapBrightnessFromContainer(TWON_RANGE, wide.data(), wide.size(), c.in))
        << c.in;
  std::uint8_t one[6] = {TWTY_FIX32, 0, 12, 0, 0, 0x80}; // 12.5
  EXPECT_EQ(13, MapBrightnessFromContainer(TWON_ONEVALUE, one, 6, -1000));
  EXPECT_EQ(13, MapBrightnessFromContainer(TWON_ONEVALUE, one, 6, 700));
  // Not TWTY_FIX32, not a known container, or short: unchanged.
  one[0] = TWTY_INT32;
  EXPECT_EQ(700, MapBrightnessFromContainer(TWON_ONEVALUE, one, 6, 700));
  const auto r = FixRange(0, 255);
  EXPECT_EQ(700, MapBrightnessFromContainer(TWON_ENUMERATION, r.data(), r.size(), 700));
  EXPECT_EQ(700, MapBrightnessFromContainer(TWON_RANGE, r.data(), 21, 700));
}

TEST(Threshold, FromBrightness) {
  EXPECT_EQ(255, ThresholdFromBrightness(-1000));
  EXPECT_EQ(127, ThresholdFromBrightness(0));
  EXPECT_EQ(0, ThresholdFromBrightness(1000));
  EXPECT_EQ(191, ThresholdFromBrightness(-500));
  EXPECT_EQ(0, ThresholdFromBrightness(5000));
  EXPECT_EQ(255, ThresholdFromBrightness(-1001));
  EXPECT_EQ(0, ThresholdFromBrightness(INT32_MAX));
  EXPECT_EQ(255, ThresholdFromBrightness(INT32_MIN));
}

TEST(FrameSides, HundredthsOfAMillimetreInInches) {
  struct {
    std::int32_t v;
    TW_INT16 whole;
    TW_UINT16 frac;
  } cases[] = {
      {0, 0, 0}, {21000, 8, 17545}, {29700, 11, 45411}, {2540, 1, 0}, {1270, 0, 32768},
  };
  for (const auto &c : cases) {
    const TW_FIX32 f = HundredthsMmToFix32(c.v);
    EXPECT_EQ(c.whole, f.Whole) << c.v;
    EXPECT_EQ(c.frac, f.Frac) << c.v;
  }
}

} // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "twain/profile_cache.h"
#include "twain/acquire_fixture.h"

using namespace twainsim;

namespace {

void Put16(std::vector<std::uint8_t> &b, std::uint16_t v) {
  b.push_back(std::uint8_t(v));
  b.push_back(std::uint8_t(v >> 8));
}
void Put32(std::vector<std::uint8_t> &b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b.push_back(std::uint8_t(v >> (8 * i)));
}

std::vector<std::uint8_t> ListContainer(TW_UINT16 conType, TW_UINT16 itemType,
                                        std::uint32_t numItems, std::uint32_t defaultIndex,
                                        const std::vector<std::uint32_t> &items,
                                        std::size_t itemSize) {
  std::vector<std::uint8_t> b;
  Put16(b, itemType);
  Put32(b, numItems);
  if (conType == TWON_ENUMERATION) {
    Put32(b, 0);
    Put32(b, defaultIndex);
  }
  for (std::uint32_t v : items) {
    if (itemSize == 2)
      Put16(b, std::uint16_t(v));
    else
      Put32(b, v);
  }
  return b;
}

std::vector<std::uint8_t> OneValueContainer(TW_UINT16 itemType, std::uint32_t item) {
  std::vector<std::uint8_t> b;
  Put16(b, itemType);
  Put32(b, item);
  return b;
}

std::vector<bool> Flags(const bool *flags, std::size_t n) { return std::vector<bool>(flags, flags + n); }

int Opens(const SimSession &sim) {
  const auto calls = sim.Calls();
  return int(std::count(calls.begin(), calls.end(), "OPENDS"));
}

SimCapability *Cap(SimConfig &config, TW_UINT16 cap) {
  for (SimCapability &c : config.sources[0].capabilities)
    if (c.cap == cap)
      return &c;
  return nullptr;
}

} // namespace

// ---------------------------------------------------------------------------
// Containers read from their bytes.

TEST(FlagContainer, ArraysEnumerationsAndOneValues) {
  const struct {
    TW_UINT16 conType, itemType;
    std::vector<std::uint32_t> items;
    std::vector<bool> want; // 9 pixel-type flags
  } cases[] = {
      {TWON_ENUMERATION, TWTY_UINT16, {0, 1, 2}, {1, 1, 1, 0, 0, 0, 0, 0, 0}},
      {TWON_ARRAY, TWTY_UINT16, {8, 2}, {0, 0, 1, 0, 0, 0, 0, 0, 1}},
      {TWON_ENUMERATION, TWTY_INT16, {1, 9, 0xFFFF}, {0, 1, 0, 0, 0, 0, 0, 0, 0}},
      {TWON_ENUMERATION, TWTY_UINT32, {0, 1}, {0, 0, 0, 0, 0, 0, 0, 0, 0}}, // wrong item type
      {TWON_ENUMERATION, TWTY_UINT16, {}, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto &c : cases) {
    const auto bytes =
        ListContainer(c.conType, c.itemType, std::uint32_t(c.items.size()), 0, c.items, 2);
    bool flags[9] = {};
    ReadFlagContainer(c.conType, bytes.data(), bytes.size(), flags, 9);
    EXPECT_EQ(c.want, Flags(flags, 9)) << c.conType << " " << c.itemType;
  }
  // One value: the 32-bit item, whatever its item type says.
  for (std::uint32_t v : {2u, 9u, 0x10002u}) {
    const auto bytes = OneValueContainer(TWTY_UINT16, v);
    bool flags[9] = {};
    ReadFlagContainer(TWON_ONEVALUE, bytes.data(), bytes.size(), flags, 9);
    std::vector<bool> want(9, false);
    if (v < 9)
      want[v] = true;
    EXPECT_EQ(want, Flags(flags, 9)) << v;
  }
  // Units stop at 6; a range is not understood.
  {
    const auto bytes = ListContainer(TWON_ENUMERATION, TWTY_UINT16, 3, 0, {0, 5, 6}, 2);
    bool units[6] = {};
    ReadFlagContainer(TWON_ENUMERATION, bytes.data(), bytes.size(), units, 6);
    EXPECT_EQ(std::vector<bool>({1, 0, 0, 0, 0, 1}), Flags(units, 6));
    bool none[6] = {};
    const std::vector<std::uint8_t> range(22, 0);
    EXPECT_EQ(0u, ReadFlagContainer(TWON_RANGE, range.data(), range.size(), none, 6));
  }
}

TEST(FlagContainer, NumItemsBeyondTheBlockReadsOnlyWhatIsThere) {
  // Claims 1000 items, holds 2 (and a stray byte).
  auto bytes = ListContainer(TWON_ENUMERATION, TWTY_UINT16, 1000, 0, {1, 2}, 2);
  bytes.push_back(0);
  bool flags[9] = {};
  EXPECT_EQ(2u, ReadFlagContainer(TWON_ENUMERATION, bytes.data(), bytes.size(), flags, 9));
  EXPECT_EQ(std::vector<bool>({0, 1, 1, 0, 0, 0, 0, 0, 0}), Flags(flags, 9));

  auto array = ListContainer(TWON_ARRAY, TWTY_UINT16, 0xFFFFFFFFu, 0, {4}, 2);
  bool more[9] = {};
  EXPECT_EQ(1u, ReadFlagContainer(TWON_ARRAY, array.data(), array.size(), more, 9));
  EXPECT_TRUE(more[4]);

  // Blocks too short for their own header.
  bool none[9] = {};
  EXPECT_EQ(0u, ReadFlagContainer(TWON_ENUMERATION, bytes.data(), 13, none, 9));
  EXPECT_EQ(0u, ReadFlagContainer(TWON_ONEVALUE, bytes.data(), 5, none, 9));
  EXPECT_EQ(std::vector<bool>(9, false), Flags(none, 9));
}

TEST(ResolutionContainer, EnumerationOneValueAndRange) {
  const std::uint32_t r100 = Fix32Bits(100.0), r200 = Fix32Bits(200.0), r300 = Fix32Bits(300.0);
  {
    const auto bytes = ListContainer(TWON_ENUMERATION, TWTY_FIX32, 3, 1, {r100, r200, r300}, 4);
    ScannerProfile p;
    ASSERT_TRUE(ReadResolutionContainer(TWON_ENUMERATION, bytes.data(), bytes.size(), p));
    EXPECT_TRUE(p.bResolutionArray);
    EXPECT_FALSE(p.bResolutionRange);
    EXPECT_EQ(200.0f, p.ResolutionDefault);
    EXPECT_EQ(3u, p.ResolutionCount);
    EXPECT_EQ(std::vector<float>({100, 200, 300, 0}), p.ResolutionArray);
  }
  for (std::uint32_t defaultIndex : {3u, 4u, 0xFFFFFFFFu}) {
    const auto bytes =
        ListContainer(TWON_ENUMERATION, TWTY_FIX32, 3, defaultIndex, {r100, r200, r300}, 4);
    ScannerProfile p;
    ASSERT_TRUE(ReadResolutionContainer(TWON_ENUMERATION, bytes.data(), bytes.size(), p));
    EXPECT_EQ(100.0f, p.ResolutionDefault) << defaultIndex;
  }
  {
    const auto bytes = OneValueContainer(TWTY_FIX32, Fix32Bits(150.5));
    ScannerProfile p;
    ASSERT_TRUE(ReadResolutionContainer(TWON_ONEVALUE, bytes.data(), bytes.size(), p));
    EXPECT_TRUE(p.bResolutionArray);
    EXPECT_EQ(150.5f, p.ResolutionDefault);
    EXPECT_EQ(1u, p.ResolutionCount);
    EXPECT_EQ(std::vector<float>({150.5f, 0}), p.ResolutionArray);
  }
  {
    std::vector<std::uint8_t> bytes;
    Put16(bytes, TWTY_FIX32);
    for (double v : {50.0, 1200.0, 0.5, 300.0, 600.0})
      Put32(bytes, Fix32Bits(v));
    ScannerProfile p;
    ASSERT_TRUE(ReadResolutionContainer(TWON_RANGE, bytes.data(), bytes.size(), p));
    EXPECT_TRUE(p.bResolutionRange);
    EXPECT_FALSE(p.bResolutionArray);
    EXPECT_EQ(50.0f, p.ResolutionMin);
    EXPECT_EQ(1200.0f, p.ResolutionMax);
    EXPECT_EQ(0.5f, p.ResolutionStep);
    EXPECT_EQ(300.0f, p.ResolutionDefault);
    EXPECT_EQ(0u, p.ResolutionCount);
  }
}

TEST(ResolutionContainer, RefusesWhatItCannotTrust) {
  const std::uint32_t r100 = Fix32Bits(100.0), r200 = Fix32Bits(200.0);
  // An item type other than TW_FIX32, an empty list, an array.
  const auto uint32List = ListContainer(TWON_ENUMERATION, TWTY_UINT32, 2, 0, {100, 200}, 4);
  const auto empty = ListContainer(TWON_ENUMERATION, TWTY_FIX32, 0, 0, {}, 4);
  const auto array = ListContainer(TWON_ARRAY, TWTY_FIX32, 2, 0, {r100, r200}, 4);
  for (const auto *bytes : {&uint32List, &empty}) {
    ScannerProfile p;
    EXPECT_FALSE(ReadResolutionContainer(TWON_ENUMERATION, bytes->data(), bytes->size(), p));
    EXPECT_FALSE(p.bResolutionArray);
    EXPECT_EQ(0u, p.ResolutionCount);
  }
  ScannerProfile p;
  EXPECT_FALSE(ReadResolutionContainer(TWON_ARRAY, array.data(), array.size(), p));

  // NumItems far beyond the block: the list holds what the block holds.
  auto hostile = ListContainer(TWON_ENUMERATION, TWTY_FIX32, 0x40000000u, 1, {r100, r200}, 4);
  hostile.push_back(0x77);
  ScannerProfile h;
  ASSERT_TRUE(ReadResolutionContainer(TWON_ENUMERATION, hostile.data(), hostile.size(), h));
  EXPECT_EQ(2u, h.ResolutionCount);
  EXPECT_EQ(std::vector<float>({100, 200, 0}), h.ResolutionArray);
  EXPECT_EQ(200.0f, h.ResolutionDefault);
  // A default index inside NumItems but past the block falls back to item 0.
  auto beyond = ListContainer(TWON_ENUMERATION, TWTY_FIX32, 50, 10, {r100, r200}, 4);
  ScannerProfile f;
  ASSERT_TRUE(ReadResolutionContainer(TWON_ENUMERATION, beyond.data(), beyond.size(), f));
  EXPECT_EQ(100.0f, f.ResolutionDefault);
}

// ---------------------------------------------------------------------------
// Profiles through the simulated manager.

TEST(ScannerProfileLookup, FillsEveryFieldFromTheSource) {
  SimSession sim(OneSource(Flatbed("ZV Profile Full")));
  const std::uint32_t id = sim.session->scannerId;
  ScannerProfile p;
  ASSERT_TRUE(sim.session->GetScannerProfile(0, p));
  EXPECT_EQ(id, p.ScannerId);
  EXPECT_STREQ(L"ZV Profile Full", p.ProductName);
  EXPECT_STREQ(L"Zelvantor", p.Manufacturer);
  EXPECT_TRUE(p.ControllableUI);
  EXPECT_EQ(std::vector<bool>({1, 1, 1, 0, 0, 0, 0, 0, 0}), Flags(p.PixelTypes, 9));
  EXPECT_EQ(std::vector<bool>({1, 1, 0, 0, 0, 1}), Flags(p.Units, 6));
  EXPECT_EQ(600.0f, p.XNativeResolution);
  EXPECT_EQ(600.0f, p.YNativeResolution);
  EXPECT_FLOAT_EQ(8.5f, p.PhysicalWidth);
  EXPECT_NEAR(11.69f, p.PhysicalHeight, 1e-4);
  EXPECT_TRUE(p.bResolutionArray);
  EXPECT_FALSE(p.bResolutionRange);
  EXPECT_EQ(300.0f, p.ResolutionDefault);
  EXPECT_EQ(std::vector<float>({75, 150, 300, 600, 0}), p.ResolutionArray);
  EXPECT_EQ(id, sim.session->scannerId);
  EXPECT_EQ(StateManagerLoaded, sim.session->state);
  EXPECT_EQ(0, sim.engine.SequenceErrors());
  EXPECT_TRUE(sim.NothingLeaked());
}

TEST(ScannerProfileLookup, SecondLookupComesFromTheCache) {
  SimSession sim(OneSource(Flatbed("ZV Profile Cached")));
  ScannerProfile first;
  ASSERT_TRUE(sim.session->GetScannerProfile(0, first));
  EXPECT_EQ(1, Opens(sim));

  // The source would now answer differently; the cache must not ask it.
  Cap(sim.engine.Config(), ICAP_PIXELTYPE)->values = {TWPT_RGB};
  sim.engine.ClearCalls();
  ScannerProfile second;
  ASSERT_TRUE(sim.session->GetScannerProfile(0, second));
  EXPECT_EQ(std::vector<std::string>({"OPENDSM", "GETFIRST", "CLOSEDSM"}), sim.Calls());
  EXPECT_EQ(Flags(first.PixelTypes, 9), Flags(second.PixelTypes, 9));
  EXPECT_EQ(first.ResolutionArray, second.ResolutionArray);
  EXPECT_STREQ(first.ProductName, second.ProductName);

  // Asked by its id, it is found in the list and still not opened.
  sim.engine.ClearCalls();
  ScannerProfile third;
  ASSERT_TRUE(sim.session->GetScannerProfile(first.ScannerId, third));
  EXPECT_EQ(0, Opens(sim));
  EXPECT_TRUE(sim.Called("GETFIRST"));
  EXPECT_EQ(first.ResolutionArray, third.ResolutionArray);
  EXPECT_TRUE(sim.NothingLeaked());
}

// A session its caller left with its source enabled and a transfer
// announced: nothing can be asked of the source there, and nothing empty is
// kept for the rest of the process; the lookup itself starts from rest.
TEST(ScannerProfileLookup, NoEmptyProfileIsKeptFromAStateAboveTheOpenSource) {
  SimSession sim(OneSource(Flatbed("ZV Profile Left Pending")));
  ASSERT_TRUE(sim.session->EnableSource(false));
  MSG message;
  ASSERT_TRUE(PeekMessageW(&message, nullptr, SimEngine::NotifyMessage(),
                           SimEngine::NotifyMessage(), PM_REMOVE));
  TW_EVENT event = {&message, MSG_NULL};
  ASSERT_TRUE(sim.session->CallSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event));
  ASSERT_EQ(StateTransferReady, sim.session->state);

  ScannerProfile asked;
  ProfileFromIdentity(sim.session->sourceIdentity, asked);
  sim.session->LookupScannerProfile(asked);
  EXPECT_EQ(StateTransferReady, sim.session->state) << "the lookup's caller keeps its state";
  ScannerProfile cached;
  EXPECT_FALSE(FindCachedProfile(asked.ScannerId, cached));

  ScannerProfile p;
  ASSERT_TRUE(sim.session->GetScannerProfile(0, p));
  EXPECT_EQ(StateManagerLoaded, sim.session->state);
  EXPECT_TRUE(p.bResolutionArray);
  EXPECT_EQ(std::vector<float>({75, 150, 300, 600, 0}), p.ResolutionArray);
  ASSERT_TRUE(FindCachedProfile(p.ScannerId, cached));
  EXPECT_EQ(p.ResolutionArray, cached.ResolutionArray);
  EXPECT_TRUE(sim.NothingLeaked());
}

TEST(ScannerProfileLookup, TwoScannersAreNeverOpened) {
  for (const TW_IDENTITY &identity : {UnqueriedIdentityA(), UnqueriedIdentityB()}) {
    SimSession sim(OneSource(SourceWithIdentity(identity)));
    const std::uint32_t id = sim.session->scannerId;
    ASSERT_TRUE(id == 0x5E04618Cu || id == 0xFEE356DFu) << std::hex << id;
    for (int round = 0; round < 2; ++round) {
      ScannerProfile p;
      ASSERT_TRUE(sim.session->GetScannerProfile(0, p));
      EXPECT_EQ(id, p.ScannerId);
      EXPECT_STREQ(L"Zelvantor", p.Manufacturer);
      EXPECT_FALSE(p.ControllableUI);
      EXPECT_EQ(std::vector<bool>(9, false), Flags(p.PixelTypes, 9));
      EXPECT_FALSE(p.bResolutionArray);
      EXPECT_EQ(0u, p.ResolutionCount);
      EXPECT_EQ(0.0f, p.XNativeResolution);
      EXPECT_EQ(0, Opens(sim)) << round;
      EXPECT_EQ(id, sim.session->scannerId);
    }
  }
}

TEST(ScannerProfileLookup, ResolutionAsRangeEnumerationOrOneValue) {
  const struct {
    SimValueKind kind;
    bool array, range;
    std::uint32_t count;
    float def, min, max, step;
  } cases[] = {
      {SimValueKind::Range, false, true, 0, 300, 50, 1200, 1},
      {SimValueKind::List, true, false, 4, 300, 0, 0, 0},
      {SimValueKind::Single, true, false, 1, 75, 0, 0, 0},
      {SimValueKind::None, false, false, 0, 0, 0, 0, 0},
  };
  int n = 0;
  for (const auto &c : cases) {
    SimScannerModel model;
    model.resolutionKind = c.kind;
    SimSource source = Flatbed("ZV Resolution Kind " + std::to_string(n++));
    source.capabilities = MakeCapabilities(model);
    SimSession sim(OneSource(source));
    ScannerProfile p;
    ASSERT_TRUE(sim.session->GetScannerProfile(0, p));
    EXPECT_EQ(c.array, p.bResolutionArray) << n;
    EXPECT_EQ(c.range, p.bResolutionRange) << n;
    EXPECT_EQ(c.count, p.ResolutionCount) << n;
    EXPECT_EQ(c.def, p.ResolutionDefault) << n;
    EXPECT_EQ(c.min, p.ResolutionMin) << n;
    EXPECT_EQ(c.max, p.ResolutionMax) << n;
    EXPECT_EQ(c.step, p.ResolutionStep) << n;
    EXPECT_TRUE(sim.NothingLeaked());
  }
}

TEST(ScannerProfileLookup, DefaultIndexOutOfRangeGivesTheFirstItem) {
  SimSource source = Flatbed("ZV Default Index");
  source.capabilities.erase(
      std::remove_if(source.capabilities.begin(), source.capabilities.end(),
                     [](const SimCapability &c) { return c.cap == ICAP_XRESOLUTION; }),
      source.capabilities.end());
  source.capabilities.push_back(Enumeration(
      ICAP_XRESOLUTION, TWTY_FIX32, {Fix32Bits(200), Fix32Bits(400)}, 1, 2));
  SimSession sim(OneSource(source));
  ScannerProfile p;
  ASSERT_TRUE(sim.session->GetScannerProfile(0, p));
  EXPECT_EQ(200.0f, p.ResolutionDefault);
  EXPECT_EQ(2u, p.ResolutionCount);
}

TEST(ScannerProfileLookup, PixelTypesAsOneValue) {
  for (TW_UINT32 value : {2u, 9u}) {
    SimSource source = Flatbed("ZV One Pixel Type " + std::to_string(value));
    for (SimCapability &c : source.capabilities)
      if (c.cap == ICAP_PIXELTYPE)
        c = OneValue(ICAP_PIXELTYPE, TWTY_UINT16, value);
    SimSession sim(OneSource(source));
    ScannerProfile p;
    ASSERT_TRUE(sim.session->GetScannerProfile(0, p));
    std::vector<bool> want(9, false);
    if (value < 9)
      want[value] = true;
    EXPECT_EQ(want, Flags(p.PixelTypes, 9)) << value;
  }
}

TEST(ScannerProfileLookup, HostileContainersAreReadWithinTheirBlocks) {
  SimSource source = Flatbed("ZV Hostile Containers");
  for (SimCapability &c : source.capabilities) {
    if (c.cap == ICAP_PIXELTYPE) {
      c.rawContainer = ListContainer(TWON_ENUMERATION, TWTY_UINT16, 0x7FFFFFFF, 0, {1, 2}, 2);
      c.rawConType = TWON_ENUMERATION;
    }
    if (c.cap == ICAP_XRESOLUTION) {
      c.rawContainer = ListContainer(TWON_ENUMERATION, TWTY_FIX32, 0xFFFFFFF0u, 0xFFFFFFF0u,
                                     {Fix32Bits(150), Fix32Bits(300)}, 4);
      c.rawConType = TWON_ENUMERATION;
    }
    if (c.cap == ICAP_UNITS) {
      c.rawContainer = {0x04, 0x00, 0xFF}; // shorter than its own header
      c.rawConType = TWON_ARRAY;
    }
  }
  SimSession sim(OneSource(source));
  ScannerProfile p;
  ASSERT_TRUE(sim.session->GetScannerProfile(0, p));
  EXPECT_EQ(std::vector<bool>({0, 1, 1, 0, 0, 0, 0, 0, 0}), Flags(p.PixelTypes, 9));
  EXPECT_EQ(std::vector<bool>(6, false), Flags(p.Units, 6));
  EXPECT_EQ(2u, p.ResolutionCount);
  EXPECT_EQ(150.0f, p.ResolutionDefault);
  EXPECT_TRUE(sim.NothingLeaked());
}

TEST(ScannerProfileLookup, FailedQueriesLeaveTheirFieldsEmptyAndFreeTheirContainers) {
  SimSource source = Flatbed("ZV Failing Queries");
  for (SimCapability &c : source.capabilities) {
    if (c.cap == ICAP_PIXELTYPE) {
      c.getRc = TWRC_FAILURE;
      c.failureWithContainer = true;
    }
    if (c.cap == ICAP_XNATIVERESOLUTION)
      c.getRc = TWRC_FAILURE;
  }
  SimSession sim(OneSource(source));
  ScannerProfile p;
  ASSERT_TRUE(sim.session->GetScannerProfile(0, p));
  EXPECT_EQ(std::vector<bool>(9, false), Flags(p.PixelTypes, 9));
  EXPECT_EQ(0.0f, p.XNativeResolution);
  EXPECT_EQ(600.0f, p.YNativeResolution);
  EXPECT_TRUE(p.bResolutionArray);
  EXPECT_TRUE(sim.NothingLeaked());
}

TEST(ScannerProfileLookup, SourceThatWillNotOpenIsNotCached) {
  SimSource source = Flatbed("ZV Will Not Open");
  source.behaviour.openRc = TWRC_FAILURE;
  SimSession sim(OneSource(source));
  const std::uint32_t id = sim.session->scannerId;
  for (int round = 0; round < 2; ++round) {
    sim.engine.ClearCalls();
    ScannerProfile p;
    EXPECT_TRUE(sim.session->GetScannerProfile(0, p));
    EXPECT_EQ(id, p.ScannerId);
    EXPECT_FALSE(p.bResolutionArray);
    EXPECT_TRUE(sim.Called("OPENDS")) << round; // tried again each time
    EXPECT_EQ(StateManagerLoaded, sim.session->state);
    EXPECT_EQ(id, sim.session->scannerId);
  }
}

TEST(ScannerProfileLookup, ChoosesTheRequestedOrTheDefaultScanner) {
  SimConfig config;
  config.sources.push_back(Flatbed("ZV Choice First"));
  config.sources.push_back(Flatbed("ZV Choice Second"));
  config.defaultSource = 1;
  SimSession sim(config);
  const std::uint32_t selected = sim.session->scannerId;
  const std::uint32_t first = ScannerIdOf(config.sources[0].identity);
  ASSERT_EQ(ScannerIdOf(config.sources[1].identity), selected);

  // Another scanner by id; the session's selection is untouched.
  ScannerProfile p;
  ASSERT_TRUE(sim.session->GetScannerProfile(first, p));
  EXPECT_STREQ(L"ZV Choice First", p.ProductName);
  EXPECT_EQ(selected, sim.session->scannerId);
  EXPECT_EQ(-1, sim.engine.OpenSourceIndex());

  // No id and no selection: the manager's default.
  sim.session->scannerId = 0;
  ScannerProfile d;
  ASSERT_TRUE(sim.session->GetScannerProfile(0, d));
  EXPECT_STREQ(L"ZV Choice Second", d.ProductName);
  EXPECT_EQ(0u, sim.session->scannerId);

  // An id no source has: false, the profile holds the last listed identity.
  ScannerProfile missing;
  EXPECT_FALSE(sim.session->GetScannerProfile(0x12345678u, missing));
  EXPECT_STREQ(L"ZV Choice Second", missing.ProductName);
  EXPECT_EQ(StateManagerLoaded, sim.session->state);
  EXPECT_TRUE(sim.NothingLeaked());
}

TEST(ScannerProfileLookup, UnavailableSessionLeavesTheProfileAlone) {
  SimConfig config = OneSource(Flatbed("ZV Unavailable Profile"));
  config.defaultSource = -1;
  SimSession sim(config);
  ASSERT_FALSE(sim.session->IsAvailable());
  ScannerProfile p;
  p.ScannerId = 77;
  EXPECT_FALSE(sim.session->GetScannerProfile(0, p));
  EXPECT_EQ(77u, p.ScannerId);
  EXPECT_TRUE(sim.engine.Calls().empty());
}

TEST(ScannerProfileLookup, OfTwoIdenticalIdentitiesTheFirstListedIsProfiled) {
  SimScannerModel rangeModel;
  rangeModel.resolutionKind = SimValueKind::Range;
  SimConfig config;
  config.sources.push_back(Flatbed("ZV Twin"));
  config.sources.push_back(Flatbed("ZV Twin"));
  config.sources[1].capabilities = MakeCapabilities(rangeModel);
  config.defaultSource = 1;
  SimSession sim(config);
  ASSERT_EQ(ScannerIdOf(config.sources[0].identity), sim.session->scannerId);
  ScannerProfile p;
  ASSERT_TRUE(sim.session->GetScannerProfile(0, p));
  EXPECT_TRUE(p.bResolutionArray);
  EXPECT_FALSE(p.bResolutionRange);
  EXPECT_TRUE(sim.NothingLeaked());
}

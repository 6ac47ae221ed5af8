// The capability-container readers over the bytes a source hands over. The
// input is five control bytes (container kind, requested item type, a
// brightness, the number of flags) and then the container block itself.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz_check.h"
#include "imaging/little_endian.h"
#include "twain/capability.h"
#include "twain/container_bytes.h"
#include "twain/profile_cache.h"

using namespace container;

namespace {

constexpr TW_UINT16 kKinds[] = {TWON_ARRAY, TWON_ENUMERATION, TWON_ONEVALUE, TWON_RANGE, 7};

void CheckCurrentValue(TW_UINT16 kind, const std::uint8_t *c, std::size_t size,
                       TW_UINT16 requested) {
  const std::size_t n = TwainItemSize(requested);
  // Exactly the item's size, so that a longer copy is an overflow.
  std::unique_ptr<std::uint8_t[]> out(new std::uint8_t[n ? n : 1]);
  std::memset(out.get(), 0xA5, n ? n : 1);
  const bool ok = ReadCurrentValue(kind, c, size, requested, out.get());
  if (!ok)
    return;
  FUZZ_CHECK(n != 0 && size >= 2);
  FUZZ_CHECK(ItemTypesCompatible(requested, ReadU16(c + kItemType)));
  std::size_t at = 0;
  if (kind == TWON_ENUMERATION) {
    const std::uint32_t index = ReadU32(c + kEnumCurrentIndex);
    FUZZ_CHECK(index < ReadU32(c + kEnumNumItems));
    at = kEnumList + std::size_t(index) * n;
  } else if (kind == TWON_ONEVALUE) {
    at = kOneValueItem;
  } else {
    FUZZ_CHECK(kind == TWON_RANGE && n <= 4 && size >= kRangeSize);
    at = kRangeCurrent;
  }
  FUZZ_CHECK(at + n <= size);
  FUZZ_CHECK(std::memcmp(out.get(), c + at, n) == 0);
}

void CheckFlags(TW_UINT16 kind, const std::uint8_t *c, std::size_t size, std::size_t count) {
  std::unique_ptr<bool[]> flags(new bool[count ? count : 1]());
  const std::size_t read = ReadFlagContainer(kind, c, size, flags.get(), count);
  std::size_t listOffset = 0;
  if (kind == TWON_ARRAY)
    listOffset = kArrayList;
  else if (kind == TWON_ENUMERATION)
    listOffset = kEnumList;
  else if (kind == TWON_ONEVALUE) {
    FUZZ_CHECK(read == (size >= kOneValueSize ? 1u : 0u));
    for (std::size_t v = 0; v < count; ++v)
      FUZZ_CHECK(flags[v] == (read == 1 && ReadU32(c + kOneValueItem) == v));
    return;
  } else {
    FUZZ_CHECK(read == 0);
    return;
  }
  if (read == 0)
    return;
  // Only items inside the block count, whatever NumItems claims.
  FUZZ_CHECK(size >= listOffset && read <= (size - listOffset) / 2);
  FUZZ_CHECK(read <= ReadU32(c + kArrayNumItems));
  std::unique_ptr<bool[]> expected(new bool[count ? count : 1]());
  for (std::size_t i = 0; i < read; ++i) {
    const std::uint16_t v = ReadU16(c + listOffset + 2 * i);
    if (v < count)
      expected[v] = true;
  }
  for (std::size_t v = 0; v < count; ++v)
    FUZZ_CHECK(flags[v] == expected[v]);
}

void CheckResolution(TW_UINT16 kind, const std::uint8_t *c, std::size_t size) {
  ScannerProfile profile;
  if (!ReadResolutionContainer(kind, c, size, profile)) {
    FUZZ_CHECK(!profile.bResolutionArray && !profile.bResolutionRange);
    return;
  }
  if (profile.bResolutionRange)
    return;
  FUZZ_CHECK(profile.bResolutionArray);
  FUZZ_CHECK(profile.ResolutionCount >= 1);
  FUZZ_CHECK(profile.ResolutionArray.size() == profile.ResolutionCount + 1);
  FUZZ_CHECK(profile.ResolutionArray.back() == 0.0f);
  if (kind == TWON_ENUMERATION)
    FUZZ_CHECK(kEnumList + 4 * std::size_t(profile.ResolutionCount) <= size);
  // The default is one of the listed values.
  const auto end = profile.ResolutionArray.end() - 1;
  FUZZ_CHECK(std::find(profile.ResolutionArray.begin(), end, profile.ResolutionDefault) != end ||
             std::isnan(profile.ResolutionDefault));
}

void CheckBrightness(TW_UINT16 kind, const std::uint8_t *c, std::size_t size,
                     std::int32_t brightness) {
  const std::int32_t mapped = MapBrightnessFromContainer(kind, c, size, brightness);
  const std::int32_t threshold = ThresholdFromBrightness(brightness);
  FUZZ_CHECK(threshold >= 0 && threshold <= 255);
  if (kind == TWON_RANGE && size >= kRangeSize && ReadU16(c) == TWTY_FIX32) {
    // Between the source's ends (either order), give or take the rounding.
    const double a = Fix32ToFloat(ReadFix32(c + kRangeMin));
    const double b = Fix32ToFloat(ReadFix32(c + kRangeMax));
    FUZZ_CHECK(mapped >= std::floor(std::min(a, b)) - 1 && mapped <= std::ceil(std::max(a, b)) + 1);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 5)
    return 0;
  const TW_UINT16 kind = kKinds[data[0] % 5];
  const TW_UINT16 requested = TW_UINT16(data[1] % 14); // 13: no such type
  const std::int32_t brightness = std::int16_t(ReadU16(data + 2));
  const std::size_t flagCount = data[4] % 16;
  const std::size_t length = size - 5;
  std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[length ? length : 1]);
  if (length)
    std::memcpy(block.get(), data + 5, length);
  CheckCurrentValue(kind, block.get(), length, requested);
  CheckFlags(kind, block.get(), length, flagCount);
  CheckResolution(kind, block.get(), length);
  CheckBrightness(kind, block.get(), length, brightness);
  return 0;
}

// Capability containers as a source returns them: read from their bytes,
// never past the block the source handed over.
#include "twain/profile_cache.h"

#include "twain/capability.h"
#include "twain/container_bytes.h"

using namespace container;

namespace {

float LoadFix32(const std::uint8_t *at) { return float(Fix32ToFloat(ReadFix32(at))); }

// Items of `itemSize` bytes the list at `listOffset` really holds: NumItems,
// cut down to what lies inside the block.
std::size_t ItemsInBlock(const std::uint8_t *c, std::size_t size, std::size_t listOffset,
                         std::size_t itemSize) {
  if (size < listOffset)
    return 0;
  const std::size_t claimed = ReadU32(c + kEnumNumItems);
  const std::size_t room = (size - listOffset) / itemSize;
  return claimed < room ? claimed : room;
}

} // namespace

bool IsUnqueriedScanner(std::uint32_t scannerId) {
  for (std::uint32_t id : kUnqueriedScannerIds)
    if (id == scannerId)
      return true;
  return false;
}

std::size_t ReadFlagContainer(TW_UINT16 conType, const std::uint8_t *c, std::size_t size,
                              bool *flags, std::size_t count) {
  if (c == nullptr)
    return 0;
  if (conType == TWON_ARRAY || conType == TWON_ENUMERATION) {
    const std::size_t listOffset = conType == TWON_ARRAY ? kArrayList : kEnumList;
    if (size < listOffset)
      return 0;
    const TW_UINT16 itemType = ReadU16(c + kItemType);
    if (itemType != TWTY_INT16 && itemType != TWTY_UINT16)
      return 0;
    const std::size_t n = ItemsInBlock(c, size, listOffset, 2);
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint16_t v = ReadU16(c + listOffset + 2 * i);
      if (v < count)
        flags[v] = true;
    }
    return n;
  }
  if (conType == TWON_ONEVALUE && size >= kOneValueSize) {
    const std::uint32_t v = ReadU32(c + kOneValueItem);
    if (v < count)
      flags[v] = true;
    return 1;
  }
  return 0;
}

bool ReadResolutionContainer(TW_UINT16 conType, const std::uint8_t *c, std::size_t size,
                             ScannerProfile &profile) {
  if (c == nullptr || size < 2 || ReadU16(c + kItemType) != TWTY_FIX32)
    return false;
  if (conType == TWON_ENUMERATION) {
    const std::size_t n = ItemsInBlock(c, size, kEnumList, 4);
    if (n == 0)
      return false;
    std::vector<float> list(n);
    for (std::size_t i = 0; i < n; ++i)
      list[i] = LoadFix32(c + kEnumList + 4 * i);
    const std::uint32_t defaultIndex = ReadU32(c + kEnumDefaultIndex);
    profile.bResolutionArray = true;
    profile.ResolutionDefault = defaultIndex < n ? list[defaultIndex] : list[0];
    profile.SetResolutionList(list);
    return true;
  }
  if (conType == TWON_ONEVALUE && size >= kOneValueSize) {
    const float value = LoadFix32(c + kOneValueItem);
    profile.bResolutionArray = true;
    profile.ResolutionDefault = value;
    profile.SetResolutionList({value});
    return true;
  }
  if (conType == TWON_RANGE && size >= kRangeSize) {
    profile.bResolutionRange = true;
    profile.ResolutionMin = LoadFix32(c + kRangeMin);
    profile.ResolutionMax = LoadFix32(c + kRangeMax);
    profile.ResolutionStep = LoadFix32(c + kRangeStep);
    profile.ResolutionDefault = LoadFix32(c + kRangeDefault);
    return true;
  }
  return false;
}

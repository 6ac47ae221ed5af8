// Where the fields of the capability containers lie in the block a source
// hands over, and the TW_FIX32 read: the one layout the container readers
// share. Offsets come from the packed structures themselves.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/little_endian.h"
#include "twain/twain.h"

namespace container {

inline TW_FIX32 ReadFix32(const std::uint8_t *at) {
  TW_FIX32 f;
  f.Whole = TW_INT16(ReadU16(at));
  f.Frac = ReadU16(at + 2);
  return f;
}

// Every container starts with its item type.
constexpr std::size_t kItemType = 0;

constexpr std::size_t kOneValueItem = offsetof(TW_ONEVALUE, Item);
constexpr std::size_t kOneValueSize = sizeof(TW_ONEVALUE);

constexpr std::size_t kArrayNumItems = offsetof(TW_ARRAY, NumItems);
constexpr std::size_t kArrayList = offsetof(TW_ARRAY, ItemList);

constexpr std::size_t kEnumNumItems = offsetof(TW_ENUMERATION, NumItems);
constexpr std::size_t kEnumCurrentIndex = offsetof(TW_ENUMERATION, CurrentIndex);
constexpr std::size_t kEnumDefaultIndex = offsetof(TW_ENUMERATION, DefaultIndex);
constexpr std::size_t kEnumList = offsetof(TW_ENUMERATION, ItemList);

constexpr std::size_t kRangeMin = offsetof(TW_RANGE, MinValue);
constexpr std::size_t kRangeMax = offsetof(TW_RANGE, MaxValue);
constexpr std::size_t kRangeStep = offsetof(TW_RANGE, StepSize);
constexpr std::size_t kRangeDefault = offsetof(TW_RANGE, DefaultValue);
constexpr std::size_t kRangeCurrent = offsetof(TW_RANGE, CurrentValue);
constexpr std::size_t kRangeSize = sizeof(TW_RANGE);

static_assert(kArrayNumItems == kEnumNumItems, "NumItems lies alike in arrays and enumerations");

} // namespace container

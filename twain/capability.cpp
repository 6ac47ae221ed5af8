#include "twain/capability.h"

#include <cmath>
#include <cstring>

#include "twain/container_bytes.h"

using namespace container;

TW_FIX32 FloatToFix32(float value) {
  double scaled = double(value) * 65536.0 + 0.5;
  // Out-of-range values (and NaN) would make the conversion undefined.
  if (!(scaled > -2147483648.0))
    scaled = -2147483648.0;
  if (scaled > 2147483647.0)
    scaled = 2147483647.0;
  // floor rather than truncation toward zero: the same for every
  // non-negative value, and -1.0 stays -1.0 instead of -1 + 1/65536.
  const std::int32_t v = std::int32_t(std::floor(scaled));
  TW_FIX32 f;
  f.Whole = TW_INT16(v >> 16);
  f.Frac = TW_UINT16(v & 0xffff);
  return f;
}

double Fix32ToFloat(TW_FIX32 value) { return double(value.Whole) + double(value.Frac) / 65536.0; }

TW_FIX32 IntToFix32(std::int32_t value) {
  TW_FIX32 f;
  f.Whole = TW_INT16(std::uint16_t(std::uint32_t(value) & 0xffff));
  f.Frac = 0;
  return f;
}

TW_UINT32 Fix32Bits(TW_FIX32 value) {
  return TW_UINT32(std::uint16_t(value.Whole)) | (TW_UINT32(value.Frac) << 16);
}

TW_FIX32 Fix32FromBits(TW_UINT32 bits) {
  TW_FIX32 f;
  f.Whole = TW_INT16(std::uint16_t(bits & 0xffff));
  f.Frac = TW_UINT16(bits >> 16);
  return f;
}

std::size_t TwainItemSize(TW_UINT16 itemType) {
  static const std::size_t sizes[] = {1, 2, 4, 1, 2, 4, 2, 4, 16, 34, 66, 130, 256};
  return itemType < sizeof sizes / sizeof sizes[0] ? sizes[itemType] : 0;
}

bool ItemTypesCompatible(TW_UINT16 requested, TW_UINT16 actual) {
  if (requested == actual)
    return true;
  return requested <= TWTY_UINT32 && actual <= TWTY_UINT32 &&
         TwainItemSize(requested) == TwainItemSize(actual);
}

bool ReadCurrentValue(TW_UINT16 conType, const std::uint8_t *c, std::size_t size,
                      TW_UINT16 requestedType, void *out) {
  const std::size_t n = TwainItemSize(requestedType);
  if (c == nullptr || n == 0 || size < 2)
    return false;
  const TW_UINT16 itemType = ReadU16(c);
  if (!ItemTypesCompatible(requestedType, itemType))
    return false;
  switch (conType) {
  case TWON_ENUMERATION: {
    if (size < kEnumList)
      return false;
    const std::uint64_t count = ReadU32(c + kEnumNumItems);
    const std::uint64_t index = ReadU32(c + kEnumCurrentIndex);
    if (index >= count)
      return false;
    // The item must lie inside the block the source handed over, whatever
    // NumItems claims.
    const std::uint64_t at = kEnumList + index * n;
    if (at + n > size)
      return false;
    std::memcpy(out, c + at, n);
    return true;
  }
  case TWON_ONEVALUE:
    // Items wider than the 4-byte Item field (frames, strings) follow on
    // in the block; copy only what the block holds.
    if (kOneValueItem + n > size || (n <= 4 && size < kOneValueSize))
      return false;
    std::memcpy(out, c + kOneValueItem, n);
    return true;
  case TWON_RANGE:
    if (size < kRangeSize || n > 4)
      return false;
    std::memcpy(out, c + kRangeCurrent, n);
    return true;
  default:
    return false;
  }
}

std::int32_t ClampBrightness(std::int32_t brightness) {
  return brightness < -1000 ? -1000 : brightness > 1000 ? 1000 : brightness;
}

std::int32_t MapBrightnessFromContainer(TW_UINT16 conType, const std::uint8_t *c,
                                        std::size_t size, std::int32_t brightness) {
  if (c == nullptr || size < 2 || ReadU16(c) != TWTY_FIX32)
    return brightness;
  if (conType == TWON_ONEVALUE && size >= kOneValueSize) {
    const double v = Fix32ToFloat(ReadFix32(c + kOneValueItem));
    return std::int32_t(v + 0.5);
  }
  if (conType == TWON_RANGE && size >= kRangeSize) {
    const float min = float(Fix32ToFloat(ReadFix32(c + kRangeMin)));
    const double max = Fix32ToFloat(ReadFix32(c + kRangeMax));
    const float factor = 0.0005f;
    const std::int32_t from = ClampBrightness(brightness) + 1000;
    const double x = double(min) + (max - double(min)) * double(from) * double(factor);
    return x >= 0 ? std::int32_t(x + 0.5) : std::int32_t(x - 0.5);
  }
  return brightness;
}

std::int32_t ThresholdFromBrightness(std::int32_t brightness) {
  return (1000 - ClampBrightness(brightness)) * 255 / 2000;
}

TW_FIX32 HundredthsMmToFix32(std::int32_t value) {
  const std::int64_t f = (std::int64_t(value) * 65536 + 1270) / 2540;
  TW_FIX32 r;
  r.Whole = TW_INT16(std::uint16_t((std::uint64_t(f) >> 16) & 0xffff));
  r.Frac = TW_UINT16(std::uint64_t(f) & 0xffff);
  return r;
}

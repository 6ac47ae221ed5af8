#include "imaging/dib_layout.h"

#include <climits>
#include <cmath>

std::int64_t DibRowBytes(std::int64_t width, int bitCount) {
  if (width <= 0 || bitCount <= 0)
    return 0;
  return (std::int64_t(bitCount) * width + 31) / 32 * 4;
}

namespace {

bool KnownBitCount(std::uint16_t bits, bool core) {
  switch (bits) {
  case 1:
  case 4:
  case 8:
  case 24:
    return true;
  case 16:
  case 32:
    return !core;
  default:
    return false;
  }
}

} // namespace

bool ReadDibLayout(const void *block, std::size_t size, DibLayout *layout) {
  const auto *p = static_cast<const unsigned char *>(block);
  if (!p || !layout || size < kDibCoreHeaderSize)
    return false;
  const std::uint64_t available = size;
  DibLayout l;
  l.headerSize = ReadU32(p + dib_field::kSize);
  if (l.headerSize == kDibCoreHeaderSize) {
    l.core = true;
    l.width = ReadU16(p + dib_field::kCoreWidth);
    l.height = ReadU16(p + dib_field::kCoreHeight);
    l.bitCount = ReadU16(p + dib_field::kCoreBitCount);
    if (!KnownBitCount(l.bitCount, true))
      return false;
    l.paletteColors = l.bitCount <= 8 ? std::int64_t(1) << l.bitCount : 0;
    l.paletteOffset = kDibCoreHeaderSize;
    l.paletteBytes = l.paletteColors * 3;
  } else {
    if (l.headerSize < kDibInfoHeaderSize || l.headerSize > available)
      return false;
    l.width = ReadI32(p + dib_field::kWidth);
    const std::int32_t height = ReadI32(p + dib_field::kHeight);
    if (height == INT_MIN)
      return false;
    l.topDown = height < 0;
    l.height = height < 0 ? -std::int64_t(height) : height;
    l.bitCount = ReadU16(p + dib_field::kBitCount);
    l.compression = ReadU32(p + dib_field::kCompression);
    if (!KnownBitCount(l.bitCount, false))
      return false;
    std::int64_t masks = 0;
    if (l.compression == kDibCompressionBitfields) {
      if (l.bitCount != 16 && l.bitCount != 32)
        return false;
      // GDI takes the three masks from offset 40 whatever the header size:
      // inside a V4 or V5 header, behind a BITMAPINFOHEADER.
      if (available < 52)
        return false;
      if (l.headerSize < 52)
        masks = 52 - std::int64_t(l.headerSize);
    } else if (l.compression != kDibCompressionRgb) {
      return false;
    }
    const std::uint32_t used = ReadU32(p + dib_field::kClrUsed);
    if (used != 0)
      l.paletteColors = used;
    else
      l.paletteColors = l.bitCount <= 8 ? std::int64_t(1) << l.bitCount : 0;
    l.paletteOffset = std::int64_t(l.headerSize) + masks;
    l.paletteBytes = l.paletteColors * 4;
    if (l.headerSize >= kDibV5HeaderSize) {
      const std::uint32_t cs = ReadU32(p + dib_field::kCSType);
      if (cs == kProfileLinked || cs == kProfileEmbedded)
        l.profileSize = ReadU32(p + dib_field::kProfileSize);
    }
  }
  if (l.width <= 0 || l.height <= 0)
    return false;
  // Every quantity below stays under 2^40 before it is compared with the
  // span, and the rows are checked by division, so nothing can wrap.
  l.bitsOffset = l.paletteOffset + l.paletteBytes;
  l.stride = DibRowBytes(l.width, l.bitCount);
  if (std::uint64_t(l.bitsOffset) > available)
    return false;
  const std::uint64_t rowRoom = available - std::uint64_t(l.bitsOffset);
  if (std::uint64_t(l.height) > rowRoom / std::uint64_t(l.stride))
    return false;
  l.imageSize = l.stride * l.height;
  *layout = l;
  return true;
}

namespace {

// ReadDibLayout writes nothing for a bitmap that is not sound, so such a
// bitmap has the empty layout's zero measures.
DibLayout LayoutOrEmpty(const void *block, std::size_t size) {
  DibLayout l;
  ReadDibLayout(block, size, &l);
  return l;
}

} // namespace

std::int64_t DibWidth(const void *block, std::size_t size) {
  return LayoutOrEmpty(block, size).width;
}

std::int64_t DibHeight(const void *block, std::size_t size) {
  return LayoutOrEmpty(block, size).height;
}

std::int64_t DibStride(const void *block, std::size_t size) {
  return LayoutOrEmpty(block, size).stride;
}

std::int64_t DibImageSize(const void *block, std::size_t size) {
  return LayoutOrEmpty(block, size).imageSize;
}

std::int64_t DibPaletteColors(const void *block, std::size_t size) {
  return LayoutOrEmpty(block, size).paletteColors;
}

std::int64_t DibPaletteBytes(const void *block, std::size_t size) {
  return LayoutOrEmpty(block, size).paletteBytes;
}

std::int64_t DibBitsOffset(const void *block, std::size_t size) {
  return LayoutOrEmpty(block, size).bitsOffset;
}

std::uint32_t DibProfileSize(const void *block, std::size_t size) {
  return LayoutOrEmpty(block, size).profileSize;
}

const unsigned char *DibPalette(const void *block, std::size_t size) {
  const DibLayout l = LayoutOrEmpty(block, size);
  if (l.paletteBytes == 0)
    return nullptr;
  return static_cast<const unsigned char *>(block) + l.paletteOffset;
}

unsigned char *DibPalette(void *block, std::size_t size) {
  return const_cast<unsigned char *>(DibPalette(static_cast<const void *>(block), size));
}

const unsigned char *DibBits(const void *block, std::size_t size) {
  const DibLayout l = LayoutOrEmpty(block, size);
  if (l.imageSize == 0)
    return nullptr;
  return static_cast<const unsigned char *>(block) + l.bitsOffset;
}

unsigned char *DibBits(void *block, std::size_t size) {
  return const_cast<unsigned char *>(DibBits(static_cast<const void *>(block), size));
}

std::int64_t RoundHalfAwayFromZero(double value) {
  if (std::isnan(value))
    return 0;
  if (value >= 9223372036854775808.0)
    return INT64_MAX;
  if (value < -9223372036854775808.0)
    return INT64_MIN;
  // From 2^52 on every double is an integer. Below, the fraction is exact,
  // where adding 0.5 first would round 0.49999999999999994 up.
  if (std::fabs(value) >= 4503599627370496.0)
    return static_cast<std::int64_t>(value);
  std::int64_t whole = static_cast<std::int64_t>(value);
  const double fraction = value - static_cast<double>(whole);
  if (fraction >= 0.5)
    ++whole;
  else if (fraction <= -0.5)
    --whole;
  return whole;
}

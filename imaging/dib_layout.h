// Layout of a packed device-independent bitmap (header, optional colour
// masks, colour table, rows padded to 4 bytes) read from a span of bytes.
// Needs no <windows.h>: the bytes are those of a locked global block, and the
// size is what may be touched (GlobalSize).
//
// The bitmap comes from a scanner driver we do not control, so a header is
// believed only when everything it describes fits inside the span. A bitmap
// is "sound" when:
//   - its header is a BITMAPCOREHEADER (12 bytes) or an info header of at
//     least 40 bytes, and lies inside the span;
//   - its bit count is 1, 4, 8, 16, 24 or 32 (core headers: 1, 4, 8, 24);
//   - it is uncompressed (BI_RGB), or BI_BITFIELDS at 16 or 32 bits;
//   - its width is above 0 and its height is neither 0 nor INT_MIN;
//   - header, masks, colour table and all rows lie inside the span
//     (arithmetic in 64 bits, checked by division, so nothing wraps).
// Every getter below answers 0 or null for a bitmap that is not sound: such
// an image has no measures, exactly as if its block could not be locked.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/little_endian.h"

constexpr std::uint32_t kDibCoreHeaderSize = 12;
constexpr std::uint32_t kDibInfoHeaderSize = 40;
constexpr std::uint32_t kDibV5HeaderSize = 124;

constexpr std::uint32_t kDibCompressionRgb = 0;       // BI_RGB
constexpr std::uint32_t kDibCompressionBitfields = 3; // BI_BITFIELDS

constexpr std::uint32_t kColorSpaceSrgb = 0x73524742;      // LCS_sRGB
constexpr std::uint32_t kProfileLinked = 0x4C494E4B;       // PROFILE_LINKED
constexpr std::uint32_t kProfileEmbedded = 0x4D424544;     // PROFILE_EMBEDDED
constexpr std::uint32_t kIntentImages = 4;                 // LCS_GM_IMAGES

// Byte offsets of the header fields used here.
namespace dib_field {
constexpr std::size_t kSize = 0;
constexpr std::size_t kWidth = 4;
constexpr std::size_t kHeight = 8;
constexpr std::size_t kPlanes = 12;
constexpr std::size_t kBitCount = 14;
constexpr std::size_t kCompression = 16;
constexpr std::size_t kSizeImage = 20;
constexpr std::size_t kXPelsPerMeter = 24;
constexpr std::size_t kYPelsPerMeter = 28;
constexpr std::size_t kClrUsed = 32;
constexpr std::size_t kClrImportant = 36;
constexpr std::size_t kCSType = 56;
constexpr std::size_t kIntent = 108;
constexpr std::size_t kProfileData = 112;
constexpr std::size_t kProfileSize = 116;
// BITMAPCOREHEADER
constexpr std::size_t kCoreWidth = 4;
constexpr std::size_t kCoreHeight = 6;
constexpr std::size_t kCoreBitCount = 10;
} // namespace dib_field

// Where everything of a sound bitmap lies, as offsets from the header.
struct DibLayout {
  std::uint32_t headerSize = 0;   // biSize
  bool core = false;              // BITMAPCOREHEADER: 3-byte table entries
  bool topDown = false;           // negative biHeight: first row on top
  std::uint16_t bitCount = 0;
  std::uint32_t compression = 0;
  std::int64_t width = 0;         // pixels, above 0
  std::int64_t height = 0;        // rows, above 0
  std::int64_t paletteColors = 0; // table entries
  std::int64_t paletteOffset = 0; // header size plus separate colour masks
  std::int64_t paletteBytes = 0;
  std::int64_t bitsOffset = 0;
  std::int64_t stride = 0;        // bytes per row, a multiple of 4
  std::int64_t imageSize = 0;     // stride * height
  std::uint32_t profileSize = 0;  // of a linked or embedded V5 profile
};

// Fills *layout and returns true when the bitmap in the span is sound;
// otherwise false, and *layout is left as it was.
bool ReadDibLayout(const void *block, std::size_t size, DibLayout *layout);

// The measures of the bitmap in a locked block of `size` bytes; 0 or null
// when the bitmap is not sound (see above).
std::int64_t DibWidth(const void *block, std::size_t size);
std::int64_t DibHeight(const void *block, std::size_t size); // rows, positive
std::int64_t DibStride(const void *block, std::size_t size);
std::int64_t DibImageSize(const void *block, std::size_t size);
std::int64_t DibPaletteColors(const void *block, std::size_t size);
std::int64_t DibPaletteBytes(const void *block, std::size_t size);
std::int64_t DibBitsOffset(const void *block, std::size_t size);
std::uint32_t DibProfileSize(const void *block, std::size_t size);
// Null when the table is empty or the bitmap is not sound.
const unsigned char *DibPalette(const void *block, std::size_t size);
unsigned char *DibPalette(void *block, std::size_t size);
const unsigned char *DibBits(const void *block, std::size_t size);
unsigned char *DibBits(void *block, std::size_t size);

// Bytes per row of `width` pixels at `bitCount` bits, padded to 4 bytes;
// 0 for a width or bit count that is not above 0.
std::int64_t DibRowBytes(std::int64_t width, int bitCount);

// Rounds half away from zero (2.5 gives 3, -2.5 gives -3), exactly for every
// double; NaN gives 0 and values beyond the 64-bit range give its ends.
std::int64_t RoundHalfAwayFromZero(double value);

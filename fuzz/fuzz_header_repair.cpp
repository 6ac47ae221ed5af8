// The repair of a delivered bitmap's info header, in place, over any block:
// two resolutions (as floats) and then the block.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_reader.h"
#include "imaging/dib_layout.h"
#include "twain/acquire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzReader in(data, size);
  const float xDpi = in.Take<float>(), yDpi = in.Take<float>();
  const std::size_t length = in.RestSize();
  std::unique_ptr<unsigned char[]> block(new unsigned char[length ? length : 1]);
  if (length)
    std::memcpy(block.get(), in.Rest(), length);
  const std::vector<unsigned char> before(block.get(), block.get() + length);
  const bool repaired = RepairDibHeader(block.get(), length, xDpi, yDpi);
  const bool refusable = length < kDibInfoHeaderSize ||
                         ReadU32(before.data()) == kDibCoreHeaderSize;
  FUZZ_CHECK(repaired == !refusable);
  if (!repaired) {
    FUZZ_CHECK(length == 0 || std::memcmp(block.get(), before.data(), length) == 0);
    return 0;
  }
  // Only biSizeImage, the two resolutions and biClrUsed may change.
  for (std::size_t i = 0; i < length; ++i)
    if (i < dib_field::kSizeImage || i >= dib_field::kClrUsed + 4)
      FUZZ_CHECK(block[i] == before[i]);

  const std::int32_t xPels = ReadI32(&before[dib_field::kXPelsPerMeter]);
  const std::int32_t yPels = ReadI32(&before[dib_field::kYPelsPerMeter]);
  const bool newPels = (xPels <= 0 || yPels <= 0) && xDpi > 0 && yDpi > 0;
  if (newPels) {
    FUZZ_CHECK(ReadI32(&block[dib_field::kXPelsPerMeter]) == PelsPerMeterFromDpi(xDpi));
    FUZZ_CHECK(ReadI32(&block[dib_field::kYPelsPerMeter]) == PelsPerMeterFromDpi(yDpi));
  } else {
    FUZZ_CHECK(ReadI32(&block[dib_field::kXPelsPerMeter]) == xPels);
    FUZZ_CHECK(ReadI32(&block[dib_field::kYPelsPerMeter]) == yPels);
  }

  const std::uint16_t bits = ReadU16(&before[dib_field::kBitCount]);
  const std::uint32_t used = ReadU32(&before[dib_field::kClrUsed]);
  FUZZ_CHECK(ReadU32(&block[dib_field::kClrUsed]) ==
             (used == 0 && bits >= 1 && bits <= 8 ? 1u << bits : used));

  // biSizeImage of an uncompressed image: rows times stride when that fits
  // in 32 bits and the width is not negative, else as it was.
  const std::uint32_t oldSize = ReadU32(&before[dib_field::kSizeImage]);
  std::uint32_t expected = oldSize;
  if (ReadU32(&before[dib_field::kCompression]) == kDibCompressionRgb) {
    const __int128 width = ReadI32(&before[dib_field::kWidth]);
    __int128 height = ReadI32(&before[dib_field::kHeight]);
    if (height < 0)
      height = -height;
    const __int128 stride = (bits * width + 31) / 32 * 4;
    const __int128 image = height * stride;
    if (stride >= 0 && image <= 0xFFFFFFFF)
      expected = std::uint32_t(image);
  }
  FUZZ_CHECK(ReadU32(&block[dib_field::kSizeImage]) == expected);
  return 0;
}

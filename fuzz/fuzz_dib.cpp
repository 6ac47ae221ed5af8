// The bitmap core over bytes a scanner driver could hand over: the layout
// read, the grey check in place and the 8-bit to 1-bit conversion. Each
// input is one packed bitmap block, exactly as long as the input, so that
// AddressSanitizer sees any read past the block's end.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_check.h"
#include "imaging/dib_layout.h"
#include "imaging/grey_dib.h"

namespace {

void CheckLayout(const unsigned char *block, std::size_t size) {
  DibLayout l;
  const bool sound = ReadDibLayout(block, size, &l);
  if (!sound) {
    FUZZ_CHECK(DibWidth(block, size) == 0 && DibHeight(block, size) == 0);
    FUZZ_CHECK(DibImageSize(block, size) == 0 && DibStride(block, size) == 0);
    FUZZ_CHECK(DibBits(block, size) == nullptr && DibPalette(block, size) == nullptr);
    return;
  }
  FUZZ_CHECK(l.width > 0 && l.height > 0);
  FUZZ_CHECK(l.stride == DibRowBytes(l.width, l.bitCount) && l.stride % 4 == 0);
  FUZZ_CHECK(l.imageSize == l.stride * l.height);
  FUZZ_CHECK(l.paletteOffset >= std::int64_t(l.core ? kDibCoreHeaderSize : kDibInfoHeaderSize));
  FUZZ_CHECK(l.bitsOffset >= l.paletteOffset + l.paletteBytes);
  FUZZ_CHECK(std::uint64_t(l.bitsOffset) + std::uint64_t(l.imageSize) <= size);
  FUZZ_CHECK(DibWidth(block, size) == l.width && DibHeight(block, size) == l.height);
  FUZZ_CHECK(DibBits(block, size) == block + l.bitsOffset);
  FUZZ_CHECK(DibPalette(block, size) == (l.paletteBytes ? block + l.paletteOffset : nullptr));
}

// The grey a pixel value shows through the table of a sound 8-bit bitmap,
// or -1 when the value indexes no entry or the entry is not grey.
int GreyOf(const unsigned char *table, std::size_t entries, unsigned value) {
  if (value >= entries)
    return -1;
  const unsigned char *e = table + 4 * value;
  return e[0] == e[1] && e[1] == e[2] ? e[2] : -1;
}

std::size_t Reachable(const DibLayout &l) {
  const std::int64_t reach = std::int64_t(1) << l.bitCount;
  return std::size_t(l.paletteColors < reach ? l.paletteColors : reach);
}

void CheckGreyCheck(const unsigned char *input, std::size_t size) {
  std::vector<unsigned char> before(input, input + size);
  // A block of its own: the conversion writes in place.
  std::unique_ptr<unsigned char[]> block(new unsigned char[size]);
  std::memcpy(block.get(), input, size);
  const bool ok = NormalizeGreyPaletteBytes(block.get(), size);
  DibLayout l;
  const bool sound = ReadDibLayout(input, size, &l);
  if (!ok || !sound || l.bitCount != 8) {
    // Refused, or a 1-/4-bit table already the ramp: nothing written.
    FUZZ_CHECK(std::memcmp(block.get(), before.data(), size) == 0);
    return;
  }
  const std::size_t n = Reachable(l);
  const unsigned step = n < 2 ? 255u : unsigned(255 / (n - 1));
  const unsigned char *oldTable = before.data() + l.paletteOffset;
  bool wasRamp = true;
  for (std::size_t i = 0; i < n; ++i)
    wasRamp = wasRamp && GreyOf(oldTable, n, unsigned(i)) == int((step * i) & 0xFF) &&
              oldTable[4 * i + 3] == 0;
  if (wasRamp) {
    // Already the ramp: left exactly as it was, even pixels beyond it.
    FUZZ_CHECK(std::memcmp(block.get(), before.data(), size) == 0);
    return;
  }
  // The layout is the same after the rewrite, and the table the ramp.
  DibLayout after;
  FUZZ_CHECK(ReadDibLayout(block.get(), size, &after));
  FUZZ_CHECK(after.bitsOffset == l.bitsOffset && after.imageSize == l.imageSize);
  const unsigned char *newTable = block.get() + l.paletteOffset;
  for (std::size_t i = 0; i < n; ++i)
    FUZZ_CHECK(GreyOf(newTable, n, unsigned(i)) == int((step * i) & 0xFF) &&
               newTable[4 * i + 3] == 0);
  // Every pixel now shows the ramp level nearest to the grey it showed
  // (black when it showed nothing); the row padding is untouched.
  for (std::int64_t r = 0; r < l.height; ++r) {
    const std::size_t row = std::size_t(l.bitsOffset + r * l.stride);
    for (std::int64_t x = 0; x < l.stride; ++x) {
      const unsigned oldValue = before[row + x], newValue = block[row + x];
      if (x >= l.width) {
        FUZZ_CHECK(oldValue == newValue);
        continue;
      }
      const int oldGrey = GreyOf(oldTable, n, oldValue);
      const int newGrey = GreyOf(newTable, n, newValue);
      FUZZ_CHECK(newGrey >= 0);
      if (oldGrey < 0) {
        FUZZ_CHECK(newGrey == 0);
        continue;
      }
      int nearest = 256;
      for (std::size_t i = 0; i < n; ++i)
        nearest = std::min(nearest, std::abs(int(step * i) - oldGrey));
      FUZZ_CHECK(std::abs(newGrey - oldGrey) == nearest);
    }
  }
  // Nothing before the table or after the rows changed.
  FUZZ_CHECK(std::memcmp(block.get(), before.data(), std::size_t(l.paletteOffset)) == 0);
  const std::size_t end = std::size_t(l.bitsOffset + l.imageSize);
  FUZZ_CHECK(std::memcmp(block.get() + end, before.data() + end, size - end) == 0);
}

void CheckMono(const unsigned char *source, std::size_t size) {
  const std::size_t monoSize = MonoDibSize(source, size);
  if (monoSize == 0) {
    unsigned char probe[256] = {};
    FUZZ_CHECK(!WriteMonoDib(source, size, probe, sizeof probe));
    return;
  }
  DibLayout s;
  FUZZ_CHECK(ReadDibLayout(source, size, &s) && s.bitCount == 8 && !s.core);
  // Exactly the size asked for: a write past it is an overflow.
  std::unique_ptr<unsigned char[]> dest(new unsigned char[monoSize]);
  FUZZ_CHECK(!WriteMonoDib(source, size, dest.get(), monoSize - 1));
  FUZZ_CHECK(WriteMonoDib(source, size, dest.get(), monoSize));

  // The result is itself a sound bitmap, and the one it promises to be.
  DibLayout m;
  FUZZ_CHECK(ReadDibLayout(dest.get(), monoSize, &m));
  FUZZ_CHECK(m.headerSize == kDibV5HeaderSize && m.bitCount == 1 && !m.topDown);
  FUZZ_CHECK(m.width == s.width && m.height == s.height);
  FUZZ_CHECK(m.paletteColors == 2 && m.compression == kDibCompressionRgb);
  FUZZ_CHECK(ReadU32(dest.get() + dib_field::kSizeImage) == std::uint64_t(m.imageSize));
  const unsigned char blackWhite[8] = {0, 0, 0, 0, 255, 255, 255, 0};
  FUZZ_CHECK(std::memcmp(dest.get() + m.paletteOffset, blackWhite, 8) == 0);
  FUZZ_CHECK(MonoDibSize(dest.get(), monoSize) == 0); // not 8-bit: no second conversion
  if (m.profileSize != 0) {
    const std::uint32_t at = ReadU32(dest.get() + dib_field::kProfileData);
    FUZZ_CHECK(at >= m.bitsOffset + m.imageSize && std::uint64_t(at) + m.profileSize <= monoSize);
    const std::uint32_t from = ReadU32(source + dib_field::kProfileData);
    FUZZ_CHECK(std::memcmp(dest.get() + at, source + from, m.profileSize) == 0);
  }

  // Every pixel: white exactly when its entry's grey is 128 or more; the
  // rows keep the picture's orientation; padding bits are 0.
  const std::size_t n = Reachable(s);
  const unsigned char *table = source + s.paletteOffset;
  for (std::int64_t r = 0; r < s.height; ++r) {
    const unsigned char *in = source + s.bitsOffset + r * s.stride;
    const std::int64_t target = s.topDown ? s.height - 1 - r : r;
    const unsigned char *out = dest.get() + m.bitsOffset + target * m.stride;
    for (std::int64_t x = 0; x < m.stride * 8; ++x) {
      const bool bit = (out[x / 8] >> (7 - x % 8)) & 1;
      if (x >= s.width) {
        FUZZ_CHECK(!bit);
        continue;
      }
      const int grey = GreyOf(table, n, in[x]);
      FUZZ_CHECK(bit == (grey >= 128));
    }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  // An exact copy: libFuzzer's own buffer may be followed by more bytes.
  std::unique_ptr<unsigned char[]> block(new unsigned char[size ? size : 1]);
  if (size)
    std::memcpy(block.get(), data, size);
  CheckLayout(block.get(), size);
  if (size == 0)
    return 0;
  CheckGreyCheck(block.get(), size);
  CheckMono(block.get(), size);
  return 0;
}

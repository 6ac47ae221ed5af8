#include "imaging/grey_dib.h"

#include "imaging/dib_layout.h"

#include <cstring>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The grey between neighbouring entries of a ramp of `count` entries.
unsigned RampStep(std::size_t count) { return count < 2 ? 255u : unsigned(255 / (count - 1)); }

} // namespace

void MakeGreyPalette(void *table, std::size_t count) {
  auto *out = static_cast<unsigned char *>(table);
  const std::size_t step = RampStep(count);
  for (std::size_t i = 0; i < count; ++i) {
    const auto grey = static_cast<unsigned char>(step * i);
    out[4 * i] = grey;
    out[4 * i + 1] = grey;
    out[4 * i + 2] = grey;
    out[4 * i + 3] = 0;
  }
}

namespace {

constexpr std::size_t kMaxEntries = 256;

// The entries a pixel of the image can reach.
std::size_t ReachableEntries(const DibLayout &l) {
  const auto reach = std::int64_t(1) << l.bitCount;
  return static_cast<std::size_t>(l.paletteColors < reach ? l.paletteColors : reach);
}

bool IsGreyCandidate(const DibLayout &l) {
  return !l.core && l.compression == kDibCompressionRgb &&
         (l.bitCount == 1 || l.bitCount == 4 || l.bitCount == 8);
}

bool TableIsRamp(const unsigned char *table, std::size_t entries) {
  unsigned char ramp[4 * kMaxEntries];
  MakeGreyPalette(ramp, entries);
  return std::memcmp(table, ramp, 4 * entries) == 0;
}

std::uint64_t Load8(const unsigned char *p) {
  std::uint64_t x;
  std::memcpy(&x, p, 8);
  return x;
}

void Store8(unsigned char *p, std::uint64_t x) { std::memcpy(p, &x, 8); }

void InvertSpan(unsigned char *p, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8)
    Store8(p + i, ~Load8(p + i));
  for (; i < n; ++i)
    p[i] = static_cast<unsigned char>(~p[i]);
}

void RemapSpan(unsigned char *p, std::size_t n, const unsigned char *lut) {
  // Byte loads and stores: composing 64-bit words costs more shifts than it
  // saves memory operations.
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const unsigned char a = lut[p[i]], b = lut[p[i + 1]], c = lut[p[i + 2]], d = lut[p[i + 3]];
    p[i] = a;
    p[i + 1] = b;
    p[i + 2] = c;
    p[i + 3] = d;
  }
  for (; i < n; ++i)
    p[i] = lut[p[i]];
}

// Two pixels per lookup in a 128 KB table (it stays in the second-level
// cache); worth its set-up only on large images.
void RemapSpanByPairs(unsigned char *p, std::size_t n, const std::uint16_t *pairs) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint16_t w[4];
    std::memcpy(w, p + i, 8);
    w[0] = pairs[w[0]];
    w[1] = pairs[w[1]];
    w[2] = pairs[w[2]];
    w[3] = pairs[w[3]];
    std::memcpy(p + i, w, 8);
  }
  for (; i + 2 <= n; i += 2) {
    std::uint16_t w;
    std::memcpy(&w, p + i, 2);
    w = pairs[w];
    std::memcpy(p + i, &w, 2);
  }
  if (i < n)
    p[i] = static_cast<unsigned char>(pairs[p[i]]); // low byte: the pixel alone
}

enum class RemapKind { Identity, Inversion, Table };

RemapKind KindOf(const unsigned char *lut) {
  bool identity = true, inversion = true;
  for (int p = 0; p < 256; ++p) {
    identity = identity && lut[p] == p;
    inversion = inversion && lut[p] == 255 - p;
  }
  return identity ? RemapKind::Identity : inversion ? RemapKind::Inversion : RemapKind::Table;
}

// Rewrites the first `width` bytes of each row through `lut`.
void RemapRows(unsigned char *bits, const DibLayout &l, const unsigned char *lut) {
  const RemapKind kind = KindOf(lut);
  if (kind == RemapKind::Identity)
    return;
  std::size_t rowLength = static_cast<std::size_t>(l.width);
  std::size_t rows = static_cast<std::size_t>(l.height);
  if (l.stride == l.width) { // no padding: one long row
    rowLength *= rows;
    rows = 1;
  }
  // Without memory for the pair table the byte table does the same work.
  std::unique_ptr<std::uint16_t[]> pairs;
  if (kind == RemapKind::Table && rowLength * rows >= (std::size_t(1) << 20))
    pairs.reset(new (std::nothrow) std::uint16_t[65536]);
  if (pairs) {
    for (unsigned w = 0; w < 65536; ++w) // little-endian: low byte first
      pairs[w] = static_cast<std::uint16_t>(lut[w & 0xFF] | (lut[w >> 8] << 8));
  }
  for (std::size_t r = 0; r < rows; ++r) {
    unsigned char *row = bits + r * static_cast<std::size_t>(l.stride);
    if (kind == RemapKind::Inversion)
      InvertSpan(row, rowLength);
    else if (pairs)
      RemapSpanByPairs(row, rowLength, pairs.get());
    else
      RemapSpan(row, rowLength, lut);
  }
}

} // namespace

bool NormalizeGreyPaletteBytes(void *block, std::size_t size) {
  DibLayout l;
  if (!ReadDibLayout(block, size, &l) || !IsGreyCandidate(l))
    return false;
  auto *base = static_cast<unsigned char *>(block);
  unsigned char *table = base + l.paletteOffset;
  const std::size_t n = ReachableEntries(l);
  if (TableIsRamp(table, n))
    return true;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char *e = table + 4 * i;
    if (e[2] != e[1] || e[2] != e[0])
      return false;
  }
  if (l.bitCount != 8)
    return false;

  // Pixel value -> index of the ramp entry nearest to the grey it shows.
  const unsigned step = RampStep(n);
  unsigned char lut[256];
  for (unsigned p = 0; p < 256; ++p) {
    if (p >= n) {
      lut[p] = 0; // indexes no entry: black
      continue;
    }
    unsigned index = (table[4 * p + 2] + step / 2) / step;
    if (index > n - 1)
      index = unsigned(n - 1);
    lut[p] = static_cast<unsigned char>(index);
  }
  RemapRows(base + l.bitsOffset, l, lut);
  MakeGreyPalette(table, n);
  return true;
}

namespace {

constexpr std::size_t kMonoPaletteBytes = 8;
constexpr std::size_t kMonoBitsOffset = kDibV5HeaderSize + kMonoPaletteBytes;
// The header's 124 bytes and 4 spare ones, which end the block as zeros.
constexpr std::size_t kMonoHeaderRoom = 128;

struct MonoPlan {
  DibLayout source;
  std::int64_t stride = 0;
  std::int64_t imageSize = 0;
  std::uint32_t profileOffset = 0; // in the source block
  std::uint32_t profileSize = 0;   // 0: no profile is carried over
  std::size_t blockSize = 0;
};

bool PlanMono(const void *source, std::size_t size, MonoPlan *plan) {
  MonoPlan m;
  if (!ReadDibLayout(source, size, &m.source))
    return false;
  const DibLayout &l = m.source;
  if (!IsGreyCandidate(l) || l.bitCount != 8)
    return false;
  const auto *base = static_cast<const unsigned char *>(source);
  if (!TableIsRamp(base + l.paletteOffset, ReachableEntries(l)))
    return false;
  m.stride = DibRowBytes(l.width, 1);
  m.imageSize = m.stride * l.height; // below the source's row bytes
  if (m.imageSize > std::int64_t(0xFFFFFFFFu))
    return false; // biSizeImage could not say it
  if (l.profileSize != 0) {
    const std::uint32_t offset = ReadU32(base + dib_field::kProfileData);
    if (offset >= l.headerSize && std::uint64_t(offset) + l.profileSize <= size) {
      m.profileOffset = offset;
      m.profileSize = l.profileSize;
    }
  }
  const std::uint64_t total =
      kMonoHeaderRoom + kMonoPaletteBytes + std::uint64_t(m.imageSize) + m.profileSize;
  if (total > std::uint64_t(SIZE_MAX) || total > 0xFFFFFFFFu)
    return false; // bV5ProfileData could not point behind the rows
  m.blockSize = static_cast<std::size_t>(total);
  *plan = m;
  return true;
}

void BuildMonoHeader(const unsigned char *source, const MonoPlan &m, unsigned char *h) {
  const DibLayout &l = m.source;
  std::memset(h, 0, kDibV5HeaderSize);
  WriteU32(h + dib_field::kCSType, kColorSpaceSrgb);
  WriteU32(h + dib_field::kIntent, kIntentImages);
  std::memcpy(h, source, l.headerSize < kDibV5HeaderSize ? l.headerSize : kDibV5HeaderSize);
  WriteU32(h + dib_field::kSize, kDibV5HeaderSize);
  WriteU32(h + dib_field::kWidth, static_cast<std::uint32_t>(l.width));
  WriteU32(h + dib_field::kHeight, static_cast<std::uint32_t>(l.height));
  WriteU16(h + dib_field::kPlanes, 1);
  WriteU16(h + dib_field::kBitCount, 1);
  WriteU32(h + dib_field::kCompression, kDibCompressionRgb);
  WriteU32(h + dib_field::kSizeImage, static_cast<std::uint32_t>(m.imageSize));
  WriteU32(h + dib_field::kClrUsed, 2);
  if (ReadU32(h + dib_field::kClrImportant) > 2)
    WriteU32(h + dib_field::kClrImportant, 0); // all of the two
  if (m.profileSize != 0) {
    WriteU32(h + dib_field::kProfileData,
             static_cast<std::uint32_t>(kMonoBitsOffset + std::size_t(m.imageSize)));
  } else {
    // Never leave the header describing profile data that is not there.
    const std::uint32_t cs = ReadU32(h + dib_field::kCSType);
    if (cs == kProfileLinked || cs == kProfileEmbedded)
      WriteU32(h + dib_field::kCSType, kColorSpaceSrgb);
    WriteU32(h + dib_field::kProfileData, 0);
    WriteU32(h + dib_field::kProfileSize, 0);
  }
}

// Top bit of each of 8 pixels, the first pixel in the most significant bit.
inline unsigned char PackTopBits(std::uint64_t x) {
  return static_cast<unsigned char>(
      (((x & 0x8080808080808080ull) >> 7) * 0x8040201008040201ull) >> 56);
}

#if defined(__SSE2__)
// The top bits of 16 pixels as two bytes, first pixel in the most
// significant bit of the first byte. movemask gathers byte i into bit i,
// so the bytes of each 8-pixel half are reversed first.
inline std::uint16_t PackTopBits16(const unsigned char *src) {
  __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src));
  v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(0, 1, 2, 3));
  v = _mm_shufflehi_epi16(v, _MM_SHUFFLE(0, 1, 2, 3));
  v = _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
  return static_cast<std::uint16_t>(_mm_movemask_epi8(v));
}
#endif

void PackRowByTopBit(const unsigned char *src, std::size_t width, unsigned char *dst) {
  const std::size_t full = width / 8;
  std::size_t k = 0;
#if defined(__SSE2__)
  // 32 pixels per step: the 8-pixel word trick alone cannot keep up with
  // the memory the pass reads.
  for (; k + 4 <= full; k += 4) {
    const std::uint32_t bits = std::uint32_t(PackTopBits16(src + 8 * k)) |
                               std::uint32_t(PackTopBits16(src + 8 * k + 16)) << 16;
    WriteU32(dst + k, bits); // little-endian: the first 8 pixels in dst[k]
  }
#endif
  for (; k < full; ++k)
    dst[k] = PackTopBits(Load8(src + 8 * k));
  const std::size_t rest = width % 8;
  if (rest != 0) {
    unsigned char tail[8] = {};
    std::memcpy(tail, src + 8 * full, rest);
    dst[full] = PackTopBits(Load8(tail));
  }
}

void PackRowByTable(const unsigned char *src, std::size_t width, unsigned char *dst,
                    const unsigned char *white) {
  for (std::size_t k = 0; k < (width + 7) / 8; ++k) {
    unsigned byte = 0;
    for (std::size_t j = 0; j < 8; ++j) {
      const std::size_t x = 8 * k + j;
      if (x < width)
        byte |= unsigned(white[src[x]]) << (7 - j);
    }
    dst[k] = static_cast<unsigned char>(byte);
  }
}

} // namespace

std::size_t MonoDibSize(const void *source, std::size_t sourceSize) {
  MonoPlan m;
  return PlanMono(source, sourceSize, &m) ? m.blockSize : 0;
}

bool WriteMonoDib(const void *source, std::size_t sourceSize, void *dest, std::size_t destSize) {
  MonoPlan m;
  if (!dest || !PlanMono(source, sourceSize, &m) || destSize < m.blockSize)
    return false;
  const auto *src = static_cast<const unsigned char *>(source);
  auto *out = static_cast<unsigned char *>(dest);
  const DibLayout &l = m.source;

  BuildMonoHeader(src, m, out);
  MakeGreyPalette(out + kDibV5HeaderSize, 2);

  // White where the ramp entry's grey is 128 or more; with the full ramp
  // that is the top bit of the pixel value.
  const std::size_t n = ReachableEntries(l);
  const unsigned step = RampStep(n);
  unsigned char white[256];
  bool topBit = true;
  for (unsigned p = 0; p < 256; ++p) {
    white[p] = p < n && step * p >= 128;
    topBit = topBit && white[p] == (p >= 128);
  }

  const std::size_t width = static_cast<std::size_t>(l.width);
  const std::size_t height = static_cast<std::size_t>(l.height);
  const std::size_t srcStride = static_cast<std::size_t>(l.stride);
  const std::size_t dstStride = static_cast<std::size_t>(m.stride);
  const std::size_t used = (width + 7) / 8;
  const unsigned char *srcBits = src + l.bitsOffset;
  unsigned char *dstBits = out + kMonoBitsOffset;
  for (std::size_t r = 0; r < height; ++r) {
    const std::size_t target = l.topDown ? height - 1 - r : r;
    unsigned char *row = dstBits + target * dstStride;
    if (topBit)
      PackRowByTopBit(srcBits + r * srcStride, width, row);
    else
      PackRowByTable(srcBits + r * srcStride, width, row, white);
    std::memset(row + used, 0, dstStride - used);
  }

  unsigned char *tail = dstBits + std::size_t(m.imageSize);
  if (m.profileSize != 0) {
    std::memcpy(tail, src + m.profileOffset, m.profileSize);
    tail += m.profileSize;
  }
  std::memset(tail, 0, static_cast<std::size_t>(out + m.blockSize - tail));
  return true;
}

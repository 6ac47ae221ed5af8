// Builds packed bitmaps byte by byte for the imaging tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "imaging/dib_layout.h"

struct DibFields {
  std::uint32_t headerSize = 40;
  std::int32_t width = 8;
  std::int32_t height = 1;
  std::uint16_t bitCount = 8;
  std::uint32_t compression = 0;
  std::uint32_t clrUsed = 0;
  std::int32_t xPelsPerMeter = 0;
  std::int32_t yPelsPerMeter = 0;
  std::uint32_t clrImportant = 0;
};

// A header of f.headerSize bytes; 40 bytes when that size is below 40 or
// absurd (biSize still says it).
inline std::vector<unsigned char> DibHeader(const DibFields &f) {
  const bool plausible = f.headerSize >= 40 && f.headerSize <= 4096;
  std::vector<unsigned char> h(plausible ? f.headerSize : 40, 0);
  WriteU32(&h[dib_field::kSize], f.headerSize);
  WriteU32(&h[dib_field::kWidth], static_cast<std::uint32_t>(f.width));
  WriteU32(&h[dib_field::kHeight], static_cast<std::uint32_t>(f.height));
  WriteU16(&h[dib_field::kPlanes], 1);
  WriteU16(&h[dib_field::kBitCount], f.bitCount);
  WriteU32(&h[dib_field::kCompression], f.compression);
  WriteU32(&h[dib_field::kXPelsPerMeter], static_cast<std::uint32_t>(f.xPelsPerMeter));
  WriteU32(&h[dib_field::kYPelsPerMeter], static_cast<std::uint32_t>(f.yPelsPerMeter));
  WriteU32(&h[dib_field::kClrUsed], f.clrUsed);
  WriteU32(&h[dib_field::kClrImportant], f.clrImportant);
  return h;
}

// One row of 8-bit pixels.
inline std::vector<unsigned char> Row(std::initializer_list<int> pixels) {
  std::vector<unsigned char> r;
  for (int p : pixels)
    r.push_back(static_cast<unsigned char>(p));
  return r;
}

inline void AppendEntry(std::vector<unsigned char> &v, unsigned char red, unsigned char green,
                        unsigned char blue, unsigned char reserved = 0) {
  v.insert(v.end(), {blue, green, red, reserved});
}

// Grey entries with the given levels.
inline void AppendGreys(std::vector<unsigned char> &v, const std::vector<int> &levels) {
  for (int g : levels)
    AppendEntry(v, static_cast<unsigned char>(g), static_cast<unsigned char>(g),
                static_cast<unsigned char>(g));
}

inline std::vector<int> Levels(int count, bool descending) {
  std::vector<int> l(count);
  const int step = count < 2 ? 255 : 255 / (count - 1);
  for (int i = 0; i < count; ++i)
    l[i] = step * (descending ? count - 1 - i : i);
  return l;
}

// Rows of 8-bit pixels in memory order, each padded to 4 bytes with `pad`.
inline void AppendRows8(std::vector<unsigned char> &v,
                        const std::vector<std::vector<unsigned char>> &rows,
                        unsigned char pad = 0) {
  for (const auto &r : rows) {
    v.insert(v.end(), r.begin(), r.end());
    v.insert(v.end(), (4 - r.size() % 4) % 4, pad);
  }
}

// A whole 8-bit bitmap: 40-byte header unless given, grey table, rows.
inline std::vector<unsigned char> Grey8(const std::vector<std::vector<unsigned char>> &rows,
                                        const std::vector<int> &levels, bool topDown = false,
                                        DibFields f = DibFields()) {
  f.width = static_cast<std::int32_t>(rows.empty() ? 0 : rows[0].size());
  f.height = static_cast<std::int32_t>(rows.size()) * (topDown ? -1 : 1);
  f.bitCount = 8;
  if (f.clrUsed == 0)
    f.clrUsed = static_cast<std::uint32_t>(levels.size());
  std::vector<unsigned char> v = DibHeader(f);
  AppendGreys(v, levels);
  AppendRows8(v, rows);
  return v;
}

// A bitmap of one 8-pixel row at `bitCount` bits with the grey `levels` as
// its table (biClrUsed 0) and every row byte `fill`.
inline std::vector<unsigned char> OneRow(std::uint16_t bitCount, const std::vector<int> &levels,
                                         unsigned char fill) {
  DibFields f;
  f.bitCount = bitCount;
  std::vector<unsigned char> v = DibHeader(f);
  AppendGreys(v, levels);
  v.resize(v.size() + static_cast<std::size_t>(DibRowBytes(f.width, bitCount)), fill);
  return v;
}

// Where the rows of a 1-bit conversion start: its V5 header, then black
// and white.
constexpr std::size_t kMonoBits = 124 + 8;

inline std::uint32_t U32At(const std::vector<unsigned char> &v, std::size_t offset) {
  return ReadU32(v.data() + offset);
}

// The bands of a page drawn in pieces, over any sizes, bounds and any
// pattern of refusals by the driver: the bands offered start where the last
// drawn one ended, keep to the bounds, land where Y(y) = y * height / rows
// (checked in 128 bits) puts them, shrink by halves when refused, and once
// the walk is done tile the source rows and the paper exactly. Then, over
// any bytes as a bitmap: every band's rows lie inside the block, and its
// header is written exactly into the room it asked for.
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_reader.h"
#include "imaging/band_plan.h"
#include "imaging/dib_layout.h"

namespace {

using u128 = unsigned __int128;

std::int64_t Clamp31(std::int64_t v) { return v < 0 ? 0 : v > INT_MAX ? INT_MAX : v; }

// A walk is cut short after this many offers; what was seen is still checked.
constexpr int kMaxOffers = 1000;

// Walks the bands, refusing where the input says so. Returns whether the
// walk finished (every row drawn or skipped) or was given up at one row.
struct WalkEnd {
  bool done = false, givenUp = false;
  std::int64_t drawnTo = 0, paperTo = 0;
};

WalkEnd CheckWalk(FuzzReader &in, std::int64_t rows, std::int64_t stride, std::int64_t dest,
                  const BandLimits &limits, const DibLayout *layout, std::size_t blockSize) {
  BandWalk walk(rows, stride, dest, limits);
  const std::int64_t r = Clamp31(rows), d = Clamp31(dest);
  const std::int64_t full = BandRows(stride, limits);
  FUZZ_CHECK(full >= 1);
  WalkEnd end;
  std::int64_t step = full;
  for (int offer = 0; offer < kMaxOffers && !walk.Done(); ++offer) {
    const Band b = walk.Current();
    FUZZ_CHECK(b.firstRow == end.drawnTo);
    FUZZ_CHECK(b.endRow > b.firstRow && b.endRow <= r);
    FUZZ_CHECK(b.endRow - b.firstRow == (r - b.firstRow < step ? r - b.firstRow : step));
    FUZZ_CHECK(std::uint64_t(b.top) == std::uint64_t(u128(b.firstRow) * u128(d) / u128(r)));
    FUZZ_CHECK(std::uint64_t(b.bottom) == std::uint64_t(u128(b.endRow) * u128(d) / u128(r)));
    FUZZ_CHECK(b.top == end.paperTo && b.top <= b.bottom && b.bottom <= d);
    FUZZ_CHECK(BandEdge(b.firstRow, rows, dest) == b.top);
    const std::int64_t bandRows = b.endRow - b.firstRow;
    for (bool topDown : {false, true}) {
      const std::int64_t m = BandFirstMemoryRow(b, r, topDown);
      FUZZ_CHECK(m >= 0 && m + bandRows <= r);
      // Picture row y is stored at y top-down, at r - 1 - y bottom-up: the
      // band's first and last rows, and so all between, are in its run.
      for (std::int64_t y : {b.firstRow, b.endRow - 1}) {
        const std::int64_t stored = topDown ? y : r - 1 - y;
        FUZZ_CHECK(stored >= m && stored < m + bandRows);
      }
    }
    if (layout) {
      // The rows handed to the driver, in the block.
      const std::int64_t m = BandFirstMemoryRow(b, layout->height, layout->topDown);
      const std::uint64_t stride = std::uint64_t(layout->stride);
      const std::uint64_t from = std::uint64_t(layout->bitsOffset) + std::uint64_t(m) * stride;
      FUZZ_CHECK(from + std::uint64_t(bandRows) * stride <= blockSize);
    }
    if (in.Take<std::uint8_t>() & 1) {
      const bool smaller = walk.Refused();
      FUZZ_CHECK(smaller == (bandRows > 1));
      if (!smaller) {
        end.givenUp = true;
        return end;
      }
      step = (bandRows + 1) / 2;
      FUZZ_CHECK(walk.Current().firstRow == b.firstRow);
    } else {
      walk.Drawn();
      end.drawnTo = b.endRow;
      end.paperTo = b.bottom;
    }
  }
  end.done = walk.Done();
  if (end.done) {
    FUZZ_CHECK(end.drawnTo == r);
    FUZZ_CHECK(end.paperTo == (r == 0 ? 0 : d));
  }
  return end;
}

void CheckPlan(FuzzReader &in) {
  const std::int64_t rows = in.Take<std::int32_t>();
  const std::int64_t stride = in.Take<std::int32_t>();
  const std::int64_t dest = in.Take<std::int32_t>();
  BandLimits limits{in.Take<std::int32_t>(), in.Take<std::int16_t>()};
  // Keep a walk short enough to finish: the bounds in rows, not the sizes.
  if (limits.maxRows > 0 && Clamp31(rows) / BandRows(stride, limits) > kMaxOffers)
    limits.maxRows = Clamp31(rows) / kMaxOffers + 1;
  CheckWalk(in, rows, stride, dest, limits, nullptr, 0);
}

void CheckBitmap(FuzzReader &in) {
  const std::int64_t dest = in.Take<std::uint16_t>();
  const BandLimits limits{in.Take<std::uint16_t>(), std::int64_t(in.Take<std::uint8_t>()) + 1};
  const std::int64_t bandRows = in.Take<std::uint16_t>();
  const std::uint8_t *block = in.Rest();
  const std::size_t size = in.RestSize();
  DibLayout l;
  if (!ReadDibLayout(block, size, &l)) {
    FUZZ_CHECK(BandHeaderSize(block, size) == 0);
    return;
  }
  const std::size_t headerSize = BandHeaderSize(block, size);
  FUZZ_CHECK(headerSize >= std::size_t(l.bitsOffset));
  std::vector<unsigned char> header(headerSize);
  const bool written = WriteBandHeader(block, size, bandRows, header.data(), header.size());
  FUZZ_CHECK(written == (bandRows >= 1 && bandRows <= l.height));
  if (written) {
    if (l.core) {
      FUZZ_CHECK(ReadU16(&header[dib_field::kCoreHeight]) == bandRows);
    } else {
      FUZZ_CHECK(ReadI32(&header[dib_field::kHeight]) == (l.topDown ? -bandRows : bandRows));
      FUZZ_CHECK(std::int64_t(ReadU32(&header[dib_field::kSizeImage])) ==
                 std::int64_t(std::uint32_t(l.stride * bandRows)));
    }
    // Beyond the header itself the masks and the colour table are the
    // block's own.
    const std::size_t fixed = l.core ? kDibCoreHeaderSize : l.headerSize;
    FUZZ_CHECK(std::memcmp(header.data() + fixed, block + fixed,
                           std::size_t(l.bitsOffset) - fixed) == 0);
    if (headerSize > std::size_t(l.bitsOffset)) {
      const std::uint32_t at = ReadU32(block + dib_field::kProfileData);
      FUZZ_CHECK(ReadU32(&header[dib_field::kProfileData]) == l.bitsOffset);
      FUZZ_CHECK(std::memcmp(header.data() + l.bitsOffset, block + at,
                             headerSize - std::size_t(l.bitsOffset)) == 0);
    }
  }
  // A smaller room is refused.
  if (headerSize > 0)
    FUZZ_CHECK(!WriteBandHeader(block, size, 1, header.data(), headerSize - 1));
  if (dest > 0)
    CheckWalk(in, l.height, l.stride, dest, limits, &l, size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzReader in(data, size);
  const bool bitmap = in.Take<std::uint8_t>() & 1;
  if (bitmap)
    CheckBitmap(in);
  else
    CheckPlan(in);
  return 0;
}

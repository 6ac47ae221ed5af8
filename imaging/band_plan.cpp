#include "imaging/band_plan.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "imaging/dib_layout.h"

namespace {

std::int64_t ClampToInt32(std::int64_t value) {
  return std::min<std::int64_t>(std::max<std::int64_t>(value, 0), INT_MAX);
}

} // namespace

std::int64_t BandEdge(std::int64_t row, std::int64_t rows, std::int64_t destHeight) {
  rows = ClampToInt32(rows);
  if (rows == 0)
    return 0;
  row = std::min(std::max<std::int64_t>(row, 0), rows);
  // Below 2^31 times 2^31: no wrap, and exact.
  return row * ClampToInt32(destHeight) / rows;
}

std::int64_t BandRows(std::int64_t stride, const BandLimits &limits) {
  std::int64_t rows = std::max<std::int64_t>(limits.maxRows, 1);
  if (stride > 0)
    rows = std::min(rows, limits.maxBytes / stride);
  return std::max<std::int64_t>(rows, 1);
}

std::int64_t BandFirstMemoryRow(const Band &band, std::int64_t rows, bool topDown) {
  return topDown ? band.firstRow : rows - band.endRow;
}

BandWalk::BandWalk(std::int64_t rows, std::int64_t stride, std::int64_t destHeight,
                   const BandLimits &limits)
    : rows_(ClampToInt32(rows)), destHeight_(ClampToInt32(destHeight)),
      step_(BandRows(stride, limits)) {}

Band BandWalk::Current() const {
  Band band;
  band.firstRow = next_;
  band.endRow = rows_ - next_ <= step_ ? rows_ : next_ + step_;
  band.top = BandEdge(band.firstRow, rows_, destHeight_);
  band.bottom = BandEdge(band.endRow, rows_, destHeight_);
  return band;
}

void BandWalk::Drawn() {
  if (!Done())
    next_ = Current().endRow;
}

bool BandWalk::Refused() {
  const Band band = Current();
  const std::int64_t rows = band.endRow - band.firstRow;
  if (rows <= 1)
    return false;
  step_ = (rows + 1) / 2;
  return true;
}

namespace {

// Where the profile of a V5 header lies in the block, if it comes along.
bool ProfileInBlock(const unsigned char *p, std::size_t size, const DibLayout &l,
                    std::uint64_t *at) {
  if (l.profileSize == 0)
    return false;
  // Counted from the start of the header.
  *at = ReadU32(p + dib_field::kProfileData);
  return *at <= size && l.profileSize <= size - *at;
}

} // namespace

std::size_t BandHeaderSize(const void *block, std::size_t size) {
  DibLayout l;
  if (!ReadDibLayout(block, size, &l))
    return 0;
  std::uint64_t at = 0;
  const bool profile = ProfileInBlock(static_cast<const unsigned char *>(block), size, l, &at);
  return std::size_t(l.bitsOffset) + (profile ? l.profileSize : 0);
}

bool WriteBandHeader(const void *block, std::size_t size, std::int64_t bandRows, void *out,
                     std::size_t outSize) {
  DibLayout l;
  if (!ReadDibLayout(block, size, &l) || bandRows < 1 || bandRows > l.height || !out ||
      outSize < BandHeaderSize(block, size))
    return false;
  const auto *p = static_cast<const unsigned char *>(block);
  auto *h = static_cast<unsigned char *>(out);
  std::memcpy(h, p, std::size_t(l.bitsOffset));
  if (l.core) {
    WriteU16(h + dib_field::kCoreHeight, static_cast<std::uint16_t>(bandRows));
    return true;
  }
  const std::int64_t height = l.topDown ? -bandRows : bandRows;
  WriteU32(h + dib_field::kHeight, static_cast<std::uint32_t>(height));
  WriteU32(h + dib_field::kSizeImage, static_cast<std::uint32_t>(l.stride * bandRows));
  std::uint64_t at = 0;
  if (ProfileInBlock(p, size, l, &at)) {
    WriteU32(h + dib_field::kProfileData, static_cast<std::uint32_t>(l.bitsOffset));
    std::memcpy(h + l.bitsOffset, p + at, l.profileSize);
  } else if (l.profileSize != 0) {
    WriteU32(h + dib_field::kCSType, kColorSpaceSrgb);
    WriteU32(h + dib_field::kProfileData, 0);
    WriteU32(h + dib_field::kProfileSize, 0);
  }
  return true;
}

bool DibProfileOutsideBlock(const void *block, std::size_t size) {
  DibLayout l;
  if (!ReadDibLayout(block, size, &l) || l.profileSize == 0)
    return false;
  std::uint64_t at = 0;
  return !ProfileInBlock(static_cast<const unsigned char *>(block), size, l, &at);
}

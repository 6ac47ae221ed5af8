// Drawing a page in horizontal bands, for a printer driver that will not
// take the whole bitmap in one call: which source rows land on which rows
// of paper, where a band's rows lie in the bitmap's memory, and the header
// that describes one band as a bitmap of its own. Plain values and byte
// spans only.
//
// A band of source rows [y0, y1) (counted from the top of the picture) is
// drawn into destination rows [Y(y0), Y(y1)) with
//   Y(y) = y * destination height / source rows, rounded down,
// so the bands of a page meet with neither gap nor overlap at any scale and
// together cover exactly the rectangle of the one-call drawing.
#pragma once

#include <cstddef>
#include <cstdint>

// What one band may hold: bytes of source rows, and rows. A row longer than
// the byte bound still makes a band of one row.
struct BandLimits {
  std::int64_t maxBytes;
  std::int64_t maxRows;
};

// The bounds a printed page is banded with: a driver that copies what it is
// given (Wine's PostScript driver does) then holds a few MiB, not the page.
constexpr BandLimits kPrintBandLimits{std::int64_t(4) << 20, 512};

// Source rows [firstRow, endRow), counted from the top of the picture, into
// destination rows [top, bottom), counted from the top of the drawing.
struct Band {
  std::int64_t firstRow = 0, endRow = 0;
  std::int64_t top = 0, bottom = 0;
};

// Y(row) for a picture of `rows` rows drawn `destHeight` rows high. Both
// are taken within 0 .. INT32_MAX (what GDI's coordinates hold), `row`
// within 0 .. rows; the product then stays far inside 64 bits.
std::int64_t BandEdge(std::int64_t row, std::int64_t rows, std::int64_t destHeight);

// Rows of a full band: as many rows of `stride` bytes as the byte bound
// holds, no more than the row bound, at least 1.
std::int64_t BandRows(std::int64_t stride, const BandLimits &limits);

// The first row of the band in memory order, counted from the first row
// stored: a top-down bitmap stores the top row first, a bottom-up one the
// bottom row, so there the band starts at the picture row endRow - 1.
std::int64_t BandFirstMemoryRow(const Band &band, std::int64_t rows, bool topDown);

// The bands of one page from its top. Each band has BandRows rows (the last
// one what is left); a band the driver refused is halved and offered again
// until it is a single row, and the bands after it keep the smaller size.
class BandWalk {
public:
  BandWalk(std::int64_t rows, std::int64_t stride, std::int64_t destHeight,
           const BandLimits &limits);

  bool Done() const { return next_ >= rows_; }
  // The band to draw now; its destination may be empty (top == bottom) when
  // a reduction leaves its rows no room on paper.
  Band Current() const;
  // The current band is on paper: on to the next one.
  void Drawn();
  // The current band was refused: true when a smaller one is offered in its
  // place, false when it was a single row (the page cannot be drawn).
  bool Refused();

private:
  std::int64_t rows_;
  std::int64_t destHeight_;
  std::int64_t step_;
  std::int64_t next_ = 0;
};

// The header of one band as a bitmap of its own: the header, colour masks
// and colour table of the sound bitmap in `block`, with the row count set
// to the band's (its sign kept: a top-down band stays top-down) and
// biSizeImage to the band's bytes. A linked or embedded colour profile of a
// V5 header that lies inside the block comes along behind the colour table,
// with bV5ProfileData pointing at it there; one that does not is dropped
// (the band is sRGB), so nothing reads outside what the band's header says
// it holds.
//
// BandHeaderSize: the bytes that header needs; 0 for a bitmap that is not
// sound.
std::size_t BandHeaderSize(const void *block, std::size_t size);
// Writes it for `bandRows` rows into `out`, which holds `outSize` bytes;
// false, with nothing written, for a bitmap that is not sound, a row count
// outside 1 .. its height, or too little room.
bool WriteBandHeader(const void *block, std::size_t size, std::int64_t bandRows, void *out,
                     std::size_t outSize);

// Whether the V5 header of the sound bitmap in `block` names a linked or
// embedded colour profile that does not lie inside the block: GDI would
// read it from wherever the header points. WriteBandHeader drops it.
bool DibProfileOutsideBlock(const void *block, std::size_t size);

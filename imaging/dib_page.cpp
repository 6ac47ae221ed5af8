#include "imaging/dib_page.h"

#include <memory>
#include <new>

#include "imaging/global_memory.h"

namespace {

bool Refused(int lines) { return lines == 0 || lines == static_cast<int>(GDI_ERROR); }

bool DrawBands(const GlobalLockGuard &lock, const DibLayout &l, HDC dc, int x, int y, int width,
               int height, StretchDIBitsProc stretch, const BandLimits &limits) {
  const std::size_t headerSize = BandHeaderSize(lock.data(), lock.size());
  std::unique_ptr<unsigned char[]> header(new (std::nothrow) unsigned char[headerSize]);
  if (!header)
    return false;
  const auto *info = reinterpret_cast<const BITMAPINFO *>(header.get());
  const unsigned char *bits = lock.bytes() + l.bitsOffset;
  BandWalk walk(l.height, l.stride, height, limits);
  // The whole page was refused just now: a first band as large as the page
  // is not offered again.
  if (walk.Current().endRow == l.height && !walk.Refused())
    return false;
  while (!walk.Done()) {
    const Band band = walk.Current();
    // A reduction can leave a thin band no row of paper: nothing to draw.
    if (band.top == band.bottom) {
      walk.Drawn();
      continue;
    }
    const std::int64_t rows = band.endRow - band.firstRow;
    if (!WriteBandHeader(lock.data(), lock.size(), rows, header.get(), headerSize))
      return false;
    const unsigned char *first = bits + BandFirstMemoryRow(band, l.height, l.topDown) * l.stride;
    const int lines = stretch(dc, x, static_cast<int>(y + band.top), width,
                              static_cast<int>(band.bottom - band.top), 0, 0,
                              static_cast<int>(l.width), static_cast<int>(rows), first, info,
                              DIB_RGB_COLORS, SRCCOPY);
    if (!Refused(lines))
      walk.Drawn();
    else if (!walk.Refused())
      return false;
  }
  return true;
}

} // namespace

bool DrawDibPage(HGLOBAL dib, HDC dc, int x, int y, int width, int height,
                 StretchDIBitsProc stretch, const BandLimits &limits) {
  if (width <= 0 || height <= 0)
    return false;
  GlobalLockGuard lock(dib);
  DibLayout l;
  if (!lock || !ReadDibLayout(lock.data(), lock.size(), &l))
    return false;
  // A colour profile that the header places outside the block would have
  // GDI read past it: the page then goes with a header of its own that
  // leaves the profile out, as every band's does.
  const auto *info = static_cast<const BITMAPINFO *>(lock.data());
  std::unique_ptr<unsigned char[]> ownHeader;
  if (DibProfileOutsideBlock(lock.data(), lock.size())) {
    const std::size_t headerSize = BandHeaderSize(lock.data(), lock.size());
    ownHeader.reset(new (std::nothrow) unsigned char[headerSize]);
    if (!ownHeader ||
        !WriteBandHeader(lock.data(), lock.size(), l.height, ownHeader.get(), headerSize))
      return false;
    info = reinterpret_cast<const BITMAPINFO *>(ownHeader.get());
  }
  // A sound layout has its width and height within int range, and every
  // row GDI will read inside the block.
  const int lines = stretch(dc, x, y, width, height, 0, 0, static_cast<int>(l.width),
                            static_cast<int>(l.height), lock.bytes() + l.bitsOffset, info,
                            DIB_RGB_COLORS, SRCCOPY);
  return !Refused(lines) || DrawBands(lock, l, dc, x, y, width, height, stretch, limits);
}

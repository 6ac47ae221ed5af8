#include "imaging/dib.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "imaging/global_memory.h"

int DibBitCount(HGLOBAL dib) {
  GlobalLockGuard lock(dib);
  DibLayout l;
  if (!lock || !ReadDibLayout(lock.data(), lock.size(), &l))
    return 0;
  return l.bitCount;
}

bool NormalizeGreyPalette(HGLOBAL dib) {
  GlobalLockGuard lock(dib);
  return lock && NormalizeGreyPaletteBytes(lock.data(), lock.size());
}

GlobalBlock ConvertDibDepth(HGLOBAL dib, int bitCount) {
  GlobalLockGuard source(dib);
  if (!source)
    return GlobalBlock();
  if (!NormalizeGreyPaletteBytes(source.data(), source.size()) || bitCount != 1)
    return GlobalBlock();
  const std::size_t size = MonoDibSize(source.data(), source.size());
  if (size == 0)
    return GlobalBlock();
  return NewFilledBlock(size, [&](void *target) {
    return WriteMonoDib(source.data(), source.size(), target, size);
  });
}

bool IsUsableDib(HGLOBAL dib) {
  GlobalLockGuard lock(dib);
  DibLayout layout;
  return lock && ReadDibLayout(lock.data(), lock.size(), &layout);
}

bool IsGlobalBlock(HANDLE handle) {
  if (handle == nullptr || GlobalFlags(handle) == GMEM_INVALID_HANDLE)
    return false;
  // Fixed memory is its own address, which the handle table does not
  // check: it must be a block of the process heap.
  void *at = GlobalLock(handle);
  if (at != nullptr)
    GlobalUnlock(handle);
  if (at == handle)
    return HeapValidate(GetProcessHeap(), 0, handle) != FALSE;
  return true;
}

GlobalBlock PackedDibFromBitmap(HBITMAP bitmap) {
  DIBSECTION section{};
  const int described = GetObjectW(bitmap, sizeof section, &section);
  if (described < int(sizeof(BITMAP)))
    return GlobalBlock();
  const std::int64_t width = section.dsBm.bmWidth;
  const std::int64_t height = section.dsBm.bmHeight;
  const std::int64_t rowBytes = DibRowBytes(width, 24);
  if (rowBytes <= 0 || height <= 0 || height > INT32_MAX)
    return GlobalBlock();
  // Refused before anything is allocated: a size no block of this build
  // can hold.
  const std::int64_t limit = std::int64_t(std::min<std::uint64_t>(SIZE_MAX, INT64_MAX) / 2);
  if (rowBytes > (limit - kDibInfoHeaderSize) / height)
    return GlobalBlock();
  const std::size_t size = std::size_t(kDibInfoHeaderSize + rowBytes * height);

  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = LONG(width);
  header.biHeight = LONG(height); // bottom-up, whichever way the bitmap runs
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biSizeImage = DWORD(rowBytes * height);
  if (described == int(sizeof section) && section.dsBmih.biXPelsPerMeter > 0 &&
      section.dsBmih.biYPelsPerMeter > 0) {
    header.biXPelsPerMeter = section.dsBmih.biXPelsPerMeter;
    header.biYPelsPerMeter = section.dsBmih.biYPelsPerMeter;
  }
  UniqueDC dc(CreateCompatibleDC(nullptr));
  if (!dc)
    return GlobalBlock();
  return NewFilledBlock(size, [&](void *target) {
    auto *bytes = static_cast<unsigned char *>(target);
    std::memcpy(bytes, &header, sizeof header);
    // GetDIBits reads the wanted format from the header and may complete
    // it; the rows go straight behind it (no colour table at 24 bits).
    const int lines = GetDIBits(dc.get(), bitmap, 0, UINT(height), bytes + sizeof header,
                                reinterpret_cast<BITMAPINFO *>(bytes), DIB_RGB_COLORS);
    if (lines != int(height))
      return false;
    // Whatever GetDIBits wrote back, the block holds what this header says.
    std::memcpy(bytes, &header, sizeof header);
    return true;
  });
}

void DibImage::Attach(GlobalBlock dib) { dib_ = std::move(dib); }

std::int64_t DibImage::GetWidth() const {
  GlobalLockGuard lock(dib_);
  return lock ? DibWidth(lock.data(), lock.size()) : 0;
}

std::int64_t DibImage::GetHeight() const {
  GlobalLockGuard lock(dib_);
  return lock ? DibHeight(lock.data(), lock.size()) : 0;
}

std::int64_t DibImage::Resolution(std::size_t field, int unit) const {
  if (unit != ResolutionPerInch && unit != ResolutionPerMeter)
    return 0;
  GlobalLockGuard lock(dib_);
  DibLayout l;
  if (!lock || !ReadDibLayout(lock.data(), lock.size(), &l) || l.core)
    return 0;
  const std::int32_t perMetre = ReadI32(lock.bytes() + field);
  if (perMetre <= 0)
    return 0;
  if (unit == ResolutionPerMeter)
    return perMetre;
  return (std::int64_t(perMetre) * 254 + 5000) / 10000;
}

std::int64_t DibImage::GetXResolution(int unit) const {
  return Resolution(dib_field::kXPelsPerMeter, unit);
}

std::int64_t DibImage::GetYResolution(int unit) const {
  return Resolution(dib_field::kYPelsPerMeter, unit);
}

bool DibImage::Draw(HDC dc, int x, int y, int width, int height,
                    StretchDIBitsProc stretch) const {
  GlobalLockGuard lock(dib_);
  DibLayout l;
  if (!lock || !ReadDibLayout(lock.data(), lock.size(), &l))
    return false;
  // A sound layout has its width and height within int range, and every
  // row GDI will read inside the block.
  const int w = static_cast<int>(l.width), h = static_cast<int>(l.height);
  if (width == 0 && height == 0) {
    width = w;
    height = h;
  }
  const int lines =
      stretch(dc, x, y, width, height, 0, 0, w, h, lock.bytes() + l.bitsOffset,
              static_cast<const BITMAPINFO *>(lock.data()), DIB_RGB_COLORS, SRCCOPY);
  return lines != static_cast<int>(GDI_ERROR);
}

bool DibImage::Free() {
  dib_.reset();
  return true;
}

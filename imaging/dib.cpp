#include "imaging/dib.h"

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

HGLOBAL ConvertDibDepth(HGLOBAL dib, int bitCount) {
  GlobalLockGuard source(dib);
  if (!source)
    return nullptr;
  if (!NormalizeGreyPaletteBytes(source.data(), source.size()) || bitCount != 1)
    return nullptr;
  const std::size_t size = MonoDibSize(source.data(), source.size());
  if (size == 0)
    return nullptr;
  return NewFilledBlock(size, [&](void *target) {
    return WriteMonoDib(source.data(), source.size(), target, size);
  });
}

DibImage::~DibImage() { Free(); }

void DibImage::Attach(HGLOBAL dib) {
  if (dib == dib_)
    return;
  Free();
  dib_ = dib;
}

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
  if (dib_)
    GlobalFree(dib_);
  dib_ = nullptr;
  return true;
}

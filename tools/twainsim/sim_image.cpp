// The built-in test chart and the header faults some drivers show.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "tools/twainsim/sim_engine.h"

namespace twainsim {

namespace {

int SideInPixels(double inches, double dpi, int maxSide) {
  if (!(inches > 0))
    inches = 1;
  if (!(dpi > 0))
    dpi = 100;
  const double pixels = std::floor(inches * dpi + 0.5);
  return int(std::min<double>(std::max<double>(pixels, 1), std::max(maxSide, 1)));
}

LONG PelsPerMeter(double dpi) { return dpi > 0 ? LONG(std::lround(dpi * 100.0 / 2.54)) : 0; }

} // namespace

TW_HANDLE MakeChartDib(const SimImageRequest &request, int maxSide) {
  const int width = SideInPixels(request.right - request.left, request.xResolution, maxSide);
  const int height = SideInPixels(request.bottom - request.top, request.yResolution, maxSide);
  const int bits = request.pixelType == TWPT_BW ? 1 : request.pixelType == TWPT_GRAY ? 8 : 24;
  const int colours = bits == 1 ? 2 : bits == 8 ? 256 : 0;
  const std::size_t stride = ((std::size_t(width) * bits + 31) / 32) * 4;
  const std::size_t header = sizeof(BITMAPINFOHEADER) + std::size_t(colours) * sizeof(RGBQUAD);
  const std::size_t size = header + stride * std::size_t(height);
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  if (h == nullptr)
    return nullptr;
  auto *p = static_cast<std::uint8_t *>(GlobalLock(h));
  if (p == nullptr) {
    GlobalFree(h);
    return nullptr;
  }
  auto *bi = reinterpret_cast<BITMAPINFOHEADER *>(p);
  bi->biSize = sizeof(BITMAPINFOHEADER);
  bi->biWidth = width;
  bi->biHeight = height;
  bi->biPlanes = 1;
  bi->biBitCount = WORD(bits);
  bi->biCompression = BI_RGB;
  bi->biSizeImage = DWORD(stride * std::size_t(height));
  bi->biXPelsPerMeter = PelsPerMeter(request.xResolution);
  bi->biYPelsPerMeter = PelsPerMeter(request.yResolution);
  bi->biClrUsed = DWORD(colours);
  auto *palette = reinterpret_cast<RGBQUAD *>(p + sizeof(BITMAPINFOHEADER));
  for (int i = 0; i < colours; ++i) {
    const BYTE v = BYTE(colours == 2 ? i * 255 : i);
    palette[i].rgbBlue = palette[i].rgbGreen = palette[i].rgbRed = v;
  }
  // White page, black border, a grey ramp across the middle third.
  const int border = std::max(1, width / 100);
  std::uint8_t *pixels = p + header;
  for (int y = 0; y < height; ++y) {
    std::uint8_t *row = pixels + stride * std::size_t(y);
    const bool band = y >= height / 3 && y < 2 * height / 3;
    for (int x = 0; x < width; ++x) {
      const bool edge = x < border || y < border || x >= width - border || y >= height - border;
      int grey = 255;
      if (edge)
        grey = 0;
      else if (band)
        grey = int(255 * std::int64_t(x) / std::max(1, width - 1));
      if (bits == 1) {
        if (grey >= 128)
          row[x / 8] = std::uint8_t(row[x / 8] | (0x80 >> (x % 8)));
      } else if (bits == 8) {
        row[x] = std::uint8_t(grey);
      } else {
        row[3 * x] = std::uint8_t(band && !edge ? 255 - grey : grey); // blue
        row[3 * x + 1] = std::uint8_t(grey);
        row[3 * x + 2] = std::uint8_t(grey);
      }
    }
  }
  GlobalUnlock(h);
  return h;
}

void ApplyImageFaults(TW_HANDLE dib, const SimBehaviour &behaviour) {
  if (dib == nullptr)
    return;
  const SIZE_T size = GlobalSize(dib);
  if (size < sizeof(BITMAPINFOHEADER))
    return;
  auto *p = static_cast<std::uint8_t *>(GlobalLock(dib));
  if (p == nullptr)
    return;
  auto *bi = reinterpret_cast<BITMAPINFOHEADER *>(p);
  if (behaviour.reversedGreyPalette && (bi->biBitCount == 1 || bi->biBitCount == 8)) {
    // Same picture, palette from white to black: indexes are inverted too.
    const std::size_t colours = std::size_t(1) << bi->biBitCount;
    const std::size_t paletteAt = bi->biSize;
    const std::size_t stride = ((std::size_t(std::labs(bi->biWidth)) * bi->biBitCount + 31) / 32) * 4;
    const std::size_t pixelsAt = paletteAt + colours * sizeof(RGBQUAD);
    const std::size_t pixelBytes = stride * std::size_t(std::labs(bi->biHeight));
    if ((bi->biClrUsed == 0 || bi->biClrUsed == colours) && pixelsAt + pixelBytes <= size) {
      auto *palette = reinterpret_cast<RGBQUAD *>(p + paletteAt);
      std::reverse(palette, palette + colours);
      for (std::size_t i = 0; i < pixelBytes; ++i)
        p[pixelsAt + i] = std::uint8_t(bi->biBitCount == 1 ? ~p[pixelsAt + i] : 255 - p[pixelsAt + i]);
    }
  }
  if (behaviour.zeroPelsPerMeter) {
    bi->biXPelsPerMeter = 0;
    bi->biYPelsPerMeter = 0;
  }
  if (behaviour.zeroColourCount)
    bi->biClrUsed = 0;
  if (behaviour.zeroImageSize)
    bi->biSizeImage = 0;
  GlobalUnlock(dib);
}

HBITMAP DibSectionFromDib(TW_HANDLE dib) {
  const SIZE_T size = GlobalSize(dib);
  auto *p = static_cast<std::uint8_t *>(GlobalLock(dib));
  if (p == nullptr)
    return nullptr;
  HBITMAP bitmap = nullptr;
  const auto *source = reinterpret_cast<const BITMAPINFO *>(p);
  const BITMAPINFOHEADER &h = source->bmiHeader;
  if (size >= sizeof(BITMAPINFOHEADER) && h.biWidth > 0 && h.biHeight != 0) {
    const int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    BITMAPINFO target = {};
    target.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    target.bmiHeader.biWidth = h.biWidth;
    target.bmiHeader.biHeight = -height; // top-down
    target.bmiHeader.biPlanes = 1;
    target.bmiHeader.biBitCount = 24;
    target.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    bitmap = CreateDIBSection(nullptr, &target, DIB_RGB_COLORS, &bits, nullptr, 0);
    const std::size_t colours =
        h.biClrUsed != 0 ? h.biClrUsed : (h.biBitCount <= 8 ? std::size_t(1) << h.biBitCount : 0);
    const std::uint8_t *pixels = p + h.biSize + colours * sizeof(RGBQUAD);
    HDC dc = CreateCompatibleDC(nullptr);
    if (bitmap != nullptr &&
        (dc == nullptr ||
         SetDIBits(dc, bitmap, 0, UINT(height), pixels, source, DIB_RGB_COLORS) != height)) {
      DeleteObject(bitmap);
      bitmap = nullptr;
    }
    if (dc != nullptr)
      DeleteDC(dc);
  }
  GlobalUnlock(dib);
  return bitmap;
}

} // namespace twainsim

#include "tools/vscanner/vscanner_image.h"

#include <cmath>
#include <cstring>

#include "imaging/little_endian.h"

namespace vscanner {

namespace {

constexpr double kMmPerInch = 25.4;
constexpr std::size_t kInfoHeaderBytes = 40;

int Luminance(int r, int g, int b) { return (r * 299 + g * 587 + b * 114 + 500) / 1000; }

struct Rgb {
  std::uint8_t r, g, b;
};

// Which pixel rows (or columns) of the frame a glass feature covers, for one
// axis: start in mm on the glass and mm per pixel.
struct Axis {
  double startMm;
  double mmPerPixel;
  std::int64_t count;

  double Begin(std::int64_t i) const { return startMm + double(i) * mmPerPixel; }
  double End(std::int64_t i) const { return startMm + double(i + 1) * mmPerPixel; }
  // A 1-pixel grid line: the pixel whose span holds a multiple of 10 mm.
  bool OnGrid(std::int64_t i) const {
    const double k = std::ceil(Begin(i) / 10.0 - 1e-9);
    return k * 10.0 < End(i) - 1e-9;
  }
  bool Overlaps(std::int64_t i, double fromMm, double toMm) const {
    return Begin(i) < toMm && End(i) > fromMm;
  }
  std::int64_t Pixels(double mm) const {
    const std::int64_t n = std::llround(mm / mmPerPixel);
    return n < 1 ? 1 : n;
  }
};

class Chart {
public:
  Chart(const ImageRequest &r, std::int32_t width, std::int32_t height)
      : x_{r.left * kMmPerInch, kMmPerInch / r.xResolution, width},
        y_{r.top * kMmPerInch, kMmPerInch / r.yResolution, height}, width_(width),
        height_(height), colour_(r.pixelType == 2) {
    armX_ = x_.Pixels(kCornerArmMm);
    armY_ = y_.Pixels(kCornerArmMm);
    thickX_ = x_.Pixels(kCornerThickMm);
    thickY_ = y_.Pixels(kCornerThickMm);
    squareX_ = x_.Pixels(kCornerSquareMm);
    squareY_ = y_.Pixels(kCornerSquareMm);
    gridColumns_.resize(std::size_t(width));
    for (std::int32_t i = 0; i < width; ++i)
      gridColumns_[std::size_t(i)] = x_.OnGrid(i);
  }

  // Everything that depends on the row only, computed once per row.
  void StartRow(std::int32_t py) {
    py_ = py;
    rowGrid_ = y_.OnGrid(py);
    rowLine_ = y_.Overlaps(py, kChartLineTopMm, kChartLineTopMm + kChartLineMm);
    rowRamp_ = y_.Begin(py) >= kRampTopMm && y_.End(py) <= kRampBottomMm;
    rowPatch_ = colour_ && y_.Begin(py) >= 42.0 && y_.End(py) <= 48.0;
    topBand_ = py < thickY_;
    bottomBand_ = py >= height_ - thickY_;
    nearTop_ = py < armY_;
    nearBottom_ = py >= height_ - armY_;
  }

  Rgb At(std::int32_t px) const {
    const Rgb black{0, 0, 0};
    if (CornerMark(px) || rowLine_)
      return black;
    if (rowGrid_ || gridColumns_[std::size_t(px)])
      return {kGridGrey, kGridGrey, kGridGrey};
    if (rowRamp_) {
      const auto level = std::uint8_t(width_ > 1 ? (std::int64_t(px) * 255) / (width_ - 1) : 0);
      return {level, level, level};
    }
    if (rowPatch_) {
      const std::int64_t third = std::int64_t(px) * 3 / width_;
      return third == 0 ? Rgb{255, 0, 0} : third == 1 ? Rgb{0, 255, 0} : Rgb{0, 0, 255};
    }
    return {255, 255, 255};
  }

private:
  bool CornerMark(std::int32_t px) const {
    const bool leftBand = px < thickX_, rightBand = px >= width_ - thickX_;
    const bool nearLeft = px < armX_, nearRight = px >= width_ - armX_;
    if ((leftBand || rightBand) && (nearTop_ || nearBottom_))
      return true;
    if ((topBand_ || bottomBand_) && (nearLeft || nearRight))
      return true;
    return px < squareX_ && py_ < squareY_;
  }

  Axis x_, y_;
  std::int32_t width_, height_;
  bool colour_;
  std::int64_t armX_, armY_, thickX_, thickY_, squareX_, squareY_;
  std::vector<bool> gridColumns_;
  std::int32_t py_ = 0;
  bool rowGrid_ = false, rowLine_ = false, rowRamp_ = false, rowPatch_ = false;
  bool topBand_ = false, bottomBand_ = false, nearTop_ = false, nearBottom_ = false;
};

std::uint8_t Shift(std::uint8_t v, int offset) {
  const int shifted = int(v) + offset;
  return std::uint8_t(shifted < 0 ? 0 : shifted > 255 ? 255 : shifted);
}

void WritePixel(const ImageRequest &request, int offset, std::uint8_t *row, std::int32_t px, Rgb c) {
  if (offset != 0)
    c = Rgb{Shift(c.r, offset), Shift(c.g, offset), Shift(c.b, offset)};
  switch (request.pixelType) {
  case 0:
    if (Luminance(c.r, c.g, c.b) >= request.threshold)
      row[px / 8] |= std::uint8_t(0x80u >> (px % 8));
    else
      row[px / 8] &= std::uint8_t(~(0x80u >> (px % 8)));
    return;
  case 1: {
    const int grey = Luminance(c.r, c.g, c.b);
    row[px] = std::uint8_t(request.reversedGreyPalette ? 255 - grey : grey);
    return;
  }
  default:
    row[3 * px] = c.b;
    row[3 * px + 1] = c.g;
    row[3 * px + 2] = c.r;
    return;
  }
}

} // namespace

std::int64_t PixelsFor(double inches, double dpi) {
  const double v = std::floor(inches * dpi + 0.5);
  if (!(v >= 1))
    return 1;
  return v > 4e9 ? std::int64_t(4e9) : std::int64_t(v);
}

std::int32_t PelsPerMeter(double dpi) {
  const double v = std::floor(dpi * 100.0 / 2.54 + 0.5);
  return v > 2e9 ? std::int32_t(2000000000) : std::int32_t(v);
}

bool PlanDib(const ImageRequest &request, DibLayout &layout) {
  layout = DibLayout();
  if (!(request.xResolution > 0 && request.yResolution > 0) || request.xResolution > 100000 ||
      request.yResolution > 100000)
    return false;
  if (!(request.right > request.left && request.bottom > request.top))
    return false;
  if (!(std::fabs(request.left) < 1e4 && std::fabs(request.right) < 1e4 &&
        std::fabs(request.top) < 1e4 && std::fabs(request.bottom) < 1e4))
    return false;
  static const std::uint16_t kBits[] = {1, 8, 24};
  if (request.pixelType < 0 || request.pixelType > 2)
    return false;
  const std::int64_t width = PixelsFor(request.right - request.left, request.xResolution);
  const std::int64_t height = PixelsFor(request.bottom - request.top, request.yResolution);
  if (width > 1000000 || height > 1000000)
    return false;
  const std::uint16_t bits = kBits[request.pixelType];
  const std::uint64_t stride = ((std::uint64_t(width) * bits + 31) / 32) * 4;
  const std::uint32_t palette = bits <= 8 ? (1u << bits) : 0;
  const std::uint64_t header = kInfoHeaderBytes + 4ull * palette;
  const std::uint64_t total = header + stride * std::uint64_t(height);
  if (total > kMaxDibBytes)
    return false;
  layout.width = std::int32_t(width);
  layout.height = std::int32_t(height);
  layout.bitCount = bits;
  layout.paletteEntries = palette;
  layout.stride = std::uint32_t(stride);
  layout.headerBytes = std::size_t(header);
  layout.totalBytes = std::size_t(total);
  return true;
}

bool RenderDib(const ImageRequest &request, const DibLayout &layout, const RgbPicture *picture,
               std::uint8_t *out, std::size_t size) {
  DibLayout check;
  if (!out || !PlanDib(request, check) || check.totalBytes != layout.totalBytes ||
      size != layout.totalBytes)
    return false;
  if (picture && (picture->width <= 0 || picture->height <= 0 ||
                  picture->rgb.size() != std::size_t(picture->width) * std::size_t(picture->height) * 3))
    return false;
  std::memset(out, 0, size);
  WriteU32(out, kInfoHeaderBytes);
  WriteU32(out + 4, std::uint32_t(layout.width));
  WriteU32(out + 8, std::uint32_t(layout.height));
  WriteU16(out + 12, 1);
  WriteU16(out + 14, layout.bitCount);
  WriteU32(out + 16, 0);  // BI_RGB
  const std::uint64_t imageBytes = std::uint64_t(layout.stride) * std::uint64_t(layout.height);
  WriteU32(out + 20, request.zeroImageSize ? 0 : std::uint32_t(imageBytes));
  WriteU32(out + 24, request.zeroPelsPerMeter ? 0 : std::uint32_t(PelsPerMeter(request.xResolution)));
  WriteU32(out + 28, request.zeroPelsPerMeter ? 0 : std::uint32_t(PelsPerMeter(request.yResolution)));
  WriteU32(out + 32, request.zeroColourCount ? 0 : layout.paletteEntries);
  WriteU32(out + 36, 0);
  std::uint8_t *palette = out + kInfoHeaderBytes;
  for (std::uint32_t i = 0; i < layout.paletteEntries; ++i) {
    std::uint32_t level = layout.paletteEntries == 2 ? i * 255 : i;
    if (layout.bitCount == 8 && request.reversedGreyPalette)
      level = 255 - level;
    palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = std::uint8_t(level);
  }
  std::uint8_t *rows = out + layout.headerBytes;
  double brightness = request.brightness == request.brightness ? request.brightness : 0;
  brightness = brightness < -1000 ? -1000 : brightness > 1000 ? 1000 : brightness;
  const int offset = int(std::lround(brightness * 0.1275));
  Chart chart(request, layout.width, layout.height);
  for (std::int32_t py = 0; py < layout.height; ++py) {
    std::uint8_t *row = rows + std::size_t(layout.height - 1 - py) * layout.stride;
    if (picture) {
      const std::int64_t sy = std::int64_t(py) * picture->height / layout.height;
      const std::uint8_t *src = picture->rgb.data() + std::size_t(sy) * std::size_t(picture->width) * 3;
      for (std::int32_t px = 0; px < layout.width; ++px) {
        const std::int64_t sx = std::int64_t(px) * picture->width / layout.width;
        const std::uint8_t *p = src + 3 * sx;
        WritePixel(request, offset, row, px, Rgb{p[0], p[1], p[2]});
      }
    } else {
      chart.StartRow(py);
      for (std::int32_t px = 0; px < layout.width; ++px)
        WritePixel(request, offset, row, px, chart.At(px));
    }
  }
  return true;
}

bool DecodeBmp(const std::uint8_t *data, std::size_t size, RgbPicture &out) {
  out = RgbPicture();
  if (!data || size < 14 + kInfoHeaderBytes || data[0] != 'B' || data[1] != 'M')
    return false;
  const std::uint32_t offBits = ReadU32(data + 10);
  const std::uint8_t *info = data + 14;
  const std::uint32_t infoSize = ReadU32(info);
  if (infoSize < kInfoHeaderBytes || infoSize > size - 14)
    return false;
  const std::int32_t width = std::int32_t(ReadU32(info + 4));
  const std::int32_t rawHeight = std::int32_t(ReadU32(info + 8));
  const std::uint32_t bits = ReadU16(info + 14);
  const std::uint32_t compression = ReadU32(info + 16);
  std::uint32_t colours = ReadU32(info + 32);
  if (width <= 0 || width > 65536 || rawHeight == 0 || rawHeight < -65536 || rawHeight > 65536)
    return false;
  if (compression != 0 || (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32))
    return false;
  const bool topDown = rawHeight < 0;
  const std::int32_t height = topDown ? -rawHeight : rawHeight;
  if (bits <= 8) {
    if (colours == 0 || colours > (1u << bits))
      colours = 1u << bits;
  } else {
    colours = 0;
  }
  const std::uint64_t paletteAt = 14ull + infoSize;
  if (paletteAt + 4ull * colours > size)
    return false;
  const std::uint64_t stride = ((std::uint64_t(width) * bits + 31) / 32) * 4;
  if (offBits < paletteAt || offBits > size || stride * std::uint64_t(height) > size - offBits)
    return false;
  const std::uint8_t *palette = data + paletteAt;
  out.width = width;
  out.height = height;
  out.rgb.resize(std::size_t(width) * std::size_t(height) * 3);
  for (std::int32_t y = 0; y < height; ++y) {
    const std::int32_t stored = topDown ? y : height - 1 - y;
    const std::uint8_t *row = data + offBits + std::size_t(stored) * std::size_t(stride);
    std::uint8_t *dst = out.rgb.data() + std::size_t(y) * std::size_t(width) * 3;
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t r, g, b;
      if (bits <= 8) {
        const std::uint32_t bitPos = std::uint32_t(x) * bits;
        std::uint32_t index = (row[bitPos / 8] >> (8 - bits - bitPos % 8)) & ((1u << bits) - 1);
        if (index >= colours)
          index = 0;
        b = palette[4 * index];
        g = palette[4 * index + 1];
        r = palette[4 * index + 2];
      } else {
        const std::uint8_t *p = row + std::size_t(x) * (bits / 8);
        b = p[0];
        g = p[1];
        r = p[2];
      }
      dst[3 * x] = r;
      dst[3 * x + 1] = g;
      dst[3 * x + 2] = b;
    }
  }
  return true;
}

int DibGreyAt(const std::uint8_t *dib, std::size_t size, std::int32_t x, std::int32_t y) {
  if (!dib || size < kInfoHeaderBytes)
    return -1;
  const std::uint32_t headerSize = ReadU32(dib);
  const std::int32_t width = std::int32_t(ReadU32(dib + 4));
  const std::int32_t rawHeight = std::int32_t(ReadU32(dib + 8));
  const std::uint32_t bits = ReadU16(dib + 14);
  std::uint32_t colours = ReadU32(dib + 32);
  if (headerSize < kInfoHeaderBytes || headerSize > size || width <= 0 || rawHeight == 0 ||
      rawHeight == INT32_MIN || (bits != 1 && bits != 8 && bits != 24))
    return -1;
  const std::int32_t height = rawHeight < 0 ? -rawHeight : rawHeight;
  if (x < 0 || y < 0 || x >= width || y >= height)
    return -1;
  if (bits <= 8 && (colours == 0 || colours > (1u << bits)))
    colours = 1u << bits;
  if (bits > 8)
    colours = 0;
  const std::uint64_t stride = ((std::uint64_t(width) * bits + 31) / 32) * 4;
  const std::uint64_t rowsAt = std::uint64_t(headerSize) + 4ull * colours;
  if (rowsAt + stride * std::uint64_t(height) > size)
    return -1;
  const std::int32_t stored = rawHeight < 0 ? y : height - 1 - y;
  const std::uint8_t *row = dib + rowsAt + std::size_t(stored) * std::size_t(stride);
  if (bits == 24) {
    const std::uint8_t *p = row + 3 * std::size_t(x);
    return Luminance(p[2], p[1], p[0]);
  }
  const std::uint32_t bitPos = std::uint32_t(x) * bits;
  const std::uint32_t index = (row[bitPos / 8] >> (8 - bits - bitPos % 8)) & ((1u << bits) - 1);
  if (index >= colours)
    return -1;
  const std::uint8_t *entry = dib + headerSize + 4 * index;
  return Luminance(entry[2], entry[1], entry[0]);
}

} // namespace vscanner

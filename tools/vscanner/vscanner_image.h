// The virtual scanner's images: packed DIBs (BITMAPINFOHEADER, colour table,
// bottom-up rows aligned to 4 bytes) for exactly the requested frame,
// resolution and pixel type. Plain code over byte spans: no <windows.h>.
//
// The test chart is drawn in glass coordinates, so that where a frame lies
// on the glass shows in the image:
//   - a 1 cm grid of 1-pixel dark grey (64) lines, counted from the glass's
//     top-left corner;
//   - a black line kChartLineMm high, kChartLineTopMm below the glass top;
//   - a grey ramp (0 at the frame's left edge to 255 at its right) in the band
//     kRampTopMm..kRampBottomMm below the glass top; in colour, red, green
//     and blue patches under it;
//   - at each corner of the frame a solid black L, kCornerArmMm long and
//     kCornerThickMm thick, and at the top-left corner a filled
//     kCornerSquareMm square;
// on a white background.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vscanner {

constexpr double kChartLineTopMm = 50;
constexpr double kChartLineMm = 0.5;
constexpr double kRampTopMm = 20;
constexpr double kRampBottomMm = 40;
constexpr double kCornerArmMm = 10;
constexpr double kCornerThickMm = 1;
constexpr double kCornerSquareMm = 5;
constexpr std::uint8_t kGridGrey = 64;
// The biggest block the scanner hands out.
constexpr std::uint64_t kMaxDibBytes = 512ull << 20;

// What the application asked for. Pixel types: 0 BW (1 bit), 1 GRAY (8 bits,
// grey palette), 2 RGB (24 bits); others are refused.
struct ImageRequest {
  double left = 0, top = 0, right = 8.5, bottom = 11.69;  // inches on the glass
  double xResolution = 300, yResolution = 300;            // dots per inch
  int pixelType = 2;
  // -1000..1000: every level moves by brightness * 0.1275 (so +-127 at the
  // ends; 0 leaves the chart exact). Black and white: a grey level at or
  // above the threshold is white.
  double brightness = 0;
  double threshold = 128;
  // Header faults a broken driver shows.
  bool zeroPelsPerMeter = false;
  bool zeroColourCount = false;
  bool zeroImageSize = false;
  bool reversedGreyPalette = false;  // 8-bit: index 0 is white, pixels follow
};

struct DibLayout {
  std::int32_t width = 0, height = 0;
  std::uint16_t bitCount = 0;
  std::uint32_t paletteEntries = 0;
  std::uint32_t stride = 0;       // bytes per row
  std::size_t headerBytes = 0;    // header + palette
  std::size_t totalBytes = 0;     // header + palette + rows
};

// Pixels of a length in inches at a resolution: rounded, at least 1.
std::int64_t PixelsFor(double inches, double dpi);

// Pixels per metre from dots per inch, rounded.
std::int32_t PelsPerMeter(double dpi);

// Sizes of the DIB for a request; false when the frame is empty or
// reversed, a resolution is not positive, the pixel type is not 0-2 or the
// block would exceed kMaxDibBytes.
bool PlanDib(const ImageRequest &request, DibLayout &layout);

// A picture to stretch over the frame instead of the chart: 24-bit RGB,
// top-down rows, tightly packed.
struct RgbPicture {
  std::int32_t width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
};

// Reads a BMP file's bytes (BITMAPFILEHEADER + BITMAPINFOHEADER or later
// header; 1/4/8-bit with palette, 24 or 32-bit, uncompressed; bottom-up or
// top-down). False for anything else or a truncated file.
bool DecodeBmp(const std::uint8_t *data, std::size_t size, RgbPicture &out);

// Writes the DIB of a planned request into out (layout.totalBytes long):
// the chart, or the picture stretched over the frame (nearest neighbour)
// when picture is not null. False when size does not match the plan.
bool RenderDib(const ImageRequest &request, const DibLayout &layout, const RgbPicture *picture,
               std::uint8_t *out, std::size_t size);

// Test helper and chart reader: the grey level (0-255) of pixel (x, y),
// y counted from the top row, of a packed DIB as RenderDib writes it
// (1, 8 or 24 bits, palette respected). -1 outside or on a malformed block.
int DibGreyAt(const std::uint8_t *dib, std::size_t size, std::int32_t x, std::int32_t y);

} // namespace vscanner

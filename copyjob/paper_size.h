// The A-series paper presets, the source/destination scale table and the
// rounding that shows a scale as a whole percentage. Plain arithmetic.
#pragma once

#include <cstdint>

// A rectangle on paper or glass in 1/100 mm; left and top are 0 for frames.
struct ScanFrame {
  std::int32_t left;
  std::int32_t top;
  std::int32_t right;
  std::int32_t bottom;
};

// One byte: the low seven bits pick A0 (1) to A6 (7); the top bit turns the
// sheet to landscape.
using PaperSize = std::uint8_t;
constexpr PaperSize PaperSizeA0 = 1;
constexpr PaperSize PaperSizeA3 = 4;
constexpr PaperSize PaperSizeA4 = 5;
constexpr PaperSize PaperSizeA5 = 6;
constexpr PaperSize PaperSizeA6 = 7;
constexpr PaperSize PaperSizeLandscape = 0x80;

bool IsValidPaperSize(PaperSize code);

// The rectangle (0, 0, width, height) of a preset in 1/100 mm, width and
// height swapped for landscape. False, and *frame untouched, for an invalid code.
bool PaperSizeFrame(PaperSize code, ScanFrame *frame);

// Scale in 1/100 percent for the paper lists' indexes (0 A3 .. 3 A6);
// any index outside 0..3 gives 10000.
std::uint32_t ScaleFromPaperSizes(int sourceIndex, int destinationIndex);

// Signed division rounding half away from zero. A zero denominator gives 0;
// the one quotient beyond the range (INT64_MIN / -1) gives INT64_MAX.
std::int64_t RoundedDivide(std::int64_t numerator, std::int64_t denominator);

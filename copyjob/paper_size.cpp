#include "copyjob/paper_size.h"

namespace {

struct PaperDimensions {
  std::int32_t width;
  std::int32_t height;
};

// Each size is the next larger one halved, so A5 is 148.5 mm wide, not 148.
constexpr PaperDimensions kPresets[7] = {
    {84100, 118900}, // A0
    {59400, 84100},  // A1
    {42000, 59400},  // A2
    {29700, 42000},  // A3
    {21000, 29700},  // A4
    {14850, 21000},  // A5
    {10500, 14850},  // A6
};

// By the number of steps from source to destination: -3 .. +3 (A3 → A6 is +3).
// The one-step factor is 1.4138 on purpose; stored settings and users'
// expectations were made with it.
constexpr std::uint32_t kScaleBySteps[7] = {28276, 20000, 14138, 10000, 7073, 5000, 3537};

} // namespace

bool IsValidPaperSize(PaperSize code) {
  const unsigned paper = code & 0x7F;
  return paper >= 1 && paper <= 7;
}

bool PaperSizeFrame(PaperSize code, ScanFrame *frame) {
  if (!IsValidPaperSize(code) || frame == nullptr)
    return false;
  const PaperDimensions &size = kPresets[(code & 0x7F) - 1];
  const bool landscape = (code & PaperSizeLandscape) != 0;
  frame->left = 0;
  frame->top = 0;
  frame->right = landscape ? size.height : size.width;
  frame->bottom = landscape ? size.width : size.height;
  return true;
}

std::uint32_t ScaleFromPaperSizes(int sourceIndex, int destinationIndex) {
  if (sourceIndex < 0 || sourceIndex > 3 || destinationIndex < 0 || destinationIndex > 3)
    return 10000;
  return kScaleBySteps[destinationIndex - sourceIndex + 3];
}

std::int64_t RoundedDivide(std::int64_t numerator, std::int64_t denominator) {
  if (denominator == 0)
    return 0;
  // Magnitudes as unsigned so that INT64_MIN does not overflow.
  const std::uint64_t n = numerator < 0 ? 0 - std::uint64_t(numerator) : std::uint64_t(numerator);
  const std::uint64_t d =
      denominator < 0 ? 0 - std::uint64_t(denominator) : std::uint64_t(denominator);
  // n + d / 2 could wrap only for magnitudes beyond 2^63; split the sum instead.
  std::uint64_t q = n / d;
  const std::uint64_t r = n % d;
  if (r >= d - d / 2)
    ++q;
  const bool negative = (numerator < 0) != (denominator < 0);
  if (negative)
    return std::int64_t(0 - q); // q is at most 2^63, whose negation is INT64_MIN
  // Only INT64_MIN / -1 gets here with 2^63, one beyond the largest value.
  const std::uint64_t largest = std::uint64_t(INT64_MAX);
  return std::int64_t(q > largest ? largest : q);
}

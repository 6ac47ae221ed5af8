#include "copyjob/copy_plan.h"

#include <limits>

#include "twain/scanner_profile.h"

namespace {

std::uint32_t Saturate32(std::uint64_t value) {
  return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : std::uint32_t(value);
}

} // namespace

ScanFrame CopyScanFrame(std::uint32_t scale) {
  ScanFrame frame{0, 0, 21000, 29700};
  if (scale == 0)
    return frame;
  const std::uint32_t width = 210000000u / scale;
  const std::uint32_t height = 297000000u / scale;
  if (width <= 21000)
    frame.right = std::int32_t(width);
  if (height <= 29700)
    frame.bottom = std::int32_t(height);
  return frame;
}

ModeChoice ChooseMode(std::int32_t mode) {
  switch (mode) {
  case 1:
    return {2, 1};
  case 2:
    return {2, 2};
  default:
    return {1, 0};
  }
}

std::uint32_t TargetResolution(std::uint32_t printerDpi, std::uint32_t scale,
                               std::uint32_t divisor) {
  if (divisor == 0)
    divisor = 1;
  return Saturate32(std::uint64_t(printerDpi) * scale / 10000 / divisor);
}

std::uint32_t RoundResolution(float value) {
  const double v = double(value) + 0.5;
  if (!(v >= 1.0)) // negative, tiny, or not a number
    return 0;
  if (v >= 4294967295.0)
    return 0xFFFFFFFFu;
  return std::uint32_t(v);
}

std::uint32_t ChooseScanResolution(std::uint32_t target, const ScannerProfile &profile) {
  if (profile.bResolutionArray) {
    // The list ends after ResolutionCount entries or at the first 0.0. An
    // exact entry wins wherever it stands; of the larger ones only the first
    // counts, and when that rounds to 0 the last entry is taken instead.
    const std::uint64_t threshold = std::uint64_t(target) * 3 / 2;
    bool largerSeen = false;
    std::uint32_t larger = 0, last = 0;
    for (std::uint32_t i = 0; i < profile.ResolutionCount; ++i) {
      const float entry = profile.ResolutionAt(i);
      if (entry == 0.0f)
        break;
      const std::uint32_t r = RoundResolution(entry);
      if (r == target && target != 0)
        return r;
      if (!largerSeen && r >= threshold) {
        largerSeen = true;
        larger = r;
      }
      last = r;
    }
    return larger != 0 ? larger : last;
  }
  if (profile.bResolutionRange) {
    std::uint32_t result = target;
    const std::uint32_t maximum = RoundResolution(profile.ResolutionMax);
    const std::uint32_t minimum = RoundResolution(profile.ResolutionMin);
    if (result > maximum)
      result = maximum;
    if (result < minimum)
      result = minimum;
    return result;
  }
  return target;
}

std::int32_t SizeOnPaper(std::uint32_t pixels, std::uint32_t deviceDpi, std::uint32_t bitmapDpi,
                         std::uint32_t scale) {
  if (bitmapDpi == 0)
    return 0;
  const std::uint64_t onDevice = std::uint64_t(pixels) * deviceDpi / bitmapDpi;
  const std::uint64_t limit = std::uint64_t(std::numeric_limits<std::int32_t>::max());
  // A product beyond 64 bits lies far beyond the limit; it must not wrap.
  if (scale != 0 && onDevice > std::numeric_limits<std::uint64_t>::max() / scale)
    return std::int32_t(limit);
  const std::uint64_t scaled = onDevice * scale / 10000;
  return std::int32_t(scaled > limit ? limit : scaled);
}

std::uint32_t PrintResolution(std::uint32_t bitmapDpi, std::uint32_t chosenDpi,
                              std::uint32_t targetDpi, std::uint32_t deviceDpi) {
  if (bitmapDpi != 0)
    return bitmapDpi;
  if (chosenDpi != 0)
    return chosenDpi;
  if (targetDpi != 0)
    return targetDpi;
  return deviceDpi;
}

#include "twain/acquire.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imaging/dib_layout.h"
#include "twain/capability.h"

double BrightnessCurve(double brightness, double exponent) {
  return (2.0 * std::pow((brightness + 1000.0) * 0.0005, exponent) - 1.0) * 1000.0;
}

ResolvedFrame ResolveFrameArgument(std::uintptr_t frame) {
  ResolvedFrame r;
  if (frame == 0)
    return r;
  if (frame <= 0xFF) {
    r.kind = PaperSizeFrame(PaperSize(frame), &r.rect) ? FrameKind::Rectangle : FrameKind::Invalid;
    return r;
  }
  std::memcpy(&r.rect, reinterpret_cast<const void *>(frame), sizeof r.rect);
  r.kind = FrameKind::Rectangle;
  return r;
}

WorkingSettings WorkingSettingsFor(std::uint32_t scannerId, std::int32_t pixelType,
                                   std::int32_t brightness) {
  if (scannerId == kGreyscaleForBwScannerId && pixelType == 0 /* TWPT_BW */) {
    const double bent =
        BrightnessCurve(ClampBrightness(brightness), kGreyscaleForBwBrightnessExponent);
    return {1 /* TWPT_GRAY */, std::int32_t(RoundHalfAwayFromZero(bent)), true};
  }
  return {pixelType, brightness, false};
}

AcquireOutcome AcquisitionOutcome(const AcquireFacts &facts) {
  constexpr std::uint16_t kFailure = 1, kCancel = 3;
  if (facts.imageReturned)
    return AcquireOutcome::Delivered;
  if (!facts.sourceOpened || facts.enableRc == kFailure)
    return AcquireOutcome::Failed;
  if (facts.enableRc == kCancel)
    return AcquireOutcome::Cancelled;
  // Only a transfer the source cancelled is a cancel: any other answer
  // that brought no usable page (a failure, a success without an image, an
  // image that is no page, a code no transfer should answer) failed.
  if (facts.transferRc != kNoCall && facts.transferRc != kCancel)
    return AcquireOutcome::Failed;
  // A cancelled transfer, MSG_CLOSEDSREQ, or a wait ended by WM_QUIT.
  return AcquireOutcome::Cancelled;
}

std::int32_t PelsPerMeterFromDpi(float dpi) {
  const float hundredths = dpi * 100.0f;
  const std::int64_t v = RoundHalfAwayFromZero(double(hundredths) * 0.39370078740157477);
  // A TW_FIX32 resolution cannot go beyond 32768 dpi, far inside 32 bits.
  return std::int32_t(v);
}

bool RepairDibHeader(unsigned char *block, std::size_t size, float xDpi, float yDpi) {
  if (block == nullptr || size < kDibInfoHeaderSize)
    return false;
  // A core header keeps its colour table where the info fields would be.
  if (ReadU32(block + dib_field::kSize) == kDibCoreHeaderSize)
    return false;

  const std::int32_t xPels = ReadI32(block + dib_field::kXPelsPerMeter);
  const std::int32_t yPels = ReadI32(block + dib_field::kYPelsPerMeter);
  if ((xPels <= 0 || yPels <= 0) && xDpi > 0 && yDpi > 0) {
    WriteU32(block + dib_field::kXPelsPerMeter, std::uint32_t(PelsPerMeterFromDpi(xDpi)));
    WriteU32(block + dib_field::kYPelsPerMeter, std::uint32_t(PelsPerMeterFromDpi(yDpi)));
  }

  const std::uint16_t bitCount = ReadU16(block + dib_field::kBitCount);
  // Bit count 0 (a compressed format names its own depth) has no table.
  if (ReadU32(block + dib_field::kClrUsed) == 0 && bitCount >= 1 && bitCount <= 8)
    WriteU32(block + dib_field::kClrUsed, 1u << bitCount);

  if (ReadU32(block + dib_field::kCompression) == kDibCompressionRgb) {
    const std::int64_t width = ReadI32(block + dib_field::kWidth);
    const std::int64_t height = std::llabs(std::int64_t(ReadI32(block + dib_field::kHeight)));
    // Below 2^48 in magnitude; the rows times it can pass 64 bits, so the
    // product is only formed once a division shows that it fits.
    const std::int64_t stride = (bitCount * width + 31) / 32 * 4;
    // A size that no 32-bit field can hold (or a negative width) describes
    // no real image; leave what the source wrote.
    if (stride >= 0 && (stride == 0 || height <= 0xFFFFFFFFll / stride))
      WriteU32(block + dib_field::kSizeImage, std::uint32_t(height * stride));
  }
  return true;
}

// The arithmetic of one page acquisition as plain functions: the frame
// argument, the working settings for the scanner whose black-and-white pages
// are made from greyscale, and the repair of the delivered bitmap header.
// No handle, lock or window here; twain/acquire.cpp drives the session.
#pragma once

#include <cstddef>
#include <cstdint>

#include "copyjob/paper_size.h"

// The scanner whose black-and-white scans come out better scanned as
// greyscale and thresholded by the copier itself.
constexpr std::uint32_t kGreyscaleForBwScannerId = 0xA510B7A9u;
// How its brightness is bent before it goes to the source.
constexpr double kGreyscaleForBwBrightnessExponent = 1.55;

// (2 * ((brightness + 1000) * 0.0005) ^ exponent - 1) * 1000: -1000 and
// +1000 stay, 0 becomes -316.98 with exponent 1.55.
double BrightnessCurve(double brightness, double exponent);

// The frame argument of AcquirePage: 0 is no frame, 1 to 255 a paper-size
// code, anything else the address of a rectangle in 1/100 mm.
enum class FrameKind { None, Rectangle, Invalid };
struct ResolvedFrame {
  FrameKind kind = FrameKind::None;
  ScanFrame rect = {0, 0, 0, 0};
};
ResolvedFrame ResolveFrameArgument(std::uintptr_t frame);

// What is actually asked of the source.
struct WorkingSettings {
  std::int32_t pixelType;
  std::int32_t brightness;
  // The page is to be thresholded to 1 bit after the transfer.
  bool bwFromGrey;
};
WorkingSettings WorkingSettingsFor(std::uint32_t scannerId, std::int32_t pixelType,
                                   std::int32_t brightness);

// What became of a page request. A user who cancels, a transfer the source
// cancels and the source's own request to be closed are a cancel; a source
// that cannot be opened or enabled, a failed transfer, a transfer that
// reports success without an image or with something that is no page, or
// one answered with a code no transfer should give, are a failure, which
// the user is told about.
enum class AcquireOutcome { Delivered, Cancelled, Failed };

// What the acquisition saw, for AcquisitionOutcome. Return codes are the
// TWRC values; kNoCall when the call was not made.
constexpr std::uint16_t kNoCall = 0xFFFF;
struct AcquireFacts {
  bool sourceOpened = false;
  std::uint16_t enableRc = kNoCall;    // MSG_ENABLEDS
  std::uint16_t transferRc = kNoCall;  // the last DAT_IMAGENATIVEXFER MSG_GET
  bool imageReturned = false;          // a bitmap is handed to the caller
};
AcquireOutcome AcquisitionOutcome(const AcquireFacts &facts);

// Pixels per metre for a resolution in dots per inch (x 100, x 1/2.54,
// rounded half away from zero).
std::int32_t PelsPerMeterFromDpi(float dpi);

// Repairs the info header of a delivered bitmap in place: missing pixels
// per metre from the transfer's resolution (only when both are above 0), a
// colour count of 0 on a palette image, and biSizeImage of an uncompressed
// image. `size` is what may be touched (GlobalSize); a block shorter than a
// BITMAPINFOHEADER, or one that holds a BITMAPCOREHEADER (whose fields lie
// elsewhere), is left untouched and gives false.
bool RepairDibHeader(unsigned char *block, std::size_t size, float xDpi, float yDpi);

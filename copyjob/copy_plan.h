// The arithmetic of one copy job: what area of the glass to scan, at which
// resolution, and how large the page lands on paper. Plain values only.
#pragma once

#include <cstdint>

#include "copyjob/paper_size.h"

class ScannerProfile;

// One job's input, filled by the dialog or the command line.
struct CopyParameters {
  std::uint32_t OneDocumentPerCopy = 0; // 0 Copy: one document; 1 Fax: a document per copy
  std::uint32_t copies = 1;
  std::uint32_t scale = 10000; // 1/100 percent; never 0
  std::int32_t brightness = 0; // -1000 .. 1000
  std::int32_t mode = 0;       // TWPT_BW, TWPT_GRAY or TWPT_RGB
};

// An A4 page at 100 % and below; the part of the glass that fills an A4 page
// after enlargement above. Scale 0 (never valid) gives the A4 page.
ScanFrame CopyScanFrame(std::uint32_t scale);

// Grey and colour scan at half the black-and-white resolution; any unknown
// mode is black and white.
struct ModeChoice {
  std::uint32_t divisor;
  std::int32_t pixelType;
};
ModeChoice ChooseMode(std::int32_t mode);

// ((printerDpi × scale) / 10000) / divisor, each division truncating;
// saturates instead of wrapping.
std::uint32_t TargetResolution(std::uint32_t printerDpi, std::uint32_t scale,
                               std::uint32_t divisor);

// A float resolution plus 0.5, truncated; negative or not-a-number gives 0,
// huge values saturate.
std::uint32_t RoundResolution(float value);

// Matches the target against what the scanner offers: an exact list entry,
// else the first entry of at least 1.5 times the target, else the last entry;
// a range clamps (maximum first, then minimum); otherwise the target itself.
std::uint32_t ChooseScanResolution(std::uint32_t target, const ScannerProfile &profile);

// ((pixels × deviceDpi) / bitmapDpi) × scale / 10000 in device pixels, each
// division truncating; clamped to what GDI's int coordinates hold. A bitmap
// resolution of 0 gives 0.
std::int32_t SizeOnPaper(std::uint32_t pixels, std::uint32_t deviceDpi, std::uint32_t bitmapDpi,
                         std::uint32_t scale);

// The resolution to size a bitmap by: its own, or, when its header carries
// none, the resolution the scan was asked for, else the target, else the
// device's (one bitmap pixel per device pixel).
std::uint32_t PrintResolution(std::uint32_t bitmapDpi, std::uint32_t chosenDpi,
                              std::uint32_t targetDpi, std::uint32_t deviceDpi);

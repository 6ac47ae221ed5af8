// The copy's arithmetic over any values: paper frames and scales, the
// target and chosen scan resolutions (against a profile whose list may
// claim more entries than it has, hold NaN, infinities or negatives), the
// size on paper, and the working settings of the scanner whose black and
// white is thresholded by the copier. Checked against 128-bit arithmetic.
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "copyjob/copy_plan.h"
#include "copyjob/paper_size.h"
#include "fuzz_check.h"
#include "fuzz_reader.h"
#include "twain/acquire.h"
#include "twain/scanner_profile.h"

namespace {

using u128 = unsigned __int128;

void CheckPaper(FuzzReader &in) {
  const PaperSize code = in.Take<std::uint8_t>();
  ScanFrame frame{1, 2, 3, 4};
  const bool ok = PaperSizeFrame(code, &frame);
  FUZZ_CHECK(ok == IsValidPaperSize(code));
  if (ok)
    FUZZ_CHECK(frame.left == 0 && frame.top == 0 && frame.right > 0 && frame.bottom > 0 &&
               frame.right <= 118900 && frame.bottom <= 118900);
  else
    FUZZ_CHECK(frame.left == 1 && frame.top == 2 && frame.right == 3 && frame.bottom == 4);
  const std::uint32_t scale = ScaleFromPaperSizes(in.Take<std::int8_t>(), in.Take<std::int8_t>());
  FUZZ_CHECK(scale >= 3537 && scale <= 28276);

  const std::int64_t n = in.Take<std::int64_t>(), d = in.Take<std::int64_t>();
  const std::int64_t q = RoundedDivide(n, d);
  if (d == 0) {
    FUZZ_CHECK(q == 0);
  } else if (!(n == std::numeric_limits<std::int64_t>::min() && d == -1)) {
    // |q - n/d| <= 1/2, and exactly 1/2 rounds away from zero.
    const __int128 twice = 2 * (__int128(q) * d - n); // 2 (q d - n), same sign rules
    const __int128 ad = d < 0 ? -__int128(d) : __int128(d);
    const __int128 diff = twice < 0 ? -twice : twice;
    FUZZ_CHECK(diff <= ad);
    if (diff == ad) { // a tie: away from zero, |q d| beyond |n|
      const __int128 qd = __int128(q) * d;
      FUZZ_CHECK((qd < 0 ? -qd : qd) > (n < 0 ? -__int128(n) : __int128(n)));
    }
  }
}

void CheckResolutions(FuzzReader &in) {
  const std::uint32_t printerDpi = in.Take<std::uint32_t>();
  const std::uint32_t scale = in.Take<std::uint32_t>();
  const ModeChoice mode = ChooseMode(in.Take<std::int32_t>());
  FUZZ_CHECK(mode.divisor == 1 || mode.divisor == 2);
  const std::uint32_t target = TargetResolution(printerDpi, scale, mode.divisor);
  const u128 exact = u128(printerDpi) * scale / 10000 / mode.divisor;
  FUZZ_CHECK(target == (exact > 0xFFFFFFFFu ? 0xFFFFFFFFu : std::uint32_t(exact)));

  const ScanFrame frame = CopyScanFrame(scale);
  FUZZ_CHECK(frame.left == 0 && frame.top == 0);
  // Enlargements beyond 2,100,000 % leave less than 1/100 mm: 0.
  FUZZ_CHECK(frame.right >= 0 && frame.right <= 21000 && frame.bottom >= 0 &&
             frame.bottom <= 29700);
  FUZZ_CHECK(scale > 210000000u || frame.right > 0);

  ScannerProfile profile;
  const std::uint8_t kind = in.Take<std::uint8_t>();
  profile.bResolutionArray = kind & 1;
  profile.bResolutionRange = kind & 2;
  const std::size_t listed = in.Take<std::uint8_t>() % 12;
  std::vector<float> list;
  for (std::size_t i = 0; i < listed; ++i)
    list.push_back(in.Take<float>());
  profile.SetResolutionList(list);
  profile.ResolutionCount = in.Take<std::uint8_t>() % 16; // may claim more than there is
  profile.ResolutionMin = in.Take<float>();
  profile.ResolutionMax = in.Take<float>();
  const std::uint32_t chosen = ChooseScanResolution(target, profile);
  if (profile.bResolutionArray) {
    bool found = chosen == 0;
    for (std::size_t i = 0; i < profile.ResolutionCount && i < list.size(); ++i)
      found = found || RoundResolution(list[i]) == chosen;
    FUZZ_CHECK(found);
  } else if (profile.bResolutionRange) {
    const std::uint32_t lo = RoundResolution(profile.ResolutionMin);
    const std::uint32_t hi = RoundResolution(profile.ResolutionMax);
    if (lo <= hi)
      FUZZ_CHECK(chosen >= lo && chosen <= hi);
  } else {
    FUZZ_CHECK(chosen == target);
  }

  const float value = in.Take<float>();
  const std::uint32_t rounded = RoundResolution(value);
  if (!(value >= 0.5f))
    FUZZ_CHECK(rounded == 0);
  else if (value < 4e9f)
    FUZZ_CHECK(std::fabs(double(rounded) - double(value)) <= 0.5);

  const std::uint32_t pixels = in.Take<std::uint32_t>(), device = in.Take<std::uint32_t>();
  const std::uint32_t bitmap = in.Take<std::uint32_t>();
  const std::int32_t onPaper = SizeOnPaper(pixels, device, bitmap, scale);
  if (bitmap == 0) {
    FUZZ_CHECK(onPaper == 0);
  } else {
    const u128 want = u128(std::uint64_t(pixels) * device / bitmap) * scale / 10000;
    FUZZ_CHECK(std::uint64_t(onPaper) == (want > 0x7FFFFFFF ? 0x7FFFFFFFu : std::uint64_t(want)));
  }
  const std::uint32_t print = PrintResolution(bitmap, chosen, target, device);
  FUZZ_CHECK(print == (bitmap ? bitmap : chosen ? chosen : target ? target : device));
}

void CheckWorkingSettings(FuzzReader &in) {
  const std::uint32_t id = in.Take<std::uint8_t>() & 1 ? kGreyscaleForBwScannerId
                                                        : in.Take<std::uint32_t>();
  const std::int32_t pixelType = in.Take<std::int32_t>();
  const std::int32_t brightness = in.Take<std::int32_t>();
  const WorkingSettings w = WorkingSettingsFor(id, pixelType, brightness);
  if (id == kGreyscaleForBwScannerId && pixelType == 0) {
    FUZZ_CHECK(w.bwFromGrey && w.pixelType == 1);
    FUZZ_CHECK(w.brightness >= -1000 && w.brightness <= 1000);
  } else {
    FUZZ_CHECK(!w.bwFromGrey && w.pixelType == pixelType && w.brightness == brightness);
  }
  const std::int32_t pels = PelsPerMeterFromDpi(float(in.Take<std::uint16_t>()));
  FUZZ_CHECK(pels >= 0);
  const ResolvedFrame frame = ResolveFrameArgument(in.Take<std::uint8_t>());
  FUZZ_CHECK(frame.kind != FrameKind::Rectangle || frame.rect.right > 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzReader in(data, size);
  CheckPaper(in);
  CheckResolutions(in);
  CheckWorkingSettings(in);
  return 0;
}

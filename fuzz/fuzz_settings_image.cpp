// The stored printer settings read back from bytes of any length: the
// PRINTDLGEXW image, DEVMODEW sizes and name, DEVNAMES size and strings.
// What is stored can be damaged or written by another program.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "imaging/little_endian.h"
#include "printing/settings_image.h"

namespace {

void CheckPrintDialogImage(const unsigned char *p, std::size_t size) {
  PrintDialogImage image;
  image.nCopies = 77;
  const bool ok = ReadPrintDialogImage(p, size, &image);
  FUZZ_CHECK(ok == (size == kPrintDialogImageSize));
  if (!ok) {
    FUZZ_CHECK(image.nCopies == 77); // untouched
    return;
  }
  unsigned char again[kPrintDialogImageSize];
  WritePrintDialogImage(image, again);
  FUZZ_CHECK(std::memcmp(again, p, kPrintDialogImageSize) == 0);
}

void CheckDevMode(const unsigned char *p, std::size_t size) {
  const std::uint32_t total = GetDevModeSize(p, size);
  if (size < 72)
    FUZZ_CHECK(total == 0);
  else
    FUZZ_CHECK(total == std::uint32_t(ReadU16(p + 68)) + ReadU16(p + 70));
  const std::u16string name = ReadDevModeDeviceName(p, size);
  FUZZ_CHECK(name.size() <= 32 && name.size() <= size / 2);
  for (std::size_t i = 0; i < name.size(); ++i)
    FUZZ_CHECK(name[i] != 0 && name[i] == ReadU16(p + 2 * i));
  if (name.size() < 32 && name.size() < size / 2)
    FUZZ_CHECK(ReadU16(p + 2 * name.size()) == 0);
}

void CheckDevNames(const unsigned char *p, std::size_t size) {
  const std::size_t total = GetDevNamesSize(p, size);
  const std::size_t chars = size / 2;
  bool allEnded = size >= kMinDevNamesSize;
  std::size_t expected = kMinDevNamesSize;
  for (int i = 0; i < 3; ++i) {
    const auto which = static_cast<DevNamesString>(i);
    const std::u16string s = ReadDevNamesString(p, size, which);
    if (size < kMinDevNamesSize) {
      FUZZ_CHECK(s.empty());
      continue;
    }
    const std::size_t offset = ReadU16(p + 2 * i);
    if (offset >= chars) {
      FUZZ_CHECK(s.empty());
      allEnded = false;
      continue;
    }
    FUZZ_CHECK(offset + s.size() <= chars);
    for (std::size_t k = 0; k < s.size(); ++k)
      FUZZ_CHECK(s[k] != 0 && s[k] == ReadU16(p + 2 * (offset + k)));
    const bool ended = offset + s.size() < chars;
    if (ended)
      FUZZ_CHECK(ReadU16(p + 2 * (offset + s.size())) == 0);
    allEnded = allEnded && ended;
    const std::size_t end = 2 * (offset + s.size()) + 2;
    expected = end > expected ? end : expected;
  }
  FUZZ_CHECK(total == (allEnded ? expected : 0));
  FUZZ_CHECK(total <= size);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::unique_ptr<unsigned char[]> block(new unsigned char[size ? size : 1]);
  if (size)
    std::memcpy(block.get(), data, size);
  CheckPrintDialogImage(block.get(), size);
  CheckDevMode(block.get(), size);
  CheckDevNames(block.get(), size);
  return 0;
}

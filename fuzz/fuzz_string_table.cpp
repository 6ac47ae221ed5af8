// Entries of a string-table resource block over any bytes: the first byte
// picks the entry, the rest is the block.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "app/string_table.h"
#include "fuzz_check.h"
#include "imaging/little_endian.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 1)
    return 0;
  const unsigned index = data[0];
  const std::size_t length = size - 1;
  std::unique_ptr<unsigned char[]> block(new unsigned char[length ? length : 1]);
  if (length)
    std::memcpy(block.get(), data + 1, length);
  const std::wstring text = StringFromTableBlock(block.get(), length, index);
  // Walk the counted strings independently to find where the entry lies.
  std::size_t at = 0;
  const std::size_t units = length / 2;
  bool inside = true;
  for (unsigned i = 0; i < index % 16 && inside; ++i) {
    if (at >= units)
      inside = false;
    else
      at += 1 + ReadU16(block.get() + 2 * at);
  }
  inside = inside && at < units && ReadU16(block.get() + 2 * at) <= units - at - 1;
  if (!inside) {
    FUZZ_CHECK(text.empty());
    return 0;
  }
  FUZZ_CHECK(text.size() == ReadU16(block.get() + 2 * at));
  for (std::size_t i = 0; i < text.size(); ++i)
    FUZZ_CHECK(std::uint32_t(text[i]) == ReadU16(block.get() + 2 * (at + 1 + i)));
  FUZZ_CHECK(StringFromTableBlock(block.get(), length, index + 16) == text);
  return 0;
}

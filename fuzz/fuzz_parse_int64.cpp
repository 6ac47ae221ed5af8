// ParseInt64 over any text and limit: the first two bytes are the limit
// (0xFFFF: no limit), the rest the text as UTF-16 units.
#include <cstdint>
#include <string>

#include "dialogs/parse_int64.h"
#include "fuzz_check.h"
#include "fuzz_text.h"

namespace {

// The reading spelt out: sign, then digits and blanks, modulo 2^64.
std::int64_t Reference(const std::wstring &text, std::size_t limit) {
  const std::wstring seen = text.substr(0, limit);
  std::size_t i = 0;
  const bool negative = !seen.empty() && seen[0] == L'-';
  if (negative)
    i = 1;
  unsigned __int128 value = 0;
  for (; i < seen.size(); ++i) {
    if (seen[i] == L' ')
      continue;
    if (seen[i] < L'0' || seen[i] > L'9')
      break;
    value = (value * 10 + unsigned(seen[i] - L'0')) % ((unsigned __int128)1 << 64);
  }
  std::uint64_t bits = std::uint64_t(value);
  if (negative)
    bits = ~bits + 1;
  return bits <= std::uint64_t(INT64_MAX) ? std::int64_t(bits) : -std::int64_t(~bits) - 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 2)
    return 0;
  const unsigned rawLimit = data[0] | (data[1] << 8);
  const std::size_t limit = rawLimit == 0xFFFF ? kParseUnlimited : rawLimit;
  const std::wstring text = WideUnits(data + 2, size - 2);
  const std::int64_t value = ParseInt64(text, limit);
  FUZZ_CHECK(value == Reference(text, limit));
  // The limit only ever cuts the text.
  FUZZ_CHECK(value == ParseInt64(text.substr(0, limit)));
  return 0;
}

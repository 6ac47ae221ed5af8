#include "dialogs/parse_int64.h"

std::int64_t ParseInt64(std::wstring_view text, std::size_t limit) {
  std::size_t i = 0;
  const bool negative = !text.empty() && limit > 0 && text[0] == L'-';
  if (negative)
    i = 1;
  // Unsigned arithmetic wraps by definition; signed overflow would not.
  std::uint64_t value = 0;
  for (; i < text.size() && i < limit; ++i) {
    const wchar_t c = text[i];
    if (c == L' ')
      continue;
    if (c < L'0' || c > L'9')
      break;
    value = value * 10u + std::uint64_t(c - L'0');
  }
  if (negative)
    value = 0u - value;
  // Two's complement reading of the 64 bits, without an out-of-range
  // conversion.
  if (value <= std::uint64_t(INT64_MAX))
    return std::int64_t(value);
  return -std::int64_t(~value) - 1;
}

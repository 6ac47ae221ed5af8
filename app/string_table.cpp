#include "app/string_table.h"

#include "imaging/little_endian.h"

std::wstring StringFromTableBlock(const void *block, std::size_t bytes, unsigned index) {
  const auto *p = static_cast<const unsigned char *>(block);
  if (p == nullptr)
    return std::wstring();
  const std::size_t units = bytes / 2;
  auto unitAt = [p](std::size_t i) { return ReadU16(p + 2 * i); };
  std::size_t at = 0;
  for (unsigned i = 0; i < index % 16; ++i) {
    if (at >= units)
      return std::wstring();
    at += 1 + std::size_t(unitAt(at));
  }
  if (at >= units)
    return std::wstring();
  const std::size_t length = unitAt(at);
  if (length > units - at - 1) // a damaged table claims more than it holds
    return std::wstring();
  std::wstring text(length, L'\0');
  for (std::size_t i = 0; i < length; ++i)
    text[i] = wchar_t(unitAt(at + 1 + i));
  return text;
}

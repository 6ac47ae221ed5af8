// Fuzz input bytes as the UTF-16 code units a Windows control or list item
// holds, widened to wchar_t (which is 32 bits on the host).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline std::wstring WideUnits(const std::uint8_t *data, std::size_t size) {
  std::wstring text;
  text.reserve(size / 2);
  for (std::size_t i = 0; i + 1 < size; i += 2)
    text.push_back(wchar_t(data[i] | (data[i + 1] << 8)));
  return text;
}

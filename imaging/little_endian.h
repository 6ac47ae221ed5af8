// Little-endian field access on raw bytes, with no alignment assumed: the
// byte layouts read here (bitmaps, stored printer settings, string tables)
// come from other programs and from the registry.
#pragma once

#include <cstdint>

inline std::uint16_t ReadU16(const unsigned char *p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t ReadU32(const unsigned char *p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
         (std::uint32_t(p[3]) << 24);
}

inline std::int32_t ReadI32(const unsigned char *p) {
  const std::uint32_t u = ReadU32(p);
  return u <= 0x7FFFFFFFu ? std::int32_t(u) : -std::int32_t(~u) - 1;
}

inline void WriteU16(unsigned char *p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

inline void WriteU32(unsigned char *p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<unsigned char>(v >> (8 * i));
}

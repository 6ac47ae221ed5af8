// The processor's own brand string (CPUID leaves 0x80000002..4), for the
// benchmark's first line: figures mean little without the machine.
#pragma once

#include <cstring>
#include <string>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

inline std::string ProcessorName() {
#if defined(__i386__) || defined(__x86_64__)
  unsigned regs[12] = {};
  if (__get_cpuid_max(0x80000000u, nullptr) >= 0x80000004u) {
    for (unsigned i = 0; i < 3; ++i)
      __get_cpuid(0x80000002u + i, &regs[4 * i], &regs[4 * i + 1], &regs[4 * i + 2],
                  &regs[4 * i + 3]);
    char text[49] = {};
    std::memcpy(text, regs, 48);
    std::string name(text);
    const auto first = name.find_first_not_of(' ');
    if (first == std::string::npos)
      return "unknown";
    return name.substr(first, name.find_last_not_of(' ') - first + 1);
  }
#endif
  return "unknown";
}

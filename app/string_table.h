// Entries of a raw RT_STRING resource block as a plain function over its
// bytes: no <windows.h>, so it builds and is fuzzed natively as well.
#pragma once

#include <cstddef>
#include <string>

// Entry `index` of a raw RT_STRING block (16 counted UTF-16 strings), read
// only within `bytes` bytes. Empty when the block ends before the entry.
std::wstring StringFromTableBlock(const void *block, std::size_t bytes, unsigned index);

// Reading a signed 64-bit number from a control's text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

constexpr std::size_t kParseUnlimited = static_cast<std::size_t>(-1);

// An optional leading minus sign, then decimal digits with blanks (U+0020)
// anywhere among them; reading stops at the first other character or after
// `limit` characters (the sign included). Too many digits wrap around in
// 64 bits. An empty text, or one starting with anything else (a plus sign
// too), gives 0.
std::int64_t ParseInt64(std::wstring_view text, std::size_t limit = kParseUnlimited);

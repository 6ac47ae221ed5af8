#include <gtest/gtest.h>

#include <cstdint>

#include "dialogs/parse_int64.h"

namespace {

struct ParseCase {
  const wchar_t *text;
  std::size_t limit;
  std::int64_t expected;
};

TEST(ParseInt64, Table) {
  const ParseCase cases[] = {
      {L"", kParseUnlimited, 0},
      {L"0", kParseUnlimited, 0},
      {L"1 000", kParseUnlimited, 1000},
      {L"-12", kParseUnlimited, -12},
      {L"12abc", kParseUnlimited, 12},
      {L"+5", kParseUnlimited, 0},
      {L" 7", kParseUnlimited, 7},
      {L"- 3 4", kParseUnlimited, -34},
      {L"--5", kParseUnlimited, 0},
      {L"-", kParseUnlimited, 0},
      {L"12-3", kParseUnlimited, 12},
      {L"1.5", kParseUnlimited, 1},
      {L"\x0661\x0662", kParseUnlimited, 0}, // Arabic-Indic digits are not read
      {L"9223372036854775807", kParseUnlimited, INT64_MAX},
      {L"-9223372036854775808", kParseUnlimited, INT64_MIN},
      // One past the largest value wraps to the smallest.
      {L"9223372036854775808", kParseUnlimited, INT64_MIN},
      // 2^64 + 5 wraps to 5; 2^64 - 1 to -1.
      {L"18446744073709551621", kParseUnlimited, 5},
      {L"18446744073709551615", kParseUnlimited, -1},
      {L"-18446744073709551615", kParseUnlimited, 1},
      // The limit counts every character looked at, the sign included.
      {L"12345", 3, 123},
      {L"-12345", 3, -12},
      {L"1 2 3", 3, 12},
      {L"12345", 0, 0},
      {L"-5", 0, 0},
      {L"12345", 99, 12345},
  };
  for (const ParseCase &c : cases)
    EXPECT_EQ(c.expected, ParseInt64(c.text, c.limit)) << "text \"" << testing::PrintToString(std::wstring(c.text)) << "\" limit " << c.limit;
}

TEST(ParseInt64, StopsAtEmbeddedNulOfAString) {
  const std::wstring text(L"42\0" L"99", 5);
  EXPECT_EQ(42, ParseInt64(text));
}

} // namespace

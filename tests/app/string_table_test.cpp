#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/string_table.h"

namespace {

std::vector<std::uint8_t> Block(const std::vector<std::u16string> &entries) {
  std::vector<std::uint8_t> bytes;
  auto put = [&](std::uint16_t unit) {
    bytes.push_back(std::uint8_t(unit));
    bytes.push_back(std::uint8_t(unit >> 8));
  };
  for (const auto &e : entries) {
    put(std::uint16_t(e.size()));
    for (char16_t c : e)
      put(c);
  }
  return bytes;
}

} // namespace

TEST(StringTableBlock, EntriesByIndexWithinTheBlock) {
  const auto block = Block({u"", u"Copy", u"Line one\nline two", u"", u"x"});
  struct Case {
    unsigned index;
    const wchar_t *text;
  } cases[] = {{0, L""}, {1, L"Copy"}, {2, L"Line one\nline two"}, {3, L""}, {4, L"x"},
               {5, L""}, {15, L""}, {17, L"Copy"} /* only index mod 16 counts */};
  for (const Case &c : cases)
    EXPECT_EQ(c.text, StringFromTableBlock(block.data(), block.size(), c.index)) << c.index;
}

TEST(StringTableBlock, DamagedBlocksNeverReadPastTheirEnd) {
  auto block = Block({u"", u"Copy"});
  // The length claims more units than the block holds.
  block[2] = 200;
  EXPECT_EQ(L"", StringFromTableBlock(block.data(), block.size(), 1));
  // Cut in the middle of an entry.
  const auto whole = Block({u"", u"Copy"});
  EXPECT_EQ(L"", StringFromTableBlock(whole.data(), whole.size() - 2, 1));
  EXPECT_EQ(L"", StringFromTableBlock(whole.data(), 3, 1)); // half a unit of length
  EXPECT_EQ(L"", StringFromTableBlock(nullptr, 100, 1));
  EXPECT_EQ(L"", StringFromTableBlock(whole.data(), 0, 0));
}

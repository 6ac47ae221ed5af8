#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/localized_texts.h"
#include "support/test_paths.h"

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

TEST(LocalizedTexts, ReadFromTheProgramInTheThreadsLanguage) {
  HMODULE program = LoadLibraryExW(TestBinPath(L"zvcopier.exe").c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(nullptr, program);
  HINSTANCE saved = ModuleInstance;
  ModuleInstance = program;
  const LANGID savedLanguage = GetThreadUILanguage();
  const LCID savedLocale = GetThreadLocale();
  // The resource loader follows the thread locale.
  struct Case {
    LANGID language;
    const wchar_t *copy, *mode;
  } cases[] = {
      {0x0409, L"Copy", L"Black/White"},
      {0x0407, L"Kopie", L"Schwarzwei\u00df"},
      {0x0c0a, L"Copia", L"Blanco y negro"},
  };
  for (const Case &c : cases) {
    SetThreadUILanguage(c.language);
    SetThreadLocale(MAKELCID(c.language, SORT_DEFAULT));
    LoadLocalizedTexts();
    EXPECT_EQ(c.copy, TextDocumentName) << c.language;
    EXPECT_EQ(c.mode, TextModeBlackWhite) << c.language;
  }
  SetThreadUILanguage(0x0409);
  SetThreadLocale(MAKELCID(0x0409, SORT_DEFAULT));
  LoadLocalizedTexts();
  EXPECT_EQ(L"Error printing the document.", TextErrorDocument);
  EXPECT_EQ(L"Error printing the copy.", TextErrorCopy);
  EXPECT_EQ(L"Greyscale", TextModeGreyscale);
  EXPECT_EQ(L"Color", TextModeColor);
  EXPECT_EQ(0u, TextNoScanner.find(L"No scanner could be found on your system.\nIf you"));
  EXPECT_EQ(L"The scanner delivered no page.", TextErrorScan);
  EXPECT_EQ(L"The scanner delivered no page.", LoadLocalizedString(4));
  EXPECT_EQ(L"", LoadLocalizedString(40)); // no such block
  SetThreadUILanguage(savedLanguage);
  SetThreadLocale(savedLocale);
  ModuleInstance = saved;
  FreeLibrary(program);
}

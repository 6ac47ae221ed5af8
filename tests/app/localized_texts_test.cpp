#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/localized_texts.h"
#include "support/test_paths.h"

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

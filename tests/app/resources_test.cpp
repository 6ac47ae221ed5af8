#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "support/test_paths.h"

namespace {

// Reads entry `id` of one language's string table straight from the raw
// resource: 16 counted UTF-16 strings per block.
bool ReadRawString(HMODULE module, WORD language, UINT id, std::wstring *text) {
  HRSRC info = FindResourceExW(module, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(id / 16 + 1),
                               language);
  if (info == nullptr)
    return false;
  const DWORD size = SizeofResource(module, info);
  const WCHAR *p = static_cast<const WCHAR *>(LockResource(LoadResource(module, info)));
  const WCHAR *end = p + size / sizeof(WCHAR);
  for (UINT i = 0; i < id % 16; ++i) {
    if (p >= end)
      return false;
    p += 1 + *p;
  }
  if (p >= end || p + 1 + *p > end)
    return false;
  text->assign(p + 1, *p);
  return true;
}

struct LanguageTexts {
  WORD language;
  const wchar_t *texts[8]; // entries 1 to 8
};

const LanguageTexts kTables[] = {
    {1031,
     {L"Kopie", L"Fehler beim Drucken des Dokuments.",
      L"Auf Ihrem System konnte kein Scanner gefunden werden.\nWenn Sie einen haben, pr\u00fcfen "
      L"Sie bitte noch einmal die Treiberinstallation.",
      L"Der Scanner hat keine Seite geliefert.",
      L"Fehler beim Drucken der Kopie.", L"Schwarzwei\u00df", L"Graustufen", L"Farbe"}},
    {1032,
     {L"\u0391\u03bd\u03c4\u03b9\u03b3\u03c1\u03b1\u03c6\u03b7",
      L"\u0392\u03c1\u03b5\u03b8\u03b7\u03ba\u03b5 \u03b5\u03bd\u03b1 \u03bb\u03b1\u03b8\u03bf"
      L"\u03c2 \u03c3\u03c4\u03b7\u03bd \u0395\u03ba\u03c4\u03c5\u03c0\u03c9\u03c3\u03b7 \u03c4"
      L"\u03bf\u03c5 \u039d\u03c4\u03bf\u03ba\u03bf\u03c5\u03bc\u03b5\u03bd\u03c4\u03bf\u03c5.",
      L"\u03a3\u03c4\u03bf \u03a3\u03c5\u03c3\u03c4\u03b7\u03bc\u03b1 \u03c3\u03b1\u03c2 \u03b4"
      L"\u03b5\u03bd \u03b2\u03c1\u03b5\u03b8\u03b7\u03ba\u03b5 \u03ba\u03b1\u03bd\u03b5\u03bd"
      L"\u03b1\u03c2 \u03a3\u03ba\u03b1\u03bd\u03bd\u03b5\u03c1.",
      L"\u039f \u03a3\u03ba\u03b1\u03bd\u03bd\u03b5\u03c1 \u03b4\u03b5\u03bd \u03c0\u03b1"
      L"\u03c1\u03b5\u03b4\u03c9\u03c3\u03b5 \u03ba\u03b1\u03bc\u03b9\u03b1 \u03c3\u03b5"
      L"\u03bb\u03b9\u03b4\u03b1.",
      L"\u0392\u03c1\u03b5\u03b8\u03b7\u03ba\u03b5 \u03b5\u03bd\u03b1 \u03bb\u03b1\u03b8\u03bf"
      L"\u03c2 \u03c3\u03c4\u03b7\u03bd \u0395\u03ba\u03c4\u03c5\u03c0\u03c9\u03c3\u03b7 \u03c4"
      L"\u03b7\u03c2 \u0391\u03bd\u03c4\u03b9\u03b3\u03c1\u03b1\u03c6\u03b7\u03c2.",
      L"\u0391\u03c3\u03c0\u03c1\u03bf\u03bc\u03b1\u03c5\u03c1\u03bf", L"\u0393\u03ba\u03c1\u03b7",
      L"\u0395\u03b3\u03c7\u03c1\u03c9\u03bc\u03bf"}},
    {1033,
     {L"Copy", L"Error printing the document.",
      L"No scanner could be found on your system.\nIf you have one, please check if the driver "
      L"is correctly installed.",
      L"The scanner delivered no page.",
      L"Error printing the copy.", L"Black/White", L"Greyscale", L"Color"}},
    {2052,
     {L"\u590d\u5370", L"\u6253\u5370\u9519\u8bef",
      L"\u5728\u60a8\u7684\u7cfb\u7edf\u4e0a\u6ca1\u6709\u627e\u5230\u626b\u63cf\u4eea,\u5982"
      L"\u679c\u60a8\u6709\u626b\u63cf\u4eea,\u8bf7\u68c0\u67e5\u662f\u5426\u5b89\u88c5\u9a71"
      L"\u52a8\u7a0b\u5e8f",
      L"\u626b\u63cf\u4eea\u6ca1\u6709\u9001\u51fa\u4efb\u4f55\u9875\u9762\u3002",
      L"\u6253\u5370\u9519\u8bef", L"\u9ed1\u767d", L"\u7070\u5ea6", L"\u5f69\u8272"}},
    {3082,
     {L"Copia", L"No se puede imprimir el documento.",
      L"No se puede encontrar el esc\u00e1ner.\nPor favor aseg\u00farese de que el esc\u00e1ner "
      L"se encuentra conectado al equipo.",
      L"El esc\u00e1ner no ha entregado ninguna p\u00e1gina.",
      L"No se puede imprimir el documento.", L"Blanco y negro", L"Nivel de gris", L"Color"}},
};

class ProgramResources : public testing::Test {
protected:
  void SetUp() override {
    module_ = LoadLibraryExW(TestBinPath(L"zvcopier.exe").c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, module_) << GetLastError();
  }
  void TearDown() override {
    if (module_)
      FreeLibrary(module_);
  }
  HMODULE module_ = nullptr;
};

} // namespace

// Exactly these texts: entry 3 breaks its lines with bare line feeds, as a
// message box wants them.
TEST_F(ProgramResources, StringTablesInFiveLanguages) {
  const UINT ids[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (const LanguageTexts &table : kTables) {
    for (int i = 0; i < 8; ++i) {
      std::wstring text;
      ASSERT_TRUE(ReadRawString(module_, table.language, ids[i], &text))
          << table.language << " #" << ids[i];
      EXPECT_EQ(table.texts[i], text) << table.language << " #" << ids[i];
    }
    std::wstring beyond;
    EXPECT_TRUE(ReadRawString(module_, table.language, 9, &beyond));
    EXPECT_EQ(L"", beyond);
  }
}

TEST_F(ProgramResources, IconInThreeSizes) {
  HRSRC group = FindResourceW(module_, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14)); // RT_GROUP_ICON
  ASSERT_NE(nullptr, group);
  const BYTE *dir = static_cast<const BYTE *>(LockResource(LoadResource(module_, group)));
  ASSERT_NE(nullptr, dir);
  const WORD count = *reinterpret_cast<const WORD *>(dir + 4);
  ASSERT_EQ(3, count);
  std::vector<int> sizes;
  for (int i = 0; i < count; ++i)
    sizes.push_back(dir[6 + 14 * i]);
  EXPECT_EQ((std::vector<int>{16, 32, 48}), sizes);
}

// Bitmap 1111: the two 16 x 16 sort marks side by side on magenta, which the
// list-view header's image list makes transparent.
TEST_F(ProgramResources, SortMarksBitmap) {
  HRSRC info = FindResourceW(module_, MAKEINTRESOURCEW(1111), MAKEINTRESOURCEW(2)); // RT_BITMAP
  ASSERT_NE(nullptr, info);
  const auto *header =
      static_cast<const BITMAPINFOHEADER *>(LockResource(LoadResource(module_, info)));
  ASSERT_NE(nullptr, header);
  ASSERT_EQ(32, header->biWidth);
  ASSERT_EQ(16, header->biHeight); // bottom-up
  ASSERT_EQ(24, header->biBitCount);
  const BYTE *pixels = reinterpret_cast<const BYTE *>(header) + header->biSize;
  const int stride = (32 * 3 + 3) / 4 * 4;
  auto pixel = [&](int x, int y) {
    const BYTE *p = pixels + (15 - y) * stride + 3 * x;
    return RGB(p[2], p[1], p[0]);
  };
  EXPECT_EQ(RGB(255, 0, 255), pixel(0, 0));
  EXPECT_EQ(RGB(255, 0, 255), pixel(31, 15));
  // Ascending points up: the tip is on top in image 0, at the bottom in image 1.
  EXPECT_NE(RGB(255, 0, 255), pixel(7, 6));
  EXPECT_EQ(RGB(255, 0, 255), pixel(3, 6));
  EXPECT_NE(RGB(255, 0, 255), pixel(16 + 3, 6));
  EXPECT_NE(RGB(255, 0, 255), pixel(16 + 7, 10));
  EXPECT_EQ(RGB(255, 0, 255), pixel(16 + 3, 10));
}

// Dialog template 1 read back from the program's resources in each of the
// five languages and compared, control by control, with the copier's
// layout: ids, classes, styles, rectangles, tab order and labels.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "support/test_paths.h"

namespace {

struct Control {
  std::int32_t id;
  std::wstring className;
  DWORD style;
  short x, y, cx, cy;
  std::wstring text;
};

struct Dialog {
  DWORD style = 0;
  short cx = 0, cy = 0;
  std::wstring caption, font;
  WORD pointSize = 0;
  std::vector<Control> controls;
};

// A reader of DLGTEMPLATEEX, enough for what windres writes.
class TemplateReader {
public:
  TemplateReader(const BYTE *data, std::size_t size) : p(data), begin(data), end(data + size) {}
  bool Read(Dialog *dialog) {
    if (Word() != 1 || Word() != 0xFFFF)
      return false;
    Dword(); // help id
    Dword(); // extended style
    dialog->style = Dword();
    const WORD count = Word();
    Word();
    Word();
    dialog->cx = short(Word());
    dialog->cy = short(Word());
    NameOrOrdinal(); // menu
    NameOrOrdinal(); // class
    dialog->caption = String();
    if (dialog->style & (DS_SETFONT | DS_FIXEDSYS)) {
      dialog->pointSize = Word();
      Word();   // weight
      Word();   // italic, charset
      dialog->font = String();
    }
    for (WORD i = 0; i < count && ok; ++i) {
      Align();
      Control c;
      Dword();
      Dword();
      c.style = Dword();
      c.x = short(Word());
      c.y = short(Word());
      c.cx = short(Word());
      c.cy = short(Word());
      c.id = std::int32_t(Dword());
      c.className = NameOrOrdinal();
      c.text = NameOrOrdinal();
      const WORD extra = Word();
      p += extra;
      dialog->controls.push_back(c);
    }
    return ok && p <= end;
  }

private:
  WORD Word() {
    if (p + 2 > end) {
      ok = false;
      return 0;
    }
    WORD w;
    std::memcpy(&w, p, 2);
    p += 2;
    return w;
  }
  DWORD Dword() {
    const WORD low = Word();
    return DWORD(low) | DWORD(Word()) << 16;
  }
  void Align() { p = begin + ((p - begin + 3) & ~std::ptrdiff_t(3)); }
  std::wstring String() {
    std::wstring s;
    for (WORD c = Word(); ok && c != 0; c = Word())
      s += wchar_t(c);
    return s;
  }
  std::wstring NameOrOrdinal() {
    const BYTE *start = p;
    if (Word() == 0xFFFF) {
      static const std::map<WORD, std::wstring> atoms = {
          {0x80, L"Button"}, {0x81, L"Edit"}, {0x82, L"Static"}, {0x85, L"ComboBox"}};
      const WORD atom = Word();
      const auto known = atoms.find(atom);
      return known != atoms.end() ? known->second : L"#" + std::to_wstring(atom);
    }
    p = start;
    return String();
  }
  const BYTE *p, *begin, *end;
  bool ok = true;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kUpDown = UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS;
constexpr DWORD kPaperList = CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP;

// The English template, in tab order.
const Control kEnglish[] = {
    {-1, L"Button", BS_GROUPBOX, 4, 4, 222, 30, L"&Scanner"},
    {101, L"Static", SS_LEFT | WS_GROUP, 9, 17, 154, 8, L""},
    {102, L"Button", WS_TABSTOP, 170, 14, 50, 14, L"B&rowse"},
    {-1, L"Button", BS_GROUPBOX, 4, 42, 222, 30, L"&Printer"},
    {103, L"Static", SS_LEFT | WS_GROUP, 9, 55, 154, 8, L""},
    {104, L"Button", WS_TABSTOP, 170, 52, 50, 14, L"Bro&wse"},
    {-1, L"Button", BS_GROUPBOX, 4, 80, 222, 30, L"Fa&x"},
    {109, L"Static", SS_LEFT | WS_GROUP, 9, 93, 154, 8, L""},
    {110, L"Button", WS_TABSTOP, 170, 90, 50, 14, L"Brows&e"},
    {-1, L"Button", BS_GROUPBOX, 4, 118, 83, 30, L"&Number of copies"},
    {105, L"Edit", WS_BORDER | WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, 9, 129, 72, 12, L""},
    {106, L"msctls_updown32", kUpDown, 76, 129, 9, 12, L""},
    {-1, L"Button", BS_GROUPBOX, 4, 152, 83, 41, L"&Brightness"},
    {1014, L"msctls_trackbar32", TBS_AUTOTICKS | WS_TABSTOP, 5, 164, 80, 18, L""},
    {-1, L"Static", SS_BLACKRECT, 9, 184, 7, 5, L""},
    {-1, L"Static", SS_WHITERECT, 74, 184, 7, 5, L""},
    {-1, L"Button", BS_GROUPBOX, 4, 197, 83, 30, L"M&ode"},
    {1018, L"ComboBox", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 9, 208, 72, 48, L""},
    {-1, L"Button", BS_GROUPBOX, 99, 118, 127, 109, L"&Scale"},
    // The option group is a tab stop, as Windows' radio groups are: where the
    // labels carry no mnemonic (Greek, Chinese, Spanish) Tab is the only way
    // to the scale options, and the arrow keys then move between them.
    {1010, L"Button", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 105, 138, 39, 8, L"Per&cent"},
    {1011, L"Button", BS_AUTORADIOBUTTON, 105, 160, 107, 10, L"Si&ze of source / destination:"},
    {107, L"Edit", WS_BORDER | WS_TABSTOP | WS_GROUP | ES_NUMBER | ES_AUTOHSCROLL, 150, 136, 55,
     12, L""},
    {108, L"msctls_updown32", kUpDown, 199, 136, 9, 12, L""},
    {-1, L"Static", SS_LEFT | WS_GROUP, 211, 138, 8, 8, L"%"},
    {-1, L"Static", SS_LEFT | WS_GROUP, 122, 179, 23, 8, L"Source"},
    {1012, L"ComboBox", kPaperList, 150, 177, 55, 100, L""},
    {-1, L"Static", SS_LEFT | WS_GROUP, 122, 199, 23, 8, L"Dest."},
    {1013, L"ComboBox", kPaperList, 150, 197, 55, 100, L""},
    {1, L"Button", BS_DEFPUSHBUTTON | WS_TABSTOP, 4, 236, 50, 14, L"&Copy"},
    {3, L"Button", WS_TABSTOP, 58, 236, 50, 14, L"&Fax"},
    {2, L"Button", WS_TABSTOP, 121, 236, 50, 14, L"&Quit"},
    {9, L"Button", WS_TABSTOP, 176, 236, 50, 14, L"&Help"},
};

// Positions in kEnglish of the controls that carry a label, in order.
const int kLabelled[] = {0, 2, 3, 5, 6, 8, 9, 12, 16, 18, 19, 20, 23, 24, 26, 28, 29, 30, 31};

struct RectChange {
  int position; // in kEnglish
  short x, y, cx, cy;
};

struct Language {
  WORD id;
  const wchar_t *labels[19];
  std::vector<RectChange> changes;
};

const Language kLanguages[] = {
    {1033,
     {L"&Scanner", L"B&rowse", L"&Printer", L"Bro&wse", L"Fa&x", L"Brows&e", L"&Number of copies",
      L"&Brightness", L"M&ode", L"&Scale", L"Per&cent", L"Si&ze of source / destination:", L"%",
      L"Source", L"Dest.", L"&Copy", L"&Fax", L"&Quit", L"&Help"},
     {}},
    {1031,
     {L"&Scanner", L"A&usw\u00e4hlen", L"&Drucker", L"Aus&w\u00e4hlen", L"Fa&x",
      L"Ausw\u00e4&hlen", L"&Anzahl Kopien", L"&Helligkeit", L"M&odus", L"&Ma\u00dfstab",
      L"&Prozent:", L"Quell- / &Zielgr\u00f6\u00dfe:", L"%", L"Quelle", L"Ziel", L"&Kopieren",
      L"&Faxen", L"&Beenden", L"&Hilfe"},
     {{19, 105, 138, 37, 8}, {20, 105, 160, 72, 10}, {26, 122, 199, 17, 8}}},
    {1032,
     {L"\u03a3\u03ba\u03b1\u03bd\u03bd\u03b5\u03c1", L"\u0394\u03b9\u03b1\u03bb\u03b5\u03be\u03c4\u03b5",
      L"\u0395\u03ba\u03c4\u03c5\u03c0\u03c9\u03c4\u03b7\u03c2",
      L"\u0394\u03b9\u03b1\u03bb\u03b5\u03be\u03c4\u03b5", L"\u03a6\u03b1\u03be",
      L"\u0394\u03b9\u03b1\u03bb\u03b5\u03be\u03c4\u03b5",
      L"\u0391\u03bd\u03c4\u03b9\u03b3\u03c1\u03b1\u03c6\u03b5\u03c2",
      L"\u03a6\u03c9\u03c4\u03c5\u03bd\u03bf\u03c4\u03b7\u03c4\u03b1", L"\u03a4\u03c5\u03c0\u03bf\u03c2",
      L"\u0396\u03bf\u03c5\u03bc", L"\u0392\u03b1\u03b8\u03bc\u03bf\u03c2",
      L"\u039c\u03b5\u03b3\u03b5\u03b8\u03bf\u03c2", L"%", L"\u03a0\u03bf\u03b9\u03b3\u03b7",
      L"\u03a3\u03c4\u03bf\u03c7\u03bf\u03c2",
      L"\u0394\u03b7\u03bc\u03b9\u03bf\u03c5\u03c1\u03b3\u03b9\u03b1 "
      L"\u0391\u03bd\u03c4\u03b9\u03b3\u03c1\u03b1\u03c6\u03b7\u03c2",
      L"\u0394\u03b7\u03bc\u03b9\u03bf\u03c5\u03c1\u03b3\u03b9\u03b1 \u03a6\u03b1\u03be",
      L"\u03a4\u03b5\u03bb\u03bf\u03c2", L"\u0392\u03bf\u03b7\u03b8\u03b5\u03b9\u03b1"},
     {{20, 105, 160, 72, 10},
      {26, 122, 199, 25, 8},
      {28, 4, 236, 83, 14},
      {29, 92, 236, 57, 14},
      {30, 158, 236, 32, 14},
      {31, 194, 236, 32, 14}}},
    {2052,
     {L"\u626b\u63cf\u4eea", L"\u6d4f\u89c8", L"\u6253\u5370\u673a", L"\u6d4f\u89c8",
      L"\u4f20\u771f\u673a", L"\u6d4f\u89c8", L"\u590d\u5370\u5f20\u6570", L"\u4eae\u5ea6",
      L"\u6837\u5f0f", L"\u5c3a\u5ea6", L"\u6bd4\u4f8b", L"\u539f\u59cb/\u590d\u5370\u5c3a\u5bf8",
      L"%", L"\u539f\u59cb", L"\u590d\u5370", L"\u590d\u5370", L"\u4f20\u771f", L"\u9000\u51fa",
      L"\u5e2e\u52a9"},
     {{19, 105, 138, 37, 8}, {20, 105, 160, 72, 10}, {26, 122, 199, 17, 8}}},
    {3082,
     {L"Esc\u00e1ner", L"Examinar...", L"Impresora", L"Examinar...", L"Fa&x", L"Examinar...",
      L"N\u00famero de copias", L"Luminosidad", L"Modo", L"Zoom", L"Porcentaje",
      L"Tama\u00f1o real / de impresi\u00f3n", L"%", L"Origen", L"Impresi\u00f3n", L"&Copiar",
      L"&Fax", L"Salir", L"Ayuda"},
     {{21, 157, 136, 53, 12},
      {23, 214, 138, 8, 8},
      {25, 157, 177, 53, 100},
      {27, 157, 197, 53, 100},
      {19, 105, 138, 46, 8},
      {24, 122, 179, 22, 8},
      {26, 122, 199, 32, 8}}},
};

bool ReadTemplate(HMODULE module, WORD language, Dialog *dialog) {
  HRSRC info = FindResourceExW(module, MAKEINTRESOURCEW(5), MAKEINTRESOURCEW(1), language);
  if (info == nullptr)
    return false;
  const BYTE *data = static_cast<const BYTE *>(LockResource(LoadResource(module, info)));
  return data != nullptr && TemplateReader(data, SizeofResource(module, info)).Read(dialog);
}

class DialogTemplate : public testing::Test {
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

TEST_F(DialogTemplate, EveryLanguageHasTheCopiersLayout) {
  for (const Language &language : kLanguages) {
    SCOPED_TRACE(language.id);
    Dialog dialog;
    ASSERT_TRUE(ReadTemplate(module_, language.id, &dialog));
    EXPECT_EQ(DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT |
                    DS_FIXEDSYS | DS_CENTER),
              dialog.style);
    EXPECT_EQ(231, dialog.cx);
    EXPECT_EQ(258, dialog.cy);
    EXPECT_EQ(L"Zelvantor Copier", dialog.caption);
    EXPECT_EQ(L"MS Shell Dlg", dialog.font);
    EXPECT_EQ(8, dialog.pointSize);

    std::vector<Control> expected(std::begin(kEnglish), std::end(kEnglish));
    for (int i = 0; i < 19; ++i)
      expected[kLabelled[i]].text = language.labels[i];
    for (const RectChange &change : language.changes) {
      Control &c = expected[change.position];
      c.x = change.x;
      c.y = change.y;
      c.cx = change.cx;
      c.cy = change.cy;
    }
    ASSERT_EQ(expected.size(), dialog.controls.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      SCOPED_TRACE(i);
      const Control &want = expected[i];
      const Control &got = dialog.controls[i];
      EXPECT_EQ(want.id, got.id);
      // Window class names are case-insensitive; windres keeps them as written
      // in capitals, a resource compiler may also store the predefined atoms.
      EXPECT_EQ(0, lstrcmpiW(want.className.c_str(), got.className.c_str()))
          << "class " << testing::PrintToString(got.className);
      EXPECT_EQ(want.style | kChild, got.style);
      EXPECT_EQ((std::vector<short>{want.x, want.y, want.cx, want.cy}),
                (std::vector<short>{got.x, got.y, got.cx, got.cy}));
      EXPECT_EQ(want.text, got.text);
    }
  }
}

TEST_F(DialogTemplate, ManifestAsksForVisualStylesNoElevationAndDpiAwareness) {
  HRSRC info = FindResourceW(module_, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(nullptr, info);
  const char *data = static_cast<const char *>(LockResource(LoadResource(module_, info)));
  const std::string manifest(data, SizeofResource(module_, info));
  for (const char *needed :
       {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", "level=\"asInvoker\"",
        ">PerMonitorV2, PerMonitor</dpiAwareness>", ">true</dpiAware>"})
    EXPECT_NE(std::string::npos, manifest.find(needed)) << needed;
}

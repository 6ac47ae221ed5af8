#include "tools/vscanner/vscanner_dialogs.h"

#include <cstdint>
#include <cstring>

namespace vscanner {

const wchar_t kSelectSourceCaption[] = L"Select Source";

namespace {

constexpr WORD kButtonClass = 0x0080;
constexpr WORD kStaticClass = 0x0082;
constexpr WORD kListBoxClass = 0x0083;

// A dialog template in memory: DLGTEMPLATE, then DLGITEMTEMPLATEs, each
// DWORD-aligned, with texts as UTF-16 strings.
class TemplateBuilder {
public:
  TemplateBuilder(DWORD style, const wchar_t *caption, short cx, short cy) {
    PutDword(style | DS_SETFONT);
    PutDword(0);
    countAt_ = words_.size();
    PutWord(0);  // item count, filled in by Add
    PutWord(0);
    PutWord(0);
    PutWord(WORD(cx));
    PutWord(WORD(cy));
    PutWord(0);  // no menu
    PutWord(0);  // standard class
    PutText(caption);
    PutWord(8);
    PutText(L"MS Shell Dlg");
  }

  void Add(DWORD style, short x, short y, short cx, short cy, WORD id, WORD cls, const wchar_t *text) {
    while (words_.size() % 2)
      PutWord(0);
    PutDword(style | WS_CHILD | WS_VISIBLE);
    PutDword(0);
    PutWord(WORD(x));
    PutWord(WORD(y));
    PutWord(WORD(cx));
    PutWord(WORD(cy));
    PutWord(id);
    PutWord(0xFFFF);
    PutWord(cls);
    PutText(text);
    PutWord(0);
    ++words_[countAt_];
  }

  const DLGTEMPLATE *Get() const { return reinterpret_cast<const DLGTEMPLATE *>(words_.data()); }

private:
  void PutWord(WORD w) { words_.push_back(w); }
  void PutDword(DWORD d) {
    PutWord(WORD(d & 0xFFFF));
    PutWord(WORD(d >> 16));
  }
  void PutText(const wchar_t *text) {
    for (; *text; ++text)
      PutWord(WORD(*text));
    PutWord(0);
  }

  // std::vector<WORD> storage starts DWORD-aligned (operator new).
  std::vector<WORD> words_;
  std::size_t countAt_ = 0;
};

struct SelectState {
  const std::vector<std::wstring> *names;
  int initial;
};

INT_PTR CALLBACK SelectProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_INITDIALOG: {
    const auto *state = reinterpret_cast<const SelectState *>(lParam);
    HWND list = GetDlgItem(dialog, kIdSourceList);
    for (const auto &name : *state->names)
      SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    SendMessageW(list, LB_SETCURSEL, WPARAM(state->initial), 0);
    return TRUE;
  }
  case WM_COMMAND: {
    const int id = LOWORD(wParam);
    if (id == IDOK || (id == kIdSourceList && HIWORD(wParam) == LBN_DBLCLK)) {
      const LRESULT sel = SendDlgItemMessageW(dialog, kIdSourceList, LB_GETCURSEL, 0, 0);
      if (sel != LB_ERR)
        EndDialog(dialog, INT_PTR(sel) + 1);
      return TRUE;
    }
    if (id == IDCANCEL) {
      EndDialog(dialog, 0);
      return TRUE;
    }
    return FALSE;
  }
  default:
    return FALSE;
  }
}

struct ScanState {
  std::function<void(bool)> onChoice;
  bool *attached = nullptr;  // tells the creator that the window owns it now
  bool chosen = false;
};

INT_PTR CALLBACK ScanProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto *state = reinterpret_cast<ScanState *>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
  case WM_INITDIALOG:
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    *reinterpret_cast<ScanState *>(lParam)->attached = true;
    return TRUE;
  case WM_COMMAND: {
    const int id = LOWORD(wParam);
    if ((id != kIdScan && id != kIdScanCancel) || !state)
      return FALSE;
    if (!state->chosen) {
      // One answer per enable: the buttons stay dead until the application
      // disables the source and the dialog goes.
      state->chosen = true;
      EnableWindow(GetDlgItem(dialog, kIdScan), FALSE);
      EnableWindow(GetDlgItem(dialog, kIdScanCancel), FALSE);
      if (state->onChoice)
        state->onChoice(id == kIdScan);
    }
    return TRUE;
  }
  case WM_CLOSE:
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kIdScanCancel, BN_CLICKED), 0);
    return TRUE;
  case WM_NCDESTROY:
    SetWindowLongPtrW(dialog, DWLP_USER, 0);
    delete state;
    return FALSE;
  default:
    return FALSE;
  }
}

} // namespace

int RunSourceSelectDialog(HINSTANCE instance, HWND owner, const std::vector<std::wstring> &names,
                          int initial) {
  if (names.empty())
    return -1;
  if (initial < 0 || std::size_t(initial) >= names.size())
    initial = 0;
  TemplateBuilder t(DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU,
                    kSelectSourceCaption, 200, 120);
  t.Add(WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 7, 7, 186, 84,
        kIdSourceList, kListBoxClass, L"");
  t.Add(WS_TABSTOP | BS_DEFPUSHBUTTON, 88, 99, 50, 14, IDOK, kButtonClass, L"OK");
  t.Add(WS_TABSTOP | BS_PUSHBUTTON, 143, 99, 50, 14, IDCANCEL, kButtonClass, L"Cancel");
  SelectState state{&names, initial};
  if (owner && !IsWindow(owner))
    owner = nullptr;
  const INT_PTR result = DialogBoxIndirectParamW(instance, t.Get(), owner, SelectProc,
                                                 reinterpret_cast<LPARAM>(&state));
  return result >= 1 && std::size_t(result) <= names.size() ? int(result - 1) : -1;
}

HWND CreateScanDialog(HINSTANCE instance, HWND parent, const std::wstring &caption,
                      std::function<void(bool scan)> onChoice) {
  TemplateBuilder t(DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE,
                    caption.c_str(), 180, 60);
  t.Add(SS_LEFT, 7, 7, 166, 20, 0xFFFF, kStaticClass, L"Place the page on the glass and press Scan.");
  t.Add(WS_TABSTOP | BS_DEFPUSHBUTTON, 68, 39, 50, 14, kIdScan, kButtonClass, L"Scan");
  t.Add(WS_TABSTOP | BS_PUSHBUTTON, 123, 39, 50, 14, kIdScanCancel, kButtonClass, L"Cancel");
  bool attached = false;
  auto *state = new ScanState{std::move(onChoice), &attached};
  if (parent && !IsWindow(parent))
    parent = nullptr;
  HWND dialog = CreateDialogIndirectParamW(instance, t.Get(), parent, ScanProc,
                                           reinterpret_cast<LPARAM>(state));
  if (!attached)
    delete state;  // the window never took it (WM_NCDESTROY frees it otherwise)
  return dialog;
}

void DestroyScanDialog(HWND dialog) {
  if (dialog && IsWindow(dialog))
    DestroyWindow(dialog);
}

} // namespace vscanner

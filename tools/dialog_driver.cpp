// Finds a dialog of another process by its caption, prints the text of its
// message (the static with id 0xFFFF of a message box) as UTF-8 on standard
// output, and presses one of its buttons. For end-to-end tests that must not
// wait for a person.
//
//   dialog_driver.exe CAPTION TIMEOUT_MS [BUTTON_ID]
//
// Exit code 0 when the dialog was found and dismissed, 1 when none appeared.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "dialogs/window_utils.h"

namespace {

void WriteUtf8(const std::wstring &text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0,
                                        nullptr, nullptr);
  std::string out(std::size_t(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), &out[0], bytes, nullptr,
                      nullptr);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
}

} // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: dialog_driver CAPTION TIMEOUT_MS [BUTTON_ID]\n");
    return 2;
  }
  const wchar_t *caption = argv[1];
  const DWORD timeout = DWORD(std::wcstoul(argv[2], nullptr, 10));
  const WPARAM button = argc > 3 ? WPARAM(std::wcstoul(argv[3], nullptr, 10)) : IDOK;
  const DWORD start = GetTickCount();
  for (;;) {
    HWND dialog = FindWindowW(L"#32770", caption);
    if (dialog != nullptr) {
      // Give the box a moment to finish its set-up before reading it.
      Sleep(100);
      WriteUtf8(GetItemTextString(dialog, 0xFFFF));
      PostMessageW(dialog, WM_COMMAND, button, 0);
      return 0;
    }
    if (GetTickCount() - start > timeout)
      return 1;
    Sleep(50);
  }
}

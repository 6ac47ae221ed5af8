#include "dialogs/window_utils.h"

std::wstring GetWindowTextString(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0)
    return std::wstring();
  std::wstring text(std::size_t(length) + 1, L'\0');
  // The length may be an overestimate (for example across code pages): keep
  // what was really copied.
  const int copied = GetWindowTextW(window, &text[0], length + 1);
  text.resize(copied > 0 ? std::size_t(copied) : 0);
  return text;
}

std::wstring GetItemTextString(HWND dialog, int controlId) {
  return GetWindowTextString(GetDlgItem(dialog, controlId));
}

std::wstring GetWindowClassName(HWND window) {
  wchar_t name[256] = {};
  const int length = GetClassNameW(window, name, 256);
  return std::wstring(name, length > 0 ? std::size_t(length) : 0);
}

bool HasWindowClass(HWND window, const wchar_t *className) {
  return window != nullptr && GetWindowClassName(window) == className;
}

HICON LoadSmallIcon(HINSTANCE module, const wchar_t *name) {
  return static_cast<HICON>(LoadImageW(module, name, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                       GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
}

void CenterWindow(HWND window) {
  HWND reference = GetParent(window);
  if (reference == nullptr)
    reference = GetDesktopWindow();
  RECT own = {}, ref = {};
  GetWindowRect(window, &own);
  GetWindowRect(reference, &ref);
  const int x = ref.left + ((ref.right - ref.left) - (own.right - own.left)) / 2;
  const int y = ref.top + ((ref.bottom - ref.top) - (own.bottom - own.top)) / 2;
  SetWindowPos(window, HWND_TOP, x, y, 0, 0, SWP_NOSIZE);
}

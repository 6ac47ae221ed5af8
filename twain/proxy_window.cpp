// The proxy window: parent of the manager's and the source's windows and the
// "Scanning..." indicator shown while the owner is disabled.
#include "dialogs/window_utils.h"
#include "twain/scanner_session.h"

namespace {

constexpr wchar_t kProxyClass[] = L"ZVTWAIN_Proxy_Window";
// Posted to itself when a modal dialog disables the proxy: by the time it
// arrives the dialog exists and holds the focus.
constexpr UINT kHideAndCenter = WM_USER + 3;

bool g_classRegistered = false;

void DrainMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

} // namespace

void RegisterProxyWindowClass() {
  if (g_classRegistered)
    return;
  g_classRegistered = true;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = 0;
  wc.lpfnWndProc = ProxyWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_WAIT);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = kProxyClass;
  RegisterClassExW(&wc);
}

const wchar_t *ProxyWindowCaption(LCID locale) {
  switch (locale & 0x3ff) {
  case LANG_CHINESE:
    return L"\u6b63\u5728\u626b\u63cf...";
  case LANG_GERMAN:
    return L"Scannen...";
  default:
    return L"Scanning...";
  }
}

LRESULT CALLBACK ProxyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ENABLE) {
    if (wParam != 0)
      ShowWindow(window, SW_SHOWNA);
    else
      PostMessageW(window, kHideAndCenter, 0, 0);
  } else if (message == kHideAndCenter) {
    ShowWindow(window, SW_HIDE);
    HWND dialog = GetParent(GetFocus());
    if (HasWindowClass(dialog, L"#32770"))
      CenterWindow(dialog);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void ScannerSession::CreateProxyWindow() {
  if (proxyWindow != nullptr)
    return;
  RegisterProxyWindowClass();
  proxyWindow = CreateWindowExW(0, kProxyClass, ProxyWindowCaption(GetThreadLocale()),
                                WS_POPUP | WS_CAPTION, 0, 0, 200, 100, ownerWindow, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  if (proxyWindow != nullptr)
    CenterWindow(proxyWindow);
}

void ScannerSession::DestroyProxyWindow() {
  if (proxyWindow == nullptr)
    return;
  if (HWND owner = GetParent(proxyWindow))
    SetFocus(owner);
  DestroyWindow(proxyWindow);
  proxyWindow = nullptr;
}

void ScannerSession::ShowBusyWindow() {
  HWND owner = proxyWindow != nullptr ? GetParent(proxyWindow) : nullptr;
  if (owner != nullptr && IsWindowVisible(owner)) {
    ownerWasEnabled = EnableWindow(owner, FALSE) == 0;
    ShowWindow(proxyWindow, SW_SHOW);
  }
  // Lets the owner repaint as disabled and the proxy appear; the source
  // gets no message here.
  DrainMessages();
}

void ScannerSession::HideBusyWindow() {
  HWND owner = proxyWindow != nullptr ? GetParent(proxyWindow) : nullptr;
  if (owner != nullptr) {
    EnableWindow(owner, ownerWasEnabled);
    ShowWindow(proxyWindow, SW_HIDE);
  }
}

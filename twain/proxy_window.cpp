// The proxy window: parent of the manager's and the source's windows and the
// "Scanning..." indicator shown while the owner is disabled.
#include "common/exception_boundary.h"
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

namespace {

LRESULT HandleProxyMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    // The proxy is the active window while a page is awaited, so its close
    // box, Alt+F4 or the close command reach it. It must live on: the
    // source posts to it and the owner is restored through it. Closing it
    // while waiting for a page asks to cancel the scan; the wait sees that
    // once this returns (the WM_NULL wakes it when the close was sent from
    // elsewhere).
    auto *session = reinterpret_cast<ScannerSession *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (session != nullptr && session->RequestClose())
      PostMessageW(window, WM_NULL, 0, 0);
    return 0;
  }
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

// The close box comes with the system menu; of its commands only Close
// means anything for a window that stands in for a busy dialog.
void KeepOnlyCloseInSystemMenu(HWND window) {
  HMENU menu = GetSystemMenu(window, FALSE);
  if (menu == nullptr)
    return;
  for (int i = GetMenuItemCount(menu) - 1; i >= 0; --i)
    if (GetMenuItemID(menu, i) != SC_CLOSE)
      DeleteMenu(menu, UINT(i), MF_BYPOSITION);
}

} // namespace

LRESULT CALLBACK ProxyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Called by the system, also from inside the manager's and the source's
  // own message loops: nothing may unwind into them.
  return CatchAtBoundary<LRESULT>(
      0, [&] { return HandleProxyMessage(window, message, wParam, lParam); });
}

void ScannerSession::CreateProxyWindow() {
  if (proxyWindow)
    return;
  RegisterProxyWindowClass();
  proxyWindow.reset(CreateWindowExW(0, kProxyClass, ProxyWindowCaption(GetThreadLocale()),
                                    WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 200, 100,
                                    ownerWindow, nullptr, GetModuleHandleW(nullptr), nullptr));
  if (!proxyWindow)
    return;
  KeepOnlyCloseInSystemMenu(proxyWindow.get());
  SetWindowLongPtrW(proxyWindow.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  CenterWindow(proxyWindow.get());
}

void ScannerSession::DestroyProxyWindow() {
  if (!proxyWindow)
    return;
  if (HWND owner = GetParent(proxyWindow.get()))
    SetFocus(owner);
  SetWindowLongPtrW(proxyWindow.get(), GWLP_USERDATA, 0);
  proxyWindow.reset();
}

void ScannerSession::ShowBusyWindow() {
  HWND owner = proxyWindow ? GetParent(proxyWindow.get()) : nullptr;
  // Only the outermost show disables the owner and remembers how it was:
  // an inner one would find it disabled by the outer and keep it so.
  const bool outermost = reentry_.EnterNested();
  if (outermost && owner != nullptr && IsWindowVisible(owner)) {
    ownerWasEnabled = EnableWindow(owner, FALSE) == 0;
    ShowWindow(proxyWindow.get(), SW_SHOW);
  }
  // Lets the owner repaint as disabled and the proxy appear; the source
  // gets no message here.
  DrainMessages();
}

void ScannerSession::HideBusyWindow() {
  if (!reentry_.LeaveNested())
    return; // an outer busy period still runs
  HWND owner = proxyWindow ? GetParent(proxyWindow.get()) : nullptr;
  if (owner != nullptr) {
    EnableWindow(owner, ownerWasEnabled);
    ShowWindow(proxyWindow.get(), SW_HIDE);
  }
}

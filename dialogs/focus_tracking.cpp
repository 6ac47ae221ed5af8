#include "dialogs/focus_tracking.h"

#include <cwchar>

namespace {

// Class names are compared exactly, as read into a buffer of 24 characters.
bool IsEditControl(HWND control) {
  wchar_t name[24] = {};
  return GetClassNameW(control, name, 24) > 0 && std::wcscmp(name, L"Edit") == 0;
}

FocusSelection *StoredSelection(HWND window) {
  return static_cast<FocusSelection *>(GetPropW(window, kFocusSelectionProperty));
}

void RememberFocus(HWND window) {
  HWND focus = GetFocus();
  if (focus == nullptr || GetParent(focus) != window)
    return;
  SetPropW(window, kFocusChildProperty, focus);
  if (!IsEditControl(focus))
    return;
  DWORD start = 0, end = 0;
  SendMessageW(focus, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
               reinterpret_cast<LPARAM>(&end));
  auto *record = new FocusSelection{start, end};
  FocusSelection *old = StoredSelection(window);
  if (SetPropW(window, kFocusSelectionProperty, record)) {
    delete old;
  } else {
    // The old record stays with the property; the new one has no owner.
    delete record;
  }
}

void AnswerInitialFocus(HWND window) {
  HWND child = static_cast<HWND>(GetPropW(window, kFocusChildProperty));
  if (child != nullptr && IsEditControl(child)) {
    if (const FocusSelection *selection = StoredSelection(window))
      SendMessageW(child, EM_SETSEL, selection->start, selection->end);
  }
  // The message result is pointer-sized: a window handle does not fit in 32
  // bits on the 64-bit build.
  SetWindowLongPtrW(window, DWLP_MSGRESULT, reinterpret_cast<LONG_PTR>(child));
}

} // namespace

void ForgetFocus(HWND window) {
  if (FocusSelection *selection = StoredSelection(window)) {
    RemovePropW(window, kFocusSelectionProperty);
    delete selection;
  }
  RemovePropW(window, kFocusChildProperty);
}

std::int32_t TrackFocus(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_ACTIVATE:
    if (LOWORD(wParam) == WA_INACTIVE)
      RememberFocus(window);
    return 0;
  case WM_NOTIFY: {
    const auto *header = reinterpret_cast<const NMHDR *>(lParam);
    if (header == nullptr)
      return 0;
    if (header->code == kQueryInitialFocus) {
      AnswerInitialFocus(window);
      return 1;
    }
    if (header->code == kPageLeaving)
      ForgetFocus(window);
    return 0;
  }
  case WM_NCDESTROY:
    ForgetFocus(window);
    return 0;
  default:
    return 0;
  }
}

#include "dialogs/dialog_base.h"

#include <commctrl.h>

#include "common/exception_boundary.h"
#include "dialogs/focus_tracking.h"
#include "dialogs/list_view_hooks.h"
#include "dialogs/parse_int64.h"
#include "dialogs/window_utils.h"

namespace {

// A control's rectangle in client coordinates of its dialog.
bool ClientRectOfControl(HWND dialog, HWND control, RECT &rect) {
  if (control == nullptr || !GetWindowRect(control, &rect))
    return false;
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&rect), 2);
  return true;
}

void RecordGeometry(WindowBase &dialog, HWND window) {
  if (dialog.layout != nullptr) {
    for (LayoutEntry *entry = dialog.layout; entry->key != 0; ++entry) {
      RECT rect = {};
      if (entry->controlId == 0 ||
          !ClientRectOfControl(window, GetDlgItem(window, entry->controlId), rect))
        rect = RECT{};
      entry->rect = rect;
    }
  }
  GetClientRect(window, &dialog.initialClientRect);
  RECT outer = {};
  GetWindowRect(window, &outer);
  dialog.initialWidth = outer.right - outer.left;
  dialog.initialHeight = outer.bottom - outer.top;
  dialog.statusBar = FindWindowExW(window, nullptr, STATUSCLASSNAMEW, nullptr);
}

void FollowSize(WindowBase &dialog, HWND window) {
  if (dialog.statusBar != nullptr)
    SendMessageW(dialog.statusBar, WM_SIZE, 0, 0);
  if (dialog.layout == nullptr)
    return;
  RECT client = {};
  GetClientRect(window, &client);
  const RECT &initial = dialog.initialClientRect;
  ApplyLayout(window, dialog.layout, 0, 0, 0, 0,
              (client.right - client.left) - (initial.right - initial.left),
              (client.bottom - client.top) - (initial.bottom - initial.top));
}

void ServeListView(WindowBase &dialog, LPARAM lParam) {
  auto *header = reinterpret_cast<NMHDR *>(lParam);
  if (header == nullptr)
    return;
  if (header->code == LVN_GETDISPINFOW) {
    auto *info = reinterpret_cast<NMLVDISPINFOW *>(lParam);
    if (info->item.mask & LVIF_TEXT)
      FormatCellText(dialog, *info);
  } else if (header->code == LVN_COLUMNCLICK &&
             HasWindowClass(header->hwndFrom, WC_LISTVIEWW)) {
    SortByColumn(dialog, header->hwndFrom, reinterpret_cast<NMLISTVIEW *>(lParam)->iSubItem);
  }
}

} // namespace

WindowBase::WindowBase(LayoutEntry *layoutTable) : layout(layoutTable) {}

WindowBase::~WindowBase() {
  if (window != nullptr && GetPropW(window, kDialogProperty) == this)
    RemovePropW(window, kDialogProperty);
}

std::int64_t WindowBase::CompareListItems(HWND listView, const wchar_t *firstRecord,
                                          const wchar_t *secondRecord, int column) {
  return CompareListRecords(*this, listView, firstRecord, secondRecord, column);
}

std::wstring WindowBase::FormatCustomCell(HWND, std::uint32_t, const std::wstring &,
                                          const std::wstring &) {
  return std::wstring();
}

HWND WindowBase::ItemWindow(int controlId) const { return GetDlgItem(window, controlId); }

LRESULT WindowBase::SendToItem(int controlId, UINT message, WPARAM wParam,
                               LPARAM lParam) const {
  return SendDlgItemMessageW(window, controlId, message, wParam, lParam);
}

bool WindowBase::EndDialog(INT_PTR result) const { return ::EndDialog(window, result) != 0; }

std::int64_t WindowBase::ReadDialogInteger(int controlId) const {
  return ParseInt64(GetItemTextString(window, controlId));
}

bool WindowBase::SetDialogInteger(int controlId, std::int64_t value) const {
  return SetDlgItemTextW(window, controlId, std::to_wstring(value).c_str()) != 0;
}

bool WindowBase::SetDialogText(int controlId, const std::wstring &text) const {
  return SetDlgItemTextW(window, controlId, text.c_str()) != 0;
}

DialogBase::DialogBase(LayoutEntry *layoutTable) : WindowBase(layoutTable) {}

DialogBase::~DialogBase() = default;

INT_PTR DialogBase::DoModal(HINSTANCE instance, std::uint16_t templateId, HWND parent) {
  // One object, one window: a second window would take over the binding and
  // `window` of the one still running.
  if (inModalLoop)
    return -1;
  inModalLoop = true;
  DialogCreateParams params = {0, this};
  const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), parent,
                                         DialogProc, reinterpret_cast<LPARAM>(&params));
  inModalLoop = false;
  return result;
}

WindowBase *BoundDialog(HWND window) {
  return static_cast<WindowBase *>(GetPropW(window, kDialogProperty));
}

int HandleCommonMessage(WindowBase &dialog, HWND window, UINT &message, WPARAM &,
                        LPARAM &lParam) {
  switch (message) {
  case WM_INITDIALOG:
    RecordGeometry(dialog, window);
    break;
  case WM_SIZE:
    FollowSize(dialog, window);
    break;
  case WM_GETMINMAXINFO:
    if (auto *info = reinterpret_cast<MINMAXINFO *>(lParam))
      info->ptMinTrackSize = POINT{dialog.initialWidth, dialog.initialHeight};
    break;
  case WM_NOTIFY:
    ServeListView(dialog, lParam);
    break;
  default:
    break;
  }
  return 0;
}

void ApplyLayout(HWND window, LayoutEntry *table, int level, std::uint32_t parentKey,
                 std::int32_t x, std::int32_t y, std::int32_t dx, std::int32_t dy) {
  for (const LayoutPlacement &place : ComputeLayout(table, level, parentKey, x, y, dx, dy)) {
    HWND control = GetDlgItem(window, table[place.index].controlId);
    RECT current = {};
    if (!ClientRectOfControl(window, control, current) || EqualRect(&current, &place.rect))
      continue;
    const RECT &r = place.rect;
    MoveWindow(control, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    InvalidateRect(control, nullptr, TRUE);
  }
}

namespace {

INT_PTR DispatchDialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowBase *dialog = BoundDialog(window);
  if (dialog != nullptr)
    HandleCommonMessage(*dialog, window, message, wParam, lParam);

  switch (message) {
  case WM_NOTIFY: {
    auto *header = reinterpret_cast<NMHDR *>(lParam);
    if (header != nullptr && header->code == LVN_GETDISPINFOA)
      return ConvertDispInfoA(window, *reinterpret_cast<NMLVDISPINFOA *>(lParam));
    break;
  }
  case WM_NCDESTROY: {
    INT_PTR handled = 0;
    if (dialog != nullptr) {
      handled = dialog->HandleMessage(window, WM_NCDESTROY, wParam, lParam);
      RemovePropW(window, kDialogProperty);
    }
    // A dialog that does not hand its messages to TrackFocus on the way out
    // would otherwise leave the selection record behind with the window.
    ForgetFocus(window);
    return handled != 0 ? 1 : 0;
  }
  case WM_INITDIALOG: {
    auto *params = reinterpret_cast<DialogCreateParams *>(lParam);
    // Created without DoModal's block (or a second WM_INITDIALOG): nothing
    // to bind.
    if (params == nullptr || params->dialog == nullptr || dialog != nullptr)
      return dialog != nullptr ? dialog->HandleMessage(window, message, wParam, 0) : 0;
    WindowBase *bound = params->dialog;
    bound->window = window;
    SetPropW(window, kDialogProperty, bound);
    HandleCommonMessage(*bound, window, message, wParam, lParam);
    if (GetWindowLongPtrW(window, GWL_STYLE) & WS_THICKFRAME) {
      HMODULE module = GetModuleHandleA(nullptr);
      SendMessageW(window, WM_SETICON, ICON_SMALL,
                   reinterpret_cast<LPARAM>(LoadSmallIcon(module, MAKEINTRESOURCEW(1))));
      SendMessageW(window, WM_SETICON, ICON_BIG,
                   reinterpret_cast<LPARAM>(LoadIconW(module, MAKEINTRESOURCEW(1))));
    }
    return bound->HandleMessage(window, WM_INITDIALOG, wParam, params->initParam);
  }
  default:
    break;
  }
  return dialog != nullptr ? dialog->HandleMessage(window, message, wParam, lParam) : 0;
}

} // namespace

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Nothing the dialogs do may unwind into the system's dialog manager.
  return CatchAtBoundary<INT_PTR>(
      0, [&] { return DispatchDialogMessage(window, message, wParam, lParam); });
}

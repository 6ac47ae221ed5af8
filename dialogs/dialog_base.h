// The dialog classes: a dialog window bound to its object for the window's
// whole life, the modal loop, the handling every dialog shares (geometry,
// minimum size, layout on resize, status bar, list views) and the control
// helpers of the derived dialogs.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

#include "dialogs/layout.h"

// The window property that holds a dialog window's object.
constexpr wchar_t kDialogProperty[] = L"ZV_CDialog";

class WindowBase {
public:
  // `layout`: a table ending with a key of 0, or null for none. The table's
  // rectangles are filled in at WM_INITDIALOG, so it must stay writable and
  // alive as long as the window.
  explicit WindowBase(LayoutEntry *layout);
  // Removes the binding if the window still names this object, so that a
  // window outliving its object never reaches freed memory.
  virtual ~WindowBase();
  WindowBase(const WindowBase &) = delete;
  WindowBase &operator=(const WindowBase &) = delete;

  // Orders two list-view items for sorting by `column` (1-based): negative,
  // zero or positive. The records are the items' lParam texts (a value at or
  // below 0xFFFF is no record). The base compares by the column's type
  // (CompareListRecords in list_view_hooks.h).
  virtual std::int64_t CompareListItems(HWND listView, const wchar_t *firstRecord,
                                        const wchar_t *secondRecord, int column);
  // The text of a list-view cell of a type the base does not know; the base
  // gives an empty text.
  virtual std::wstring FormatCustomCell(HWND listView, std::uint32_t columnTag,
                                        const std::wstring &value,
                                        const std::wstring &typeName);
  // The derived dialog's message handler, with a dialog procedure's result
  // (nonzero: handled). WM_INITDIALOG arrives with 0 as lParam.
  virtual INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;

  // Control helpers on `window`.
  HWND ItemWindow(int controlId) const;
  LRESULT SendToItem(int controlId, UINT message, WPARAM wParam, LPARAM lParam) const;
  // Ends the modal loop with `result`; true when the platform accepted it.
  bool EndDialog(INT_PTR result) const;
  // The control's text read by ParseInt64, without a length limit.
  std::int64_t ReadDialogInteger(int controlId) const;
  bool SetDialogInteger(int controlId, std::int64_t value) const;
  bool SetDialogText(int controlId, const std::wstring &text) const;

  // Client rectangle at WM_INITDIALOG: the reference for resizing.
  RECT initialClientRect = {};
  LayoutEntry *layout = nullptr;
  // Sort state per list view: 1-based column, negative for descending.
  std::map<HWND, std::int32_t> listSortColumns;
  // Set at WM_INITDIALOG and never cleared.
  HWND window = nullptr;
  // Outer size at WM_INITDIALOG, kept as the minimum tracking size.
  std::int32_t initialWidth = 0;
  std::int32_t initialHeight = 0;
  // The first "msctls_statusbar32" child, found at WM_INITDIALOG.
  HWND statusBar = nullptr;
};

class DialogBase : public WindowBase {
public:
  explicit DialogBase(LayoutEntry *layout);
  ~DialogBase() override;

  // Runs the dialog from template `templateId` of `instance`. Returns what
  // the dialog gave EndDialog, or the platform's failure value (-1 or 0)
  // when the dialog could not be created; -1 at once while this object's
  // dialog is already running.
  INT_PTR DoModal(HINSTANCE instance, std::uint16_t templateId, HWND parent);

  // True while DoModal runs.
  bool inModalLoop = false;
};

// The block handed through DialogBoxParamW to WM_INITDIALOG.
struct DialogCreateParams {
  LPARAM initParam;
  WindowBase *dialog;
};

// The dialog procedure of every dialog of the program.
INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The handling every dialog shares, run before HandleMessage. Always 0.
int HandleCommonMessage(WindowBase &dialog, HWND window, UINT &message, WPARAM &wParam,
                        LPARAM &lParam);

// Moves and stretches the dialog's controls by the table for a client-area
// size change (dx, dy); see ComputeLayout. Controls the dialog lacks are
// skipped; a control already in place is left alone.
void ApplyLayout(HWND window, LayoutEntry *table, int level, std::uint32_t parentKey,
                 std::int32_t x, std::int32_t y, std::int32_t dx, std::int32_t dy);

// The object bound to a dialog window, or null.
WindowBase *BoundDialog(HWND window);

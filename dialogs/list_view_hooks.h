// Where the dialog base hands list-view work to the typed list-view cells.
// The dispatch (DialogProc, HandleCommonMessage, WindowBase::CompareListItems)
// calls these and nothing else for list views; list_view_hooks.cpp holds
// their bodies, which read the item records and column descriptors
// (list_columns.h) and leave formatting and ordering to list_cells.h.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

class WindowBase;

// LVN_GETDISPINFOW that asks for text (LVIF_TEXT in the item's mask): puts
// the cell's text into the notification's buffer.
void FormatCellText(WindowBase &dialog, NMLVDISPINFOW &info);

// LVN_COLUMNCLICK from a window of class "SysListView32": `column` is the
// clicked column, 0-based.
void SortByColumn(WindowBase &dialog, HWND listView, int column);

// LVN_GETDISPINFOA reaching the dialog procedure of `window`: answers it
// through the wide form. The result is what the dialog procedure returns;
// the derived dialog's HandleMessage does not see the notification.
INT_PTR ConvertDispInfoA(HWND window, NMLVDISPINFOA &info);

// The base's comparison of two list-view items (WindowBase::CompareListItems).
std::int64_t CompareListRecords(WindowBase &dialog, HWND listView, const wchar_t *firstRecord,
                                const wchar_t *secondRecord, int column);

// The list-view plug-in points of the dialog base, before typed cells.
#include "dialogs/list_view_hooks.h"

void FormatCellText(WindowBase &, NMLVDISPINFOW &) {}

void SortByColumn(WindowBase &, HWND, int) {}

INT_PTR ConvertDispInfoA(HWND, NMLVDISPINFOA &) { return 0; }

std::int64_t CompareListRecords(WindowBase &, HWND, const wchar_t *, const wchar_t *, int) {
  return 0;
}

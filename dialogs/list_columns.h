// The column descriptors of typed list-view cells. A dialog that wants typed
// cells hangs one on each header item of its list view (the header item's
// lParam); the dialog owns the descriptors and keeps them alive as long as
// the list view.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct ListColumn {
  // Handed to FormatCustomCell for columns of the dialog's own types.
  std::uint32_t columnTag = 0;
  // The child element of the item record that holds this column's value;
  // empty: the column shows nothing and is not sorted.
  std::wstring elementName;
  // "Text", "Money", "Int", "Int(n)", "Date", or a type of the dialog's own.
  std::wstring typeName;
};

// Hangs `column` on header item `index` of the list view; true on success.
bool AttachListColumn(HWND listView, int index, const ListColumn *column);
// The descriptor on header item `index`, or null when there is none.
const ListColumn *ListColumnOf(HWND listView, int index);

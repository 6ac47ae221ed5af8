// The list-view work of the dialog base: cell texts, sorting by a clicked
// column with the direction shown in the header, and ANSI list views served
// through the wide notification. The values themselves are formatted and
// compared by the plain functions of list_cells.h.
#include "dialogs/list_view_hooks.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/exception_boundary.h"
#include "dialogs/dialog_base.h"
#include "dialogs/list_cells.h"
#include "dialogs/list_columns.h"

namespace {

// The record an item carries in its lParam, or null. Small numbers are no
// pointers: items without a record show empty cells.
const wchar_t *ItemRecord(HWND listView, int item) {
  LVITEMA query = {};
  query.mask = LVIF_PARAM;
  query.iItem = item;
  if (!SendMessageW(listView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query)))
    return nullptr;
  if (static_cast<std::uintptr_t>(query.lParam) <= 0xFFFF)
    return nullptr;
  return reinterpret_cast<const wchar_t *>(query.lParam);
}

int PlatformTextOrder(const wchar_t *a, const wchar_t *b) { return StrCmpIW(a, b); }

// Whether the list views of this process come from ComCtl32 6 or later. The
// library's own DllGetVersion says so on Windows; Wine's says 5.81 in both of
// its builds, so the activation context decides as well: it redirects
// comctl32.dll only to the Common Controls 6 assembly, which a manifest or an
// activated context asks for.
bool UsesCommonControls6() {
  HMODULE module = GetModuleHandleW(L"comctl32.dll");
  FARPROC entry = module != nullptr ? GetProcAddress(module, "DllGetVersion") : nullptr;
  auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void *>(entry));
  DLLVERSIONINFO info = {};
  info.cbSize = sizeof info;
  if (getVersion != nullptr && SUCCEEDED(getVersion(&info)) && info.dwMajorVersion >= 6)
    return true;
  ACTCTX_SECTION_KEYED_DATA redirection = {};
  redirection.cbSize = sizeof redirection;
  return FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                  L"comctl32.dll", &redirection) != FALSE;
}

bool ReadHeaderFormat(HWND header, int index, HDITEMW *item) {
  *item = HDITEMW{};
  item->mask = HDI_FORMAT | HDI_IMAGE;
  return SendMessageW(header, HDM_GETITEMW, index, reinterpret_cast<LPARAM>(item)) != 0;
}

void ChangeHeaderFormat(HWND header, int index, int clear, int set, int image) {
  HDITEMW item;
  if (index < 0 || !ReadHeaderFormat(header, index, &item))
    return;
  item.fmt = (item.fmt & ~clear) | set;
  item.mask = HDI_FORMAT;
  if (set & HDF_IMAGE) {
    item.mask |= HDI_IMAGE;
    item.iImage = image;
  }
  SendMessageW(header, HDM_SETITEMW, index, reinterpret_cast<LPARAM>(&item));
}

// The sort marks for common controls before version 6, loaded once from
// the program's bitmap 1111 and kept for the process's life (a header does
// not destroy the image list it is given).
HIMAGELIST SortMarkImages() {
  static HIMAGELIST images =
      ImageList_LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1111), 16, 0,
                           RGB(255, 0, 255), IMAGE_BITMAP, LR_CREATEDIBSECTION);
  return images;
}

// Marks `column` (0-based) in the header as sorted up (state > 0) or down.
void ShowSortMark(HWND listView, int previousState, int column, int state) {
  HWND header = reinterpret_cast<HWND>(SendMessageW(listView, LVM_GETHEADER, 0, 0));
  if (header == nullptr)
    return;
  if (UsesCommonControls6()) {
    const int selected = static_cast<int>(SendMessageW(listView, LVM_GETSELECTEDCOLUMN, 0, 0));
    SendMessageW(listView, LVM_SETSELECTEDCOLUMN, column, 0);
    const int sortFlags = HDF_SORTUP | HDF_SORTDOWN;
    // The selected column and the column sorted so far, should they differ.
    ChangeHeaderFormat(header, selected, sortFlags, 0, 0);
    ChangeHeaderFormat(header, std::abs(previousState) - 1, sortFlags, 0, 0);
    ChangeHeaderFormat(header, column, sortFlags, state > 0 ? HDF_SORTUP : HDF_SORTDOWN, 0);
    return;
  }
  const int count = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    HDITEMW item;
    if (ReadHeaderFormat(header, i, &item) && (item.fmt & HDF_IMAGE)) {
      if (i != column)
        ChangeHeaderFormat(header, i, HDF_IMAGE | HDF_BITMAP_ON_RIGHT, 0, 0);
      break;
    }
  }
  HIMAGELIST images = SortMarkImages();
  if (images == nullptr)
    return;
  SendMessageW(header, HDM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
  ChangeHeaderFormat(header, column, 0, HDF_IMAGE | HDF_BITMAP_ON_RIGHT, state > 0 ? 0 : 1);
}

struct SortRun {
  WindowBase *dialog;
  HWND listView;
  int state;
};

int CALLBACK CompareForSort(LPARAM first, LPARAM second, LPARAM run) {
  const SortRun &sort = *reinterpret_cast<const SortRun *>(run);
  // Called back by the list view: an exception ends here, as items in order.
  const std::int64_t order = CatchAtBoundary<std::int64_t>(0, [&] {
    return sort.dialog->CompareListItems(sort.listView, reinterpret_cast<const wchar_t *>(first),
                                         reinterpret_cast<const wchar_t *>(second),
                                         std::abs(sort.state));
  });
  const int sign = order < 0 ? -1 : (order > 0 ? 1 : 0);
  return sort.state < 0 ? -sign : sign;
}

// Cuts converted text to the caller's bytes without leaving half of a
// double-byte character at the end.
std::size_t WholeCharactersWithin(const std::string &bytes, std::size_t limit) {
  if (bytes.size() <= limit)
    return bytes.size();
  const UINT codePage = GetACP();
  if (codePage == CP_UTF8) {
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80)
      --end;
    return end;
  }
  std::size_t end = 0;
  while (end < limit) {
    const std::size_t step =
        IsDBCSLeadByteEx(codePage, static_cast<BYTE>(bytes[end])) ? 2 : 1;
    if (end + step > limit)
      break;
    end += step;
  }
  return end;
}

} // namespace

bool AttachListColumn(HWND listView, int index, const ListColumn *column) {
  HWND header = reinterpret_cast<HWND>(SendMessageW(listView, LVM_GETHEADER, 0, 0));
  if (header == nullptr)
    return false;
  HDITEMW item = {};
  item.mask = HDI_LPARAM;
  item.lParam = reinterpret_cast<LPARAM>(column);
  return SendMessageW(header, HDM_SETITEMW, index, reinterpret_cast<LPARAM>(&item)) != 0;
}

const ListColumn *ListColumnOf(HWND listView, int index) {
  HWND header = reinterpret_cast<HWND>(SendMessageW(listView, LVM_GETHEADER, 0, 0));
  if (header == nullptr || index < 0)
    return nullptr;
  HDITEMA item = {};
  item.mask = HDI_LPARAM;
  if (!SendMessageW(header, HDM_GETITEMA, index, reinterpret_cast<LPARAM>(&item)))
    return nullptr;
  return reinterpret_cast<const ListColumn *>(item.lParam);
}

void FormatCellText(WindowBase &dialog, NMLVDISPINFOW &info) {
  LVITEMW &item = info.item;
  if (item.pszText == nullptr || item.pszText == LPSTR_TEXTCALLBACKW)
    return;
  HWND listView = info.hdr.hwndFrom;
  std::wstring text;
  const wchar_t *record = ItemRecord(listView, item.iItem);
  const ListColumn *column = ListColumnOf(listView, item.iSubItem);
  std::wstring value;
  if (record != nullptr && column != nullptr &&
      ReadRecordElement(record, column->elementName, &value) &&
      !FormatCellValue(ParseColumnType(column->typeName), value, &text))
    text = dialog.FormatCustomCell(listView, column->columnTag, value, column->typeName);
  CopyCutText(text, item.pszText, item.cchTextMax);
}

void SortByColumn(WindowBase &dialog, HWND listView, int column) {
  if (column < 0)
    return;
  const auto found = dialog.listSortColumns.find(listView);
  const int previous = found != dialog.listSortColumns.end() ? found->second : 0;
  const int state = std::abs(previous) == column + 1 ? -previous : column + 1;
  ShowSortMark(listView, previous, column, state);
  dialog.listSortColumns[listView] = state;
  const ListColumn *descriptor = ListColumnOf(listView, column);
  if (descriptor == nullptr || descriptor->elementName.empty() || descriptor->typeName.empty())
    return;
  SortRun run = {&dialog, listView, state};
  SendMessageW(listView, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&run),
               reinterpret_cast<LPARAM>(CompareForSort));
}

std::int64_t CompareListRecords(WindowBase &, HWND listView, const wchar_t *firstRecord,
                                const wchar_t *secondRecord, int column) {
  const ListColumn *descriptor = ListColumnOf(listView, column - 1);
  if (descriptor == nullptr)
    return 0;
  return CompareRecords(firstRecord, secondRecord, descriptor->elementName,
                        descriptor->typeName, PlatformTextOrder);
}

INT_PTR ConvertDispInfoA(HWND window, NMLVDISPINFOA &info) {
  static_assert(sizeof(LVITEMA) == sizeof(LVITEMW), "the item layouts differ only in text");
  wchar_t text[260] = {};
  NMLVDISPINFOW wide = {};
  wide.hdr = info.hdr;
  wide.hdr.code = LVN_GETDISPINFOW;
  std::memcpy(&wide.item, &info.item, sizeof wide.item);
  wide.item.pszText = text;
  wide.item.cchTextMax = 260;
  const LRESULT result =
      SendMessageW(window, WM_NOTIFY, info.hdr.idFrom, reinterpret_cast<LPARAM>(&wide));
  const UINT asked = info.item.mask;
  LVITEMA &item = info.item;
  item.mask = wide.item.mask;
  if (item.mask & LVIF_STATE) {
    item.state = wide.item.state;
    item.stateMask = wide.item.stateMask;
  }
  if (item.mask & LVIF_IMAGE)
    item.iImage = wide.item.iImage;
  if (item.mask & LVIF_PARAM)
    item.lParam = wide.item.lParam;
  if (item.mask & LVIF_INDENT)
    item.iIndent = wide.item.iIndent;
  if (item.mask & LVIF_GROUPID)
    item.iGroupId = wide.item.iGroupId;
  // Only into a real buffer with room for at least its NUL: "length minus
  // one" of an empty buffer would otherwise be -1.
  if ((asked & LVIF_TEXT) && item.pszText != nullptr && item.pszText != LPSTR_TEXTCALLBACKA &&
      item.cchTextMax > 0) {
    text[259] = L'\0';
    // A handler may answer with a text of its own instead of filling the
    // buffer, as list views allow.
    const wchar_t *answer = wide.item.pszText != nullptr && wide.item.pszText != LPSTR_TEXTCALLBACKW
                                ? wide.item.pszText
                                : text;
    std::string bytes;
    const int size = WideCharToMultiByte(CP_ACP, 0, answer, -1, nullptr, 0, nullptr, nullptr);
    if (size > 1) {
      bytes.resize(size);
      WideCharToMultiByte(CP_ACP, 0, answer, -1, &bytes[0], size, nullptr, nullptr);
      bytes.resize(size - 1);
    }
    const std::size_t length =
        WholeCharactersWithin(bytes, static_cast<std::size_t>(item.cchTextMax) - 1);
    bytes.copy(item.pszText, length);
    item.pszText[length] = '\0';
  }
  return result;
}

// Typed cells and sorting in real list views of a dialog derived from
// DialogBase. Built twice: without a manifest (common controls 5, sort marks
// as header images) and with a Common Controls 6 manifest (sort flags in the
// header format). The dialog runs each test body from a message posted
// before its modal loop starts, on the test's own thread.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/dialog_base.h"
#include "dialogs/list_cells.h"
#include "dialogs/list_columns.h"

namespace {

constexpr std::uint16_t kTemplateId = 1500;
constexpr int kWideListId = 100;
constexpr int kAnsiListId = 101;
constexpr UINT kRunBody = WM_APP + 1;

struct Member {
  const wchar_t *name, *amount, *nr, *date, *colour, *mitglnr;
};

// The dates and amounts sort differently by value than by text; two names
// differ only in case and are ordered by Mitglnr.
const Member kMembers[] = {
    {L"beta", L"-5", L"10", L"24.12.2010", L"rot", L"3"},
    {L"Alpha", L"100", L"9", L"01.01.2011", L"gruen", L"2"},
    {L"alpha", L"99", L"10", L"2010-12-24", L"blau", L"1"},
    {L"Gamma &amp; Co", L"-123456789", L"-1", L"", L"gelb", L"4"},
    {L"delta", L"99", L"9", L"31.04.2006", L"schwarz", L"5"},
};
constexpr int kMemberCount = sizeof kMembers / sizeof kMembers[0];

std::wstring RecordOf(const Member &m) {
  return std::wstring(L"<?xml version=\"1.0\"?><Mitglied><Name>") + m.name + L"</Name><Beitrag>" +
         m.amount + L"</Beitrag><Nr>" + m.nr + L"</Nr><Eintritt>" + m.date +
         L"</Eintritt><Farbe>" + m.colour + L"</Farbe><Mitglnr>" + m.mitglnr +
         L"</Mitglnr></Mitglied>";
}

const ListColumn kColumns[] = {
    {0, L"Name", L"Text"},   {0, L"Beitrag", L"Money"}, {0, L"Nr", L"Int(4)"},
    {0, L"Eintritt", L"Date"}, {7, L"Farbe", L"Farbe"}, {0, L"", L"Text"},
};
constexpr int kColumnCount = sizeof kColumns / sizeof kColumns[0];

class ListDialog : public DialogBase {
public:
  explicit ListDialog(std::function<void(ListDialog &)> body)
      : DialogBase(nullptr), body_(std::move(body)) {
    for (const Member &m : kMembers)
      records.push_back(RecordOf(m));
  }

  INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
    case WM_INITDIALOG:
      CreateLists(window);
      PostMessageW(window, kRunBody, 0, 0);
      return TRUE;
    case WM_NOTIFYFORMAT:
      // The second list view talks ANSI to its parent.
      if (lParam == NF_QUERY && GetDlgCtrlID(reinterpret_cast<HWND>(wParam)) == kAnsiListId) {
        SetWindowLongPtrW(window, DWLP_MSGRESULT, NFR_ANSI);
        return TRUE;
      }
      return FALSE;
    case WM_NOTIFY: {
      const auto *header = reinterpret_cast<const NMHDR *>(lParam);
      if (header->code == LVN_COLUMNCLICK)
        ++columnClicks;
      if (header->code == LVN_GETDISPINFOA)
        ++ansiRequestsSeen;
      if (header->code == LVN_GETDISPINFOW && header->hwndFrom == ansiList) {
        auto *info = reinterpret_cast<NMLVDISPINFOW *>(lParam);
        wideBuffersForAnsi.push_back(info->item.cchTextMax);
        // The fourth item's text is the dialog's own string, not the buffer.
        if (info->item.iItem == 3)
          info->item.pszText = const_cast<wchar_t *>(L"eigener Text ä");
      }
      return FALSE;
    }
    case kRunBody:
      body_(*this);
      EndDialog(0);
      return TRUE;
    default:
      return FALSE;
    }
  }

  std::wstring FormatCustomCell(HWND, std::uint32_t columnTag, const std::wstring &value,
                                const std::wstring &typeName) override {
    return typeName + L" " + std::to_wstring(columnTag) + L": " + value;
  }

  HWND wideList = nullptr;
  HWND ansiList = nullptr;
  std::vector<std::wstring> records;
  // Items of the ANSI list: one readable record, one without its root, one
  // with a small number instead of a record, one without a record whose text
  // the dialog gives itself.
  std::wstring ansiRecords[2] = {
      L"<M><Name>M\u00fcller &amp; S\u00f6hne</Name></M>", L"<kaputt><Name>x</Name>"};
  int columnClicks = 0;
  int ansiRequestsSeen = 0;
  std::vector<int> wideBuffersForAnsi;

private:
  static HWND CreateList(HWND window, int id, int y) {
    return CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                           WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, 5, y, 590, 170,
                           window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
  }

  static void AddColumns(HWND list, int count) {
    for (int c = 0; c < count; ++c) {
      LVCOLUMNW column = {};
      column.mask = LVCF_TEXT | LVCF_WIDTH;
      column.cx = 90;
      std::wstring title = kColumns[c].elementName.empty() ? L"-" : kColumns[c].elementName;
      column.pszText = &title[0];
      SendMessageW(list, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
      AttachListColumn(list, c, &kColumns[c]);
    }
  }

  static void AddItem(HWND list, int index, LPARAM record, int columns) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = LPSTR_TEXTCALLBACKW;
    item.lParam = record;
    const int at = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0,
                                                 reinterpret_cast<LPARAM>(&item)));
    for (int c = 1; c < columns; ++c) {
      LVITEMW sub = {};
      sub.iSubItem = c;
      sub.pszText = LPSTR_TEXTCALLBACKW;
      SendMessageW(list, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&sub));
    }
  }

  void CreateLists(HWND window) {
    wideList = CreateList(window, kWideListId, 5);
    ansiList = CreateList(window, kAnsiListId, 185);
    AddColumns(wideList, kColumnCount);
    AddColumns(ansiList, 1);
    for (int i = 0; i < kMemberCount; ++i)
      AddItem(wideList, i, reinterpret_cast<LPARAM>(records[i].c_str()), kColumnCount);
    AddItem(ansiList, 0, reinterpret_cast<LPARAM>(ansiRecords[0].c_str()), 1);
    AddItem(ansiList, 1, reinterpret_cast<LPARAM>(ansiRecords[1].c_str()), 1);
    AddItem(ansiList, 2, 0x1234, 1);
    AddItem(ansiList, 3, 0, 1);
  }

  std::function<void(ListDialog &)> body_;
};

// Runs `body` inside the modal loop of a fresh list dialog.
void RunDialog(const std::function<void(ListDialog &)> &body) {
  ListDialog dialog(body);
  ASSERT_EQ(0, dialog.DoModal(GetModuleHandleW(nullptr), kTemplateId, nullptr));
}

std::wstring CellText(HWND list, int item, int column, int capacity = 260) {
  std::vector<wchar_t> buffer(capacity + 1, L'#');
  LVITEMW query = {};
  query.iSubItem = column;
  query.pszText = buffer.data();
  query.cchTextMax = capacity;
  SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&query));
  EXPECT_EQ(L'#', buffer[capacity]) << "written beyond the buffer";
  return std::wstring(buffer.data(), wcsnlen(buffer.data(), capacity));
}

// The members in the list's current order, by their index in kMembers.
std::vector<int> ItemOrder(const ListDialog &dialog) {
  std::vector<int> order;
  const int count = static_cast<int>(SendMessageW(dialog.wideList, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = i;
    SendMessageW(dialog.wideList, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    for (int m = 0; m < kMemberCount; ++m)
      if (item.lParam == reinterpret_cast<LPARAM>(dialog.records[m].c_str()))
        order.push_back(m);
  }
  return order;
}

// A real click on a header item: the header reports it to the list view,
// which sends LVN_COLUMNCLICK to the dialog.
void ClickHeader(HWND list, int column) {
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  RECT rect = {};
  SendMessageW(header, HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&rect));
  const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  SendMessageW(header, WM_MOUSEMOVE, 0, at);
  SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(header, WM_LBUTTONUP, 0, at);
}

// Whether this test program runs with the Common Controls 6 library: its
// manifest makes the process load it from the side-by-side store.
bool LoadedCommonControls6() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), path, MAX_PATH);
  CharLowerW(path);
  return std::wstring(path).find(L"microsoft.windows.common-controls_") != std::wstring::npos;
}

struct HeaderItem {
  int fmt;
  int image;
};

HeaderItem ReadHeaderItem(HWND list, int column) {
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  HDITEMW item = {};
  item.mask = HDI_FORMAT | HDI_IMAGE;
  SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item));
  return {item.fmt, item.iImage};
}

class TypedListView : public testing::Test {
protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX init = {sizeof init, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&init);
  }
};

TEST_F(TypedListView, CellTextsByColumnType) {
  RunDialog([](ListDialog &dialog) {
    const wchar_t *expected[kMemberCount][kColumnCount] = {
        {L"beta", L"-0,05", L"0010", L"24.12.2010", L"Farbe 7: rot", L""},
        {L"Alpha", L"1,00", L"0009", L"01.01.2011", L"Farbe 7: gruen", L""},
        {L"alpha", L"0,99", L"0010", L"24.12.2010", L"Farbe 7: blau", L""},
        {L"Gamma & Co", L"-1.234.567,89", L"-0001", L"", L"Farbe 7: gelb", L""},
        {L"delta", L"0,99", L"0009", L"31.04.2006", L"Farbe 7: schwarz", L""},
    };
    for (int m = 0; m < kMemberCount; ++m)
      for (int c = 0; c < kColumnCount; ++c)
        EXPECT_EQ(expected[m][c], CellText(dialog.wideList, m, c)) << m << "/" << c;
  });
}

// The list view's own buffer is the one the cell is cut into.
TEST_F(TypedListView, TextsCutToTheCallersBuffer) {
  RunDialog([](ListDialog &dialog) {
    struct Case {
      int capacity;
      const wchar_t *text;
    } cases[] = {{260, L"-1.234.567,89"}, {14, L"-1.234.567,89"}, {13, L"-1.234.56..."},
                 {5, L"-..."},           {4, L"..."},            {3, L".."},
                 {2, L"."},               {1, L""}};
    for (const Case &c : cases)
      EXPECT_EQ(c.text, CellText(dialog.wideList, 3, 1, c.capacity)) << c.capacity;
  });
}

// LVN_GETDISPINFOW with the smallest buffers, sent as the list view would.
TEST_F(TypedListView, WideRequestsWithTinyBuffers) {
  RunDialog([](ListDialog &dialog) {
    for (int capacity = 0; capacity <= 4; ++capacity) {
      wchar_t buffer[8];
      std::fill(buffer, buffer + 8, L'#');
      NMLVDISPINFOW info = {};
      info.hdr.hwndFrom = dialog.wideList;
      info.hdr.idFrom = kWideListId;
      info.hdr.code = LVN_GETDISPINFOW;
      info.item.mask = LVIF_TEXT;
      info.item.iItem = 0;
      info.item.pszText = buffer;
      info.item.cchTextMax = capacity;
      SendMessageW(dialog.window, WM_NOTIFY, kWideListId, reinterpret_cast<LPARAM>(&info));
      const std::wstring expected[] = {L"########", L"", L".", L"..", L"..."};
      EXPECT_EQ(expected[capacity], std::wstring(buffer, wcsnlen(buffer, 8))) << capacity;
      for (int i = std::max(capacity, 1); i < 8; ++i)
        EXPECT_EQ(L'#', buffer[i]) << capacity << " at " << i;
    }
  });
}

struct SortStep {
  int column;         // clicked, 0-based
  int state;          // the list's sort state afterwards
  std::vector<int> order;
};

// Ascending, the same column descending, another column ascending; a
// column without element only moves the mark.
const SortStep kSortSteps[] = {
    {1, 2, {3, 0, 2, 4, 1}},  {1, -2, {1, 4, 2, 0, 3}}, {0, 1, {2, 1, 0, 4, 3}},
    {3, 4, {3, 2, 0, 1, 4}},  {3, -4, {4, 1, 0, 2, 3}}, {2, 3, {3, 1, 4, 2, 0}},
    {5, 6, {3, 1, 4, 2, 0}},  {4, 5, {2, 3, 1, 0, 4}},
};

TEST_F(TypedListView, HeaderClicksSortBothWays) {
  RunDialog([](ListDialog &dialog) {
    int clicks = 0;
    for (const SortStep &step : kSortSteps) {
      SCOPED_TRACE(step.column);
      ClickHeader(dialog.wideList, step.column);
      EXPECT_EQ(++clicks, dialog.columnClicks);
      EXPECT_EQ(step.state, dialog.listSortColumns[dialog.wideList]);
      EXPECT_EQ(step.order, ItemOrder(dialog));
    }
    EXPECT_EQ(0u, dialog.listSortColumns.count(dialog.ansiList));
  });
}

// A dialog that orders its items itself, by Mitglnr from high to low
// whatever the column, and notes the column numbers it is given.
class OwnOrderDialog : public ListDialog {
public:
  using ListDialog::ListDialog;
  std::int64_t CompareListItems(HWND, const wchar_t *first, const wchar_t *second,
                                int column) override {
    columnsSeen.push_back(column);
    std::wstring a, b;
    ReadRecordElement(first, L"Mitglnr", &a);
    ReadRecordElement(second, L"Mitglnr", &b);
    return std::stoll(b) - std::stoll(a);
  }
  std::vector<int> columnsSeen;
};

TEST_F(TypedListView, SortingGoesThroughTheDialogsComparison) {
  OwnOrderDialog dialog([](ListDialog &base) {
    auto &own = static_cast<OwnOrderDialog &>(base);
    ClickHeader(own.wideList, 0);
    EXPECT_EQ((std::vector<int>{4, 3, 0, 1, 2}), ItemOrder(own));
    ASSERT_FALSE(own.columnsSeen.empty());
    EXPECT_EQ(std::vector<int>(own.columnsSeen.size(), 1), own.columnsSeen); // 1-based
    own.columnsSeen.clear();
    ClickHeader(own.wideList, 0); // descending: the dialog's order reversed
    EXPECT_EQ((std::vector<int>{2, 1, 0, 3, 4}), ItemOrder(own));
    ClickHeader(own.wideList, 2);
    EXPECT_EQ((std::vector<int>{4, 3, 0, 1, 2}), ItemOrder(own));
    EXPECT_EQ(3, own.columnsSeen.back());
  });
  ASSERT_EQ(0, dialog.DoModal(GetModuleHandleW(nullptr), kTemplateId, nullptr));
}

#ifdef ZV_EXPECT_COMMON_CONTROLS_6
TEST_F(TypedListView, HeaderShowsDirectionWithSortFlags) {
  RunDialog([](ListDialog &dialog) {
    ASSERT_TRUE(LoadedCommonControls6());
    for (const SortStep &step : kSortSteps) {
      SCOPED_TRACE(step.column);
      ClickHeader(dialog.wideList, step.column);
      EXPECT_EQ(step.column, SendMessageW(dialog.wideList, LVM_GETSELECTEDCOLUMN, 0, 0));
      for (int c = 0; c < kColumnCount; ++c) {
        const int flags = ReadHeaderItem(dialog.wideList, c).fmt & (HDF_SORTUP | HDF_SORTDOWN);
        const int expected =
            c != step.column ? 0 : (step.state > 0 ? HDF_SORTUP : HDF_SORTDOWN);
        EXPECT_EQ(expected, flags) << "column " << c;
        EXPECT_EQ(0, ReadHeaderItem(dialog.wideList, c).fmt & HDF_IMAGE) << "column " << c;
      }
    }
  });
}
#else
TEST_F(TypedListView, HeaderShowsDirectionWithImages) {
  RunDialog([](ListDialog &dialog) {
    ASSERT_FALSE(LoadedCommonControls6());
    HWND header = reinterpret_cast<HWND>(SendMessageW(dialog.wideList, LVM_GETHEADER, 0, 0));
    HIMAGELIST first = nullptr;
    for (const SortStep &step : kSortSteps) {
      SCOPED_TRACE(step.column);
      ClickHeader(dialog.wideList, step.column);
      auto images = reinterpret_cast<HIMAGELIST>(SendMessageW(header, HDM_GETIMAGELIST, 0, 0));
      ASSERT_NE(nullptr, images);
      if (first == nullptr)
        first = images;
      EXPECT_EQ(first, images) << "the image list is made once";
      for (int c = 0; c < kColumnCount; ++c) {
        const HeaderItem item = ReadHeaderItem(dialog.wideList, c);
        const int marks = item.fmt & (HDF_IMAGE | HDF_BITMAP_ON_RIGHT);
        EXPECT_EQ(c == step.column ? HDF_IMAGE | HDF_BITMAP_ON_RIGHT : 0, marks) << c;
        if (c == step.column) {
          EXPECT_EQ(step.state > 0 ? 0 : 1, item.image);
        }
        EXPECT_EQ(0, item.fmt & (HDF_SORTUP | HDF_SORTDOWN)) << c;
      }
    }
    // Two 16 x 16 marks; magenta is transparent, the arrow is not.
    int width = 0, height = 0;
    ASSERT_TRUE(ImageList_GetIconSize(first, &width, &height));
    EXPECT_EQ(16, width);
    EXPECT_EQ(16, height);
    EXPECT_EQ(2, ImageList_GetImageCount(first));
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 32, 16);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = {0, 0, 32, 16};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ImageList_Draw(first, 0, dc, 0, 0, ILD_TRANSPARENT);
    ImageList_Draw(first, 1, dc, 16, 0, ILD_TRANSPARENT);
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 0, 0));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 3, 6));
    EXPECT_EQ(RGB(64, 64, 64), GetPixel(dc, 7, 6));       // tip of the upward mark
    EXPECT_EQ(RGB(64, 64, 64), GetPixel(dc, 16 + 7, 10)); // tip of the downward mark
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 16 + 3, 10));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  });
}
#endif

// The ANSI list view asks with LVN_GETDISPINFOA; the dialog answers it
// through the wide form and converts, cutting to the caller's buffer. The
// derived dialog sees only the wide request, with its 260-character buffer.
TEST_F(TypedListView, AnsiListViewGetsConvertedText) {
  // The expected bytes are Windows-1252's; another ANSI code page spells
  // the umlauts otherwise.
  if (GetACP() != 1252)
    GTEST_SKIP() << "the ANSI code page is " << GetACP() << ", not 1252";
  RunDialog([](ListDialog &dialog) {
    struct Case {
      int item;
      int capacity;
      const char *text;
    } cases[] = {
        {0, 64, "M\xfcller & S\xf6hne"}, {0, 5, "M\xfcll"}, {0, 2, "M"},
        {1, 64, ""},                     {2, 64, ""},       {3, 64, "eigener Text \xe4"},
        {3, 9, "eigener "},
    };
    // No one-byte buffer here: Wine's list view answers into a buffer of its
    // own and, copying back, writes a NUL behind a one-byte caller's buffer.
    // The dialog's side of that case is AnsiRequestsWithTinyBuffers.
    for (const Case &c : cases) {
      std::vector<char> buffer(c.capacity + 1, '#');
      LVITEMA query = {};
      query.pszText = buffer.data();
      query.cchTextMax = c.capacity;
      SendMessageA(dialog.ansiList, LVM_GETITEMTEXTA, c.item, reinterpret_cast<LPARAM>(&query));
      EXPECT_EQ(std::string(c.text), std::string(buffer.data())) << c.item << "/" << c.capacity;
      EXPECT_EQ('#', buffer[c.capacity]) << c.item << "/" << c.capacity;
    }
    EXPECT_EQ(L"M\u00fcller & S\u00f6hne", CellText(dialog.ansiList, 0, 0));
    EXPECT_EQ(0, dialog.ansiRequestsSeen);
    ASSERT_FALSE(dialog.wideBuffersForAnsi.empty());
    for (int capacity : dialog.wideBuffersForAnsi)
      EXPECT_EQ(260, capacity);
  });
}

// LVN_GETDISPINFOA with the smallest buffers: "length minus one" of an
// empty buffer must not write before or beyond it.
TEST_F(TypedListView, AnsiRequestsWithTinyBuffers) {
  RunDialog([](ListDialog &dialog) {
    const std::string expected[] = {"##########", "", "M", "M\xfc", "M\xfcl"};
    for (int capacity = 0; capacity <= 4; ++capacity) {
      char memory[12];
      std::fill(memory, memory + 12, '#');
      char *buffer = memory + 2;
      NMLVDISPINFOA info = {};
      info.hdr.hwndFrom = dialog.ansiList;
      info.hdr.idFrom = kAnsiListId;
      info.hdr.code = LVN_GETDISPINFOA;
      info.item.mask = LVIF_TEXT | LVIF_PARAM;
      info.item.iItem = 0;
      info.item.pszText = buffer;
      info.item.cchTextMax = capacity;
      info.item.lParam = 77;
      SendMessageW(dialog.window, WM_NOTIFY, kAnsiListId, reinterpret_cast<LPARAM>(&info));
      EXPECT_EQ(expected[capacity], std::string(buffer, strnlen(buffer, 10))) << capacity;
      EXPECT_EQ('#', memory[0]);
      EXPECT_EQ('#', memory[1]);
      for (int i = std::max(capacity, 1); i < 10; ++i)
        EXPECT_EQ('#', buffer[i]) << capacity << " at " << i;
      EXPECT_EQ(UINT(LVIF_TEXT | LVIF_PARAM), info.item.mask);
    }
  });
}

} // namespace

// The binding of a dialog window to its object, the modal loop and the
// control helpers, on real dialogs.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <new>
#include <string>

#include "dialogs/dialog_fixture.h"
#include "dialogs/window_utils.h"
#include "support/call_sequence.h"
#include "support/dialog_driver.h"

namespace {

constexpr UINT kPing = WM_APP + 1;

TEST(DialogBinding, ModalSequenceFromInitDialogToNcDestroy) {
  RecordingDialog dialog;
  HWND seenWindow = nullptr;
  bool boundDuringDestroy = false;
  dialog.reply = [&](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == kPing)
      dialog.EndDialog(1234);
    if (message == WM_NCDESTROY)
      boundDuringDestroy = BoundDialog(window) == &dialog;
    return FALSE;
  };
  SentMessageLog log;
  INT_PTR result = 0;
  {
    DialogDriver driver([&](HWND window) {
      seenWindow = window;
      PostMessageW(window, kPing, 7, 8);
    });
    result = dialog.DoModal(TestModule(), IDD_FIXED, nullptr);
    EXPECT_EQ(1, driver.DialogsSeen());
  }
  EXPECT_EQ(1234, result);
  EXPECT_FALSE(dialog.inModalLoop);
  EXPECT_TRUE(dialog.modalAtInit);
  EXPECT_EQ(seenWindow, dialog.window);
  EXPECT_TRUE(boundDuringDestroy);

  // The handler's first message is WM_INITDIALOG, with 0 and not the
  // creation block as its second parameter; its last is WM_NCDESTROY.
  ASSERT_FALSE(dialog.seen.empty());
  EXPECT_EQ(UINT(WM_INITDIALOG), dialog.seen.front().message);
  EXPECT_EQ(UINT(WM_NCDESTROY), dialog.seen.back().message);
  EXPECT_TRUE(MatchesSequence({Call("WM_INITDIALOG", {{"lParam", "0"}}),
                               Call("WM_APP+1", {{"wParam", "7"}, {"lParam", "8"}}),
                               Call("WM_DESTROY"), Call("WM_NCDESTROY")},
                              dialog.Records({WM_SETFONT, WM_INITDIALOG, kPing, WM_DESTROY,
                                              WM_NCDESTROY, WM_CREATE, WM_NCCREATE})));

  // The window itself did get WM_SETFONT (the template asks for a font),
  // before WM_INITDIALOG: the binding kept it from the handler.
  const auto font = std::find(log.messages.begin(), log.messages.end(), UINT(WM_SETFONT));
  const auto init = std::find(log.messages.begin(), log.messages.end(), UINT(WM_INITDIALOG));
  ASSERT_NE(log.messages.end(), font);
  ASSERT_NE(log.messages.end(), init);
  EXPECT_LT(font, init);
}

// An exception out of a handler (memory running out in a std::wstring,
// say) ends at the dialog procedure: the system's dialog manager never sees
// it, the message counts as not handled, and the dialog runs on.
TEST(DialogBinding, ExceptionInAHandlerEndsAtTheDialogProcedure) {
  constexpr UINT kThrow = WM_APP + 2;
  RecordingDialog dialog;
  bool thrown = false;
  dialog.reply = [&](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == kThrow) {
      thrown = true;
      throw std::bad_alloc();
    }
    if (message == kPing)
      dialog.EndDialog(77);
    return FALSE;
  };
  INT_PTR result = 0;
  {
    DialogDriver driver([&](HWND window) {
      PostMessageW(window, kThrow, 0, 0);
      PostMessageW(window, kPing, 0, 0);
    });
    result = dialog.DoModal(TestModule(), IDD_FIXED, nullptr);
  }
  EXPECT_TRUE(thrown);
  EXPECT_EQ(77, result);
  EXPECT_FALSE(dialog.inModalLoop);
}

TEST(DialogBinding, NcDestroyUnbindsAndLaterMessagesAreAnsweredWithZero) {
  RecordingDialog dialog;
  dialog.reply = [](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR {
    return message == kPing || message == WM_NCDESTROY;
  };
  HWND window = CreateModeless(dialog, IDD_FIXED);
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(&dialog, BoundDialog(window));
  EXPECT_EQ(&dialog, GetPropW(window, L"ZV_CDialog"));
  EXPECT_EQ(1, DialogProc(window, kPing, 0, 0));

  // WM_NCDESTROY reaches the handler, whose answer (nonzero) comes back as
  // 1, and the binding goes while the window still exists.
  EXPECT_EQ(1, DialogProc(window, WM_NCDESTROY, 0, 0));
  EXPECT_EQ(UINT(WM_NCDESTROY), dialog.seen.back().message);
  EXPECT_EQ(nullptr, GetPropW(window, L"ZV_CDialog"));
  const std::size_t count = dialog.seen.size();
  EXPECT_EQ(0, DialogProc(window, kPing, 0, 0));
  EXPECT_EQ(0, SendMessageW(window, kPing, 0, 0));
  EXPECT_EQ(count, dialog.seen.size());
  DestroyWindow(window);
  EXPECT_EQ(count, dialog.seen.size());
}

TEST(DialogBinding, WindowWithoutBindingIsAnsweredWithZero) {
  // Created without the framework's block: nothing binds, nothing crashes.
  HWND window = CreateDialogParamW(TestModule(), MAKEINTRESOURCEW(IDD_FIXED), nullptr,
                                   DialogProc, 0);
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(nullptr, BoundDialog(window));
  EXPECT_EQ(0, DialogProc(window, kPing, 0, 0));
  EXPECT_EQ(0, DialogProc(window, WM_NCDESTROY, 0, 0));
  EXPECT_TRUE(DestroyWindow(window));
}

TEST(DialogBinding, DestroyedObjectLeavesNoBindingBehind) {
  HWND window = nullptr;
  {
    RecordingDialog dialog;
    window = CreateModeless(dialog, IDD_FIXED);
    ASSERT_NE(nullptr, window);
  }
  // The window outlived its object: messages must not reach freed memory.
  EXPECT_EQ(nullptr, GetPropW(window, L"ZV_CDialog"));
  EXPECT_EQ(0, SendMessageW(window, kPing, 0, 0));
  DestroyWindow(window);
}

TEST(DoModal, SecondRunOfTheSameObjectIsRefused) {
  RecordingDialog dialog;
  INT_PTR nested = 0;
  HWND bound = nullptr;
  DialogDriver driver([&](HWND window) {
    nested = dialog.DoModal(TestModule(), IDD_FIXED, nullptr);
    bound = dialog.window;
    EXPECT_TRUE(dialog.inModalLoop);
    EndDialog(window, 77);
  });
  EXPECT_EQ(77, dialog.DoModal(TestModule(), IDD_FIXED, nullptr));
  EXPECT_EQ(-1, nested);
  EXPECT_EQ(1, driver.DialogsSeen());
  EXPECT_EQ(dialog.window, bound);
  EXPECT_EQ(1u, dialog.Filtered({WM_INITDIALOG}).size());
  EXPECT_FALSE(dialog.inModalLoop);
}

TEST(DoModal, MissingTemplateFailsAndLeavesTheModalLoop) {
  RecordingDialog dialog;
  DialogDriver driver(nullptr);
  EXPECT_EQ(-1, dialog.DoModal(TestModule(), IDD_MISSING, nullptr));
  EXPECT_FALSE(dialog.inModalLoop);
  EXPECT_TRUE(dialog.seen.empty());
  EXPECT_EQ(0, driver.DialogsSeen());
}

// The size of an icon's colour (or mask) bitmap.
SIZE IconSize(HICON icon) {
  ICONINFO info = {};
  SIZE size = {};
  if (icon == nullptr || !GetIconInfo(icon, &info))
    return size;
  BITMAP bitmap = {};
  GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  size.cx = bitmap.bmWidth;
  size.cy = info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2;
  if (info.hbmColor)
    DeleteObject(info.hbmColor);
  if (info.hbmMask)
    DeleteObject(info.hbmMask);
  return size;
}

TEST(DoModal, IconsOnlyForResizableDialogs) {
  struct Case {
    int templateId;
    bool icons;
  };
  for (const Case c : {Case{IDD_FIXED, false}, Case{IDD_RESIZABLE, true}}) {
    RecordingDialog dialog;
    HICON small = nullptr, big = nullptr;
    DialogDriver driver([&](HWND window) {
      small = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
      big = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
      if (small != nullptr) {
        const SIZE s = IconSize(small);
        EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), s.cx);
        EXPECT_EQ(GetSystemMetrics(SM_CYSMICON), s.cy);
      }
      if (big != nullptr) {
        const SIZE s = IconSize(big);
        EXPECT_EQ(GetSystemMetrics(SM_CXICON), s.cx);
        EXPECT_EQ(GetSystemMetrics(SM_CYICON), s.cy);
      }
      // The test dialog has no Cancel handling of its own.
      EndDialog(window, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal(TestModule(), std::uint16_t(c.templateId), nullptr))
        << c.templateId;
    EXPECT_EQ(1, driver.DialogsSeen());
    EXPECT_EQ(c.icons, small != nullptr) << c.templateId;
    EXPECT_EQ(c.icons, big != nullptr) << c.templateId;
  }
}

TEST(ControlHelpers, AgainstRealControls) {
  RecordingDialog dialog;
  HWND window = CreateModeless(dialog, IDD_FIXED);
  ASSERT_NE(nullptr, window);
  EXPECT_EQ(GetDlgItem(window, IDC_EDIT), dialog.ItemWindow(IDC_EDIT));
  EXPECT_EQ(nullptr, dialog.ItemWindow(IDD_MISSING));

  struct IntegerCase {
    std::int64_t value;
    const wchar_t *text;
  };
  const IntegerCase integers[] = {
      {0, L"0"},
      {-12, L"-12"},
      {INT64_MAX, L"9223372036854775807"},
      {INT64_MIN, L"-9223372036854775808"},
  };
  for (const IntegerCase &c : integers) {
    EXPECT_TRUE(dialog.SetDialogInteger(IDC_EDIT, c.value));
    EXPECT_EQ(c.text, GetItemTextString(window, IDC_EDIT));
    EXPECT_EQ(c.value, dialog.ReadDialogInteger(IDC_EDIT));
  }
  struct TextCase {
    const wchar_t *text;
    std::int64_t value;
  };
  const TextCase texts[] = {{L" 1 000 ", 1000}, {L"1 000", 1000}, {L"12 Kopien", 12},
                            {L"", 0},         {L"+5", 0},       {L"-7x", -7}};
  for (const TextCase &c : texts) {
    EXPECT_TRUE(dialog.SetDialogText(IDC_EDIT, c.text));
    EXPECT_EQ(c.text, GetWindowTextString(GetDlgItem(window, IDC_EDIT)));
    EXPECT_EQ(c.value, dialog.ReadDialogInteger(IDC_EDIT)) << c.text;
  }
  EXPECT_FALSE(dialog.SetDialogText(IDD_MISSING, L"x"));
  EXPECT_FALSE(dialog.SetDialogInteger(IDD_MISSING, 1));
  EXPECT_EQ(0, dialog.ReadDialogInteger(IDD_MISSING));

  // Longer than any fixed buffer the program used to read texts into.
  std::wstring longText(5000, L'7');
  longText[4999] = L'\u00e4';
  EXPECT_TRUE(dialog.SetDialogText(IDC_EDIT, longText));
  EXPECT_EQ(longText, GetItemTextString(window, IDC_EDIT));

  dialog.SetDialogText(IDC_EDIT, L"abcdef");
  dialog.SendToItem(IDC_EDIT, EM_SETSEL, 1, 4);
  DWORD start = 0, end = 0;
  dialog.SendToItem(IDC_EDIT, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                    reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(1u, start);
  EXPECT_EQ(4u, end);

  EXPECT_EQ(L"#32770", GetWindowClassName(window));
  EXPECT_EQ(L"Edit", GetWindowClassName(GetDlgItem(window, IDC_EDIT)));
  EXPECT_EQ(L"ComboBox", GetWindowClassName(GetDlgItem(window, IDC_COMBO)));
  EXPECT_EQ(L"", GetWindowClassName(nullptr));
  EXPECT_EQ(L"", GetWindowTextString(nullptr));
  EXPECT_EQ(L"Fixed test dialog", GetWindowTextString(window));

  EXPECT_TRUE(dialog.EndDialog(5));
  DestroyWindow(window);
  EXPECT_FALSE(dialog.EndDialog(5));
}

TEST(WindowUtilities, LoadSmallIcon) {
  HICON icon = LoadSmallIcon(TestModule(), MAKEINTRESOURCEW(1));
  ASSERT_NE(nullptr, icon);
  const SIZE s = IconSize(icon);
  EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), s.cx);
  EXPECT_EQ(GetSystemMetrics(SM_CYSMICON), s.cy);
  DestroyIcon(icon);
  EXPECT_EQ(nullptr, LoadSmallIcon(TestModule(), MAKEINTRESOURCEW(77)));
}

} // namespace

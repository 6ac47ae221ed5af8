// Focus memory with real focus changes: a modeless dialog of the test
// thread loses activation to another window of the thread.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstdlib>

#include "dialogs/dialog_fixture.h"
#include "dialogs/focus_tracking.h"

namespace {

// One block whose freeing the test watches (the operator delete below sees
// every block this program frees).
const void *g_watched = nullptr;
bool g_watchedFreed = false;

void WatchFreeing(const void *block) {
  g_watched = block;
  g_watchedFreed = false;
}
bool WatchedWasFreed() { return g_watchedFreed; }

void NoteFreed(void *block) {
  if (block != nullptr && block == g_watched)
    g_watchedFreed = true;
}

} // namespace

void operator delete(void *block) noexcept {
  NoteFreed(block);
  std::free(block);
}
void operator delete(void *block, std::size_t) noexcept {
  NoteFreed(block);
  std::free(block);
}

namespace {

class FocusDialog : public testing::Test {
protected:
  void SetUp() override {
    window_ = CreateModeless(dialog_, IDD_FIXED);
    ASSERT_NE(nullptr, window_);
    ASSERT_EQ(window_, GetActiveWindow());
    other_ = CreateWindowExW(0, L"Static", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, other_);
    SetActiveWindow(window_);
    // Showing the other window took the activation once already; each test
    // starts with nothing remembered.
    ForgetFocus(window_);
    ASSERT_EQ(nullptr, Remembered());
  }
  void TearDown() override {
    if (window_ != nullptr)
      DestroyWindow(window_);
    if (other_ != nullptr)
      DestroyWindow(other_);
  }

  HWND Item(int id) const { return GetDlgItem(window_, id); }
  // Puts the focus on `control` (with a selection for an edit), then
  // activates the other window, then the dialog again.
  void FocusThenDeactivate(HWND control, int selStart = -1, int selEnd = -1) {
    SetActiveWindow(window_);
    SetFocus(control);
    ASSERT_EQ(control, GetFocus());
    if (selStart >= 0)
      SendMessageW(control, EM_SETSEL, WPARAM(selStart), LPARAM(selEnd));
    dialog_.focusAnswers.clear();
    dialog_.seen.clear();
    SetActiveWindow(other_);
    ASSERT_EQ(other_, GetActiveWindow());
  }
  HWND Remembered() const { return static_cast<HWND>(GetPropW(window_, L"ZV_FocusChild")); }
  const FocusSelection *Selection() const {
    return static_cast<const FocusSelection *>(GetPropW(window_, L"ZV_FocusChildSel"));
  }
  // What TrackFocus answered to the deactivation.
  std::int32_t DeactivationAnswer() const {
    for (std::size_t i = 0; i < dialog_.seen.size(); ++i)
      if (dialog_.seen[i].message == WM_ACTIVATE && LOWORD(dialog_.seen[i].wParam) == WA_INACTIVE)
        return dialog_.focusAnswers[i];
    return -1;
  }
  LRESULT QueryInitialFocus() {
    PSHNOTIFY notify = {};
    notify.hdr.hwndFrom = window_;
    notify.hdr.code = PSN_QUERYINITIALFOCUS;
    return SendMessageW(window_, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notify));
  }
  void ExpectSelection(HWND edit, DWORD start, DWORD end) {
    DWORD s = 0, e = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    EXPECT_EQ(start, s);
    EXPECT_EQ(end, e);
  }

  RecordingDialog dialog_{nullptr, true};
  HWND window_ = nullptr;
  HWND other_ = nullptr;
};

TEST_F(FocusDialog, EditWithSelectionIsRemembered) {
  SetDlgItemTextW(window_, IDC_EDIT, L"12345");
  FocusThenDeactivate(Item(IDC_EDIT), 1, 3);
  EXPECT_EQ(0, DeactivationAnswer());
  EXPECT_EQ(Item(IDC_EDIT), Remembered());
  const FocusSelection *first = Selection();
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(1u, first->start);
  EXPECT_EQ(3u, first->end);

  // Twice: one record, holding the second selection.
  FocusThenDeactivate(Item(IDC_EDIT), 2, 5);
  EXPECT_EQ(Item(IDC_EDIT), Remembered());
  ASSERT_NE(nullptr, Selection());
  EXPECT_EQ(2u, Selection()->start);
  EXPECT_EQ(5u, Selection()->end);
}

TEST_F(FocusDialog, PushButtonIsRememberedWithoutAskingForASelection) {
  SetDlgItemTextW(window_, IDC_EDIT, L"12345");
  FocusThenDeactivate(Item(IDC_EDIT), 0, 4);
  FocusThenDeactivate(Item(IDC_BUTTON));
  EXPECT_EQ(0, DeactivationAnswer());
  EXPECT_EQ(Item(IDC_BUTTON), Remembered());
  // The edit's record stays; it is used only while an edit is remembered.
  ASSERT_NE(nullptr, Selection());
  EXPECT_EQ(4u, Selection()->end);
  // The query answers with the button and sets no selection anywhere.
  SendMessageW(Item(IDC_EDIT), EM_SETSEL, 0, 0);
  EXPECT_EQ(reinterpret_cast<LRESULT>(Item(IDC_BUTTON)), QueryInitialFocus());
  ExpectSelection(Item(IDC_EDIT), 0, 0);
}

TEST_F(FocusDialog, EditPartOfAComboBoxIsNotRemembered) {
  HWND comboEdit = GetWindow(Item(IDC_COMBO), GW_CHILD);
  ASSERT_NE(nullptr, comboEdit);
  ASSERT_EQ(Item(IDC_COMBO), GetParent(comboEdit));
  FocusThenDeactivate(comboEdit, 0, 0);
  EXPECT_EQ(0, DeactivationAnswer());
  EXPECT_EQ(nullptr, Remembered());
  EXPECT_EQ(nullptr, Selection());
}

TEST_F(FocusDialog, ActivationItselfChangesNothing) {
  SetActiveWindow(window_);
  SetFocus(Item(IDC_EDIT));
  for (WPARAM state : {WPARAM(WA_ACTIVE), WPARAM(WA_CLICKACTIVE)}) {
    EXPECT_EQ(0, TrackFocus(window_, WM_ACTIVATE, state, 0)) << state;
    EXPECT_EQ(nullptr, Remembered()) << state;
    EXPECT_EQ(nullptr, Selection()) << state;
  }
  // Deactivation reported directly, with the focus on a direct child, is
  // the one that remembers.
  EXPECT_EQ(0, TrackFocus(window_, WM_ACTIVATE, WA_INACTIVE, 0));
  EXPECT_EQ(Item(IDC_EDIT), Remembered());
}

TEST_F(FocusDialog, InitialFocusQuery) {
  // Nothing remembered: answered (1) with 0, so the sheet chooses.
  SetWindowLongPtrW(window_, DWLP_MSGRESULT, 0x1234);
  PSHNOTIFY notify = {};
  notify.hdr.hwndFrom = window_;
  notify.hdr.code = PSN_QUERYINITIALFOCUS;
  EXPECT_EQ(1, TrackFocus(window_, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notify)));
  EXPECT_EQ(0, GetWindowLongPtrW(window_, DWLP_MSGRESULT));

  // A remembered edit: its selection comes back and the full handle is the
  // answer, in the pointer-sized message-result slot.
  SetDlgItemTextW(window_, IDC_EDIT2, L"abcdefgh");
  FocusThenDeactivate(Item(IDC_EDIT2), 2, 6);
  SendMessageW(Item(IDC_EDIT2), EM_SETSEL, 0, 0);
  EXPECT_EQ(reinterpret_cast<LRESULT>(Item(IDC_EDIT2)), QueryInitialFocus());
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(Item(IDC_EDIT2)),
            GetWindowLongPtrW(window_, DWLP_MSGRESULT));
  ExpectSelection(Item(IDC_EDIT2), 2, 6);
  ASSERT_FALSE(dialog_.focusAnswers.empty());
  EXPECT_EQ(1, dialog_.focusAnswers.back());
}

TEST_F(FocusDialog, LeavingThePageAndDestroyForget) {
  SetDlgItemTextW(window_, IDC_EDIT, L"12345");
  for (UINT how : {UINT(PSN_KILLACTIVE), UINT(WM_NCDESTROY)}) {
    FocusThenDeactivate(Item(IDC_EDIT), 1, 2);
    ASSERT_NE(nullptr, Remembered());
    ASSERT_NE(nullptr, Selection());
    NMHDR header = {window_, 0, how};
    const std::int32_t answer =
        how == WM_NCDESTROY ? TrackFocus(window_, WM_NCDESTROY, 0, 0)
                            : TrackFocus(window_, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(0, answer) << how;
    EXPECT_EQ(nullptr, Remembered()) << how;
    EXPECT_EQ(nullptr, Selection()) << how;
  }
}

// The selection record is freed, and both properties are gone, by the time
// the dialog's own handler sees WM_NCDESTROY, which still reaches it.
TEST_F(FocusDialog, DestroyReachesTheDialogAfterForgetting) {
  SetDlgItemTextW(window_, IDC_EDIT, L"12345");
  FocusThenDeactivate(Item(IDC_EDIT), 1, 2);
  ASSERT_NE(nullptr, Selection());
  WatchFreeing(Selection());
  bool freedBeforeTheHandler = false;
  bool propertiesGone = false;
  dialog_.reply = [&](HWND window, UINT message, WPARAM, LPARAM) -> INT_PTR {
    if (message == WM_NCDESTROY) {
      freedBeforeTheHandler = WatchedWasFreed();
      propertiesGone = GetPropW(window, L"ZV_FocusChildSel") == nullptr &&
                       GetPropW(window, L"ZV_FocusChild") == nullptr;
    }
    return FALSE;
  };
  dialog_.seen.clear();
  dialog_.focusAnswers.clear();
  DestroyWindow(window_);
  window_ = nullptr;
  WatchFreeing(nullptr);
  ASSERT_FALSE(dialog_.seen.empty());
  EXPECT_EQ(UINT(WM_NCDESTROY), dialog_.seen.back().message);
  EXPECT_EQ(0, dialog_.focusAnswers.back());
  EXPECT_TRUE(freedBeforeTheHandler);
  EXPECT_TRUE(propertiesGone);
}

TEST(FocusRecords, DialogProcForgetsForHandlersThatDoNotTrack) {
  // A dialog whose handler never hands WM_NCDESTROY to TrackFocus still
  // loses the record with its window.
  RecordingDialog dialog;
  HWND window = CreateModeless(dialog, IDD_FIXED);
  ASSERT_NE(nullptr, window);
  SetFocus(GetDlgItem(window, IDC_EDIT));
  EXPECT_EQ(0, TrackFocus(window, WM_ACTIVATE, WA_INACTIVE, 0));
  ASSERT_NE(nullptr, GetPropW(window, L"ZV_FocusChildSel"));
  DialogProc(window, WM_NCDESTROY, 0, 0);
  EXPECT_EQ(nullptr, GetPropW(window, L"ZV_FocusChildSel"));
  EXPECT_EQ(nullptr, GetPropW(window, L"ZV_FocusChild"));
  DestroyWindow(window);
}

} // namespace

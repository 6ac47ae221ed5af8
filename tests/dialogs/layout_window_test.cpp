// Layout on resize, the status bar and the minimum tracking size, on a real
// resizable dialog.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <memory>
#include <vector>

#include "dialogs/dialog_fixture.h"
#include "support/rect_compare.h"

namespace {

// Entries in table order: the tall box first (before the shared groups
// advance the offset), then two column groups sharing the width 1:3, the
// second holding a control that the dialog lacks, whose child is still laid
// out.
std::vector<LayoutEntry> TestLayout() {
  return {
      {0x30000000, 0, kLayoutStretchY, IDC_TALL, {}},
      {0x10000000, 1, kLayoutShareX, 0, {}},
      {0x11000000, 1, kLayoutStretchX | kLayoutStretchY, IDC_STRETCH, {}},
      {0x12000000, 1, kLayoutMoveX | kLayoutMoveY, IDC_MOVE, {}},
      {0x20000000, 3, kLayoutShareX, 0, {}},
      {0x21000000, 1, kLayoutMoveHalfX | kLayoutMoveHalfY, IDC_HALF, {}},
      {0x22000000, 1, kLayoutStretchX, IDC_MISSING, {}},
      {0x22100000, 1, kLayoutStretchX | kLayoutMoveY, IDC_ORPHAN, {}},
      {},
  };
}

struct Delta {
  int control;
  RECT change; // added to the control's first rectangle
};

struct SizeCase {
  int dx, dy;
  std::vector<Delta> deltas;
};

SIZE OuterSize(HWND window) {
  RECT r = {};
  GetWindowRect(window, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

SIZE ClientSize(HWND window) {
  RECT r = {};
  GetClientRect(window, &r);
  return SIZE{r.right, r.bottom};
}

class ResizableDialog : public testing::Test {
protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    table_ = TestLayout();
    layout_ = table_.data();
    dialog_ = std::make_unique<RecordingDialog>(layout_);
    window_ = CreateModeless(*dialog_, IDD_RESIZABLE);
    ASSERT_NE(nullptr, window_);
    for (int id : {IDC_TALL, IDC_STRETCH, IDC_MOVE, IDC_HALF, IDC_ORPHAN})
      first_[id] = ClientRectOf(window_, id);
    outer_ = OuterSize(window_);
    client_ = ClientSize(window_);
  }
  void TearDown() override {
    if (window_ != nullptr)
      DestroyWindow(window_);
  }
  void Resize(int width, int height) {
    SetWindowPos(window_, nullptr, 0, 0, width, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  std::vector<LayoutEntry> table_;
  LayoutEntry *layout_ = nullptr;
  std::unique_ptr<RecordingDialog> dialog_;
  HWND window_ = nullptr;
  std::map<int, RECT> first_;
  SIZE outer_ = {}, client_ = {};
};

TEST_F(ResizableDialog, RecordsItsFirstGeometry) {
  EXPECT_EQ(outer_.cx, dialog_->initialWidth);
  EXPECT_EQ(outer_.cy, dialog_->initialHeight);
  EXPECT_EQ(client_.cx, dialog_->initialClientRect.right);
  EXPECT_EQ(client_.cy, dialog_->initialClientRect.bottom);
  EXPECT_EQ(GetDlgItem(window_, IDC_STATUS), dialog_->statusBar);
  for (const LayoutEntry *e = layout_; e->key != 0; ++e) {
    const RECT expected = e->controlId == 0 || e->controlId == IDC_MISSING
                              ? RECT{}
                              : first_[e->controlId];
    EXPECT_EQ(expected, e->rect) << std::hex << e->key;
  }
}

TEST_F(ResizableDialog, ControlsFollowTheTableOnResize) {
  // Width shares: 1/4 and 3/4 of dx; the second group starts after the first
  // group's share. Halves truncate toward zero.
  const SizeCase cases[] = {
      {40,
       20,
       {{IDC_TALL, {0, 0, 0, 20}},
        {IDC_STRETCH, {0, 0, 10, 20}},
        {IDC_MOVE, {10, 20, 10, 20}},
        {IDC_HALF, {25, 10, 25, 10}},
        {IDC_ORPHAN, {10, 20, 40, 20}}}},
      // Smaller again, still above the first size: 12 by 6.
      {12,
       6,
       {{IDC_TALL, {0, 0, 0, 6}},
        {IDC_STRETCH, {0, 0, 3, 6}},
        {IDC_MOVE, {3, 6, 3, 6}},
        {IDC_HALF, {7, 3, 7, 3}},
        {IDC_ORPHAN, {3, 6, 12, 6}}}},
      // Back to the first size: everything where it started.
      {0,
       0,
       {{IDC_TALL, {}}, {IDC_STRETCH, {}}, {IDC_MOVE, {}}, {IDC_HALF, {}}, {IDC_ORPHAN, {}}}},
  };
  for (const SizeCase &c : cases) {
    Resize(outer_.cx + c.dx, outer_.cy + c.dy);
    const SIZE client = ClientSize(window_);
    ASSERT_EQ(client_.cx + c.dx, client.cx);
    ASSERT_EQ(client_.cy + c.dy, client.cy);
    for (const Delta &d : c.deltas) {
      const RECT &f = first_[d.control];
      const RECT expected = {f.left + d.change.left, f.top + d.change.top,
                             f.right + d.change.right, f.bottom + d.change.bottom};
      EXPECT_EQ(expected, ClientRectOf(window_, d.control))
          << "control " << d.control << " after " << c.dx << " by " << c.dy;
    }
    // The status bar spans the bottom of the client area.
    const RECT status = ClientRectOf(window_, IDC_STATUS);
    EXPECT_EQ(0, status.left);
    EXPECT_EQ(client.cx, status.right);
    EXPECT_EQ(client.cy, status.bottom);
    EXPECT_GT(status.bottom, status.top);
  }
}

TEST_F(ResizableDialog, FirstSizeIsTheMinimum) {
  MINMAXINFO info = {};
  SendMessageW(window_, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(outer_.cx, info.ptMinTrackSize.x);
  EXPECT_EQ(outer_.cy, info.ptMinTrackSize.y);

  Resize(outer_.cx - 50, outer_.cy - 30);
  const SIZE now = OuterSize(window_);
  EXPECT_EQ(outer_.cx, now.cx);
  EXPECT_EQ(outer_.cy, now.cy);
  EXPECT_EQ(first_[IDC_STRETCH], ClientRectOf(window_, IDC_STRETCH));
}

TEST(DialogWithoutLayout, SizeReachesTheHandlerOnly) {
  RecordingDialog dialog;
  HWND window = CreateModeless(dialog, IDD_PLAIN_RESIZABLE);
  ASSERT_NE(nullptr, window);
  // Neither a table nor a status bar to follow the size.
  EXPECT_EQ(nullptr, dialog.layout);
  EXPECT_EQ(nullptr, dialog.statusBar);
  const RECT before = ClientRectOf(window, IDC_PLAIN);
  RECT outer = {};
  GetWindowRect(window, &outer);
  dialog.seen.clear();
  SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + 40,
               outer.bottom - outer.top + 20, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(1u, dialog.Filtered({WM_SIZE}).size());
  EXPECT_EQ(before, ClientRectOf(window, IDC_PLAIN));
  DestroyWindow(window);
}

} // namespace

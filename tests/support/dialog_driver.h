// Answers the dialogs that the test's own thread shows, on that thread.
//
// A CBT hook sees each dialog ("#32770") of this thread being activated and
// arms a zero-delay thread timer; the modal loop of the dialog (DialogBox,
// MessageBox, the print and TWAIN dialogs alike) dispatches that timer once
// it waits for input, and the answer runs then, with the dialog shown,
// initialised and active. No other thread and no polling are involved.
#pragma once

#include <windows.h>

#include <functional>
#include <set>
#include <vector>

class DialogDriver {
public:
  using Answer = std::function<void(HWND dialog)>;
  // Hands each new dialog of this thread to `answer` while the driver
  // lives. Only one driver may live at a time.
  explicit DialogDriver(Answer answer);
  ~DialogDriver();
  DialogDriver(const DialogDriver &) = delete;
  DialogDriver &operator=(const DialogDriver &) = delete;

  // How many dialogs were handed to the answer.
  int DialogsSeen() const { return seen_; }

private:
  static LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam);
  static void CALLBACK Fire(HWND, UINT, UINT_PTR timer, DWORD);
  void Arm(HWND dialog);

  Answer answer_;
  HHOOK hook_ = nullptr;
  UINT_PTR timer_ = 0;
  int seen_ = 0;
  std::set<HWND> known_;
  std::vector<HWND> pending_;
};

// Clicks button `id` of a dialog (posted, as a click would arrive).
void PressButton(HWND dialog, int id);

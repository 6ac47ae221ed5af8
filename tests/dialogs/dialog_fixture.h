// The dialog tests' shared pieces: a dialog that records what its handler
// sees, modeless creation through the framework's dialog procedure, and a
// log of the messages sent to a window.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "dialogs/dialog_base.h"
#include "dialogs/test_dialog_ids.h"
#include "support/call_record.h"

struct SeenMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// Logs every message its HandleMessage gets. With `trackFocus` it first
// hands the message to TrackFocus, as the copier's dialog does, and logs the
// answer. `reply` (optional) gives the handler's result.
class RecordingDialog : public DialogBase {
public:
  explicit RecordingDialog(LayoutEntry *layoutTable = nullptr, bool trackFocus = false);
  INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  // The messages in `watched`, in the order seen.
  std::vector<SeenMessage> Filtered(const std::vector<UINT> &watched) const;
  // The same as records: "WM_INITDIALOG wParam=... lParam=0".
  std::vector<CallRecord> Records(const std::vector<UINT> &watched) const;

  bool trackFocus;
  std::vector<SeenMessage> seen;
  std::vector<std::int32_t> focusAnswers;
  bool modalAtInit = false;
  std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> reply;
};

// A message's name as records show it: "WM_SIZE", "WM_APP+1", else hex.
std::string MessageName(UINT message);

// This test program, which holds the templates and icon 1.
HINSTANCE TestModule();

// Creates template `templateId` as a modeless dialog bound to `dialog`
// through DialogProc, shown and active. Null on failure.
HWND CreateModeless(WindowBase &dialog, int templateId);

// Records the messages sent to one window (a thread WH_CALLWNDPROC hook):
// also those that reach the window before the dialog object is bound.
class SentMessageLog {
public:
  SentMessageLog();
  ~SentMessageLog();
  SentMessageLog(const SentMessageLog &) = delete;
  SentMessageLog &operator=(const SentMessageLog &) = delete;
  // The messages sent to windows of class "#32770" (there is one test
  // dialog at a time).
  std::vector<UINT> messages;

private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
  HHOOK hook_ = nullptr;
};

// The rectangle of a control in client coordinates of its dialog.
RECT ClientRectOf(HWND dialog, int controlId);

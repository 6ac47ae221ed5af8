#include "dialogs/dialog_fixture.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "dialogs/focus_tracking.h"
#include "dialogs/window_utils.h"

RecordingDialog::RecordingDialog(LayoutEntry *layoutTable, bool track)
    : DialogBase(layoutTable), trackFocus(track) {}

INT_PTR RecordingDialog::HandleMessage(HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam) {
  seen.push_back({message, wParam, lParam});
  if (message == WM_INITDIALOG)
    modalAtInit = inModalLoop;
  if (trackFocus) {
    const std::int32_t answer = TrackFocus(window, message, wParam, lParam);
    focusAnswers.push_back(answer);
    if (answer != 0)
      return TRUE;
  }
  return reply ? reply(window, message, wParam, lParam) : FALSE;
}

std::vector<SeenMessage> RecordingDialog::Filtered(const std::vector<UINT> &watched) const {
  std::vector<SeenMessage> out;
  for (const SeenMessage &m : seen)
    if (std::find(watched.begin(), watched.end(), m.message) != watched.end())
      out.push_back(m);
  return out;
}

std::vector<CallRecord> RecordingDialog::Records(const std::vector<UINT> &watched) const {
  std::vector<CallRecord> records;
  for (const SeenMessage &m : Filtered(watched)) {
    CallRecord record;
    record.call = MessageName(m.message);
    record.With("wParam", std::to_string(m.wParam)).With("lParam", std::to_string(m.lParam));
    records.push_back(record);
  }
  return records;
}

std::string MessageName(UINT message) {
  static const struct {
    UINT message;
    const char *name;
  } names[] = {
      {WM_CREATE, "WM_CREATE"},         {WM_DESTROY, "WM_DESTROY"},
      {WM_SIZE, "WM_SIZE"},             {WM_ACTIVATE, "WM_ACTIVATE"},
      {WM_SETFONT, "WM_SETFONT"},       {WM_NCCREATE, "WM_NCCREATE"},
      {WM_NCDESTROY, "WM_NCDESTROY"},   {WM_NOTIFY, "WM_NOTIFY"},
      {WM_INITDIALOG, "WM_INITDIALOG"}, {WM_COMMAND, "WM_COMMAND"},
      {WM_GETMINMAXINFO, "WM_GETMINMAXINFO"},
  };
  for (const auto &n : names)
    if (n.message == message)
      return n.name;
  if (message >= WM_APP && message <= 0xBFFF)
    return "WM_APP+" + std::to_string(message - WM_APP);
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", message);
  return text;
}

HINSTANCE TestModule() { return GetModuleHandleW(nullptr); }

HWND CreateModeless(WindowBase &dialog, int templateId) {
  DialogCreateParams params = {0, &dialog};
  HWND window = CreateDialogParamW(TestModule(), MAKEINTRESOURCEW(templateId), nullptr,
                                   DialogProc, reinterpret_cast<LPARAM>(&params));
  if (window != nullptr) {
    ShowWindow(window, SW_SHOW);
    SetActiveWindow(window);
  }
  return window;
}

namespace {
SentMessageLog *g_log = nullptr;
}

SentMessageLog::SentMessageLog() {
  g_log = this;
  hook_ = SetWindowsHookExW(WH_CALLWNDPROC, Hook, nullptr, GetCurrentThreadId());
}

SentMessageLog::~SentMessageLog() {
  if (hook_ != nullptr)
    UnhookWindowsHookEx(hook_);
  g_log = nullptr;
}

LRESULT CALLBACK SentMessageLog::Hook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && g_log != nullptr) {
    const auto *sent = reinterpret_cast<const CWPSTRUCT *>(lParam);
    if (HasWindowClass(sent->hwnd, L"#32770"))
      g_log->messages.push_back(sent->message);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

RECT ClientRectOf(HWND dialog, int controlId) {
  RECT rect = {};
  HWND control = GetDlgItem(dialog, controlId);
  if (control != nullptr && GetWindowRect(control, &rect))
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&rect), 2);
  return rect;
}

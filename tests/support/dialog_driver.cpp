#include "support/dialog_driver.h"

#include "dialogs/window_utils.h"

namespace {

DialogDriver *g_driver = nullptr;

bool IsDialogWindow(HWND window) { return HasWindowClass(window, L"#32770"); }

} // namespace

DialogDriver::DialogDriver(Answer answer) : answer_(std::move(answer)) {
  g_driver = this;
  hook_ = SetWindowsHookExW(WH_CBT, CbtHook, nullptr, GetCurrentThreadId());
}

DialogDriver::~DialogDriver() {
  if (hook_ != nullptr)
    UnhookWindowsHookEx(hook_);
  if (timer_ != 0)
    KillTimer(nullptr, timer_);
  g_driver = nullptr;
}

LRESULT CALLBACK DialogDriver::CbtHook(int code, WPARAM wParam, LPARAM lParam) {
  DialogDriver *driver = g_driver;
  if (driver != nullptr && code >= 0) {
    HWND window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && IsDialogWindow(window))
      driver->Arm(window);
    else if (code == HCBT_DESTROYWND)
      driver->known_.erase(window);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void DialogDriver::Arm(HWND dialog) {
  // A dialog is answered once, however often it is reactivated.
  if (!known_.insert(dialog).second)
    return;
  pending_.push_back(dialog);
  if (timer_ == 0)
    timer_ = SetTimer(nullptr, 0, 0, Fire);
}

void CALLBACK DialogDriver::Fire(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  DialogDriver *driver = g_driver;
  if (driver == nullptr || driver->timer_ != timer)
    return;
  driver->timer_ = 0;
  std::vector<HWND> dialogs;
  dialogs.swap(driver->pending_);
  for (HWND dialog : dialogs) {
    if (!IsWindow(dialog))
      continue;
    ++driver->seen_;
    if (driver->answer_)
      driver->answer_(dialog);
  }
}

void PressButton(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Drives the copier's window from another process the way a person would:
// controls found by id, clicks and keys sent to them, message boxes and the
// scanner's and printer's dialogs answered. Steps run in the order given; each
// step that reads something prints "name=value" lines (UTF-8) on standard
// output. For end-to-end tests and the screenshots script.
//
//   copier_driver.exe STEP [STEP...]
//
// Steps (times in milliseconds):
//   dialog T            wait for the main dialog (caption "Zelvantor Copier",
//                       with control 101); every later step works on it
//   state               print the controls' values, the focus and selection
//   text ID             print the text of a control as text<ID>=
//   set ID TEXT         set a control's text (an edit sends EN_CHANGE)
//   click ID            post BM_CLICK to a button (returns at once)
//   mouse ID N          N left clicks (2: a double click) with the real mouse
//                       in the middle of a control
//   keys K...;          real keyboard input, ended by a lone ";": a digit or
//                       letter types it, alt+X presses a mnemonic, enter,
//                       esc, tab, shift+tab, ctrl+down, ctrl+up
//   select ID INDEX     choose an entry of a combo box as a person would
//                       (CB_SETCURSEL and CBN_SELCHANGE to the dialog)
//   track ID POS        move a trackbar
//   box T [BUTTON]      wait for a message box of the program, print its text
//                       as box=, press BUTTON (default IDOK)
//   nobox T             check that no message box appears within T: nobox=1
//   busy T              wait for the visible "Scanning..." proxy window;
//                       print its caption and whether the dialog is enabled
//   idle T              wait until the dialog is enabled again
//   source T INDEX      answer the scanner's "Select Source" dialog: pick
//                       entry INDEX and OK, or Cancel for -1
//   printer T NAME      answer the print dialog: pick printer NAME and OK,
//                       or Cancel for "-"
//   close               the window's close button (WM_SYSCOMMAND SC_CLOSE)
//   endtask             WM_CLOSE, as a task manager sends it; reaches the
//                       dialog also while it is disabled
//   gone T              wait until the dialog window is destroyed: gone=1
//   rect                print the dialog's screen rectangle as rect=WxH+X+Y
//   boxrect T           wait for a message box, print its rectangle, leave it
//   until ID TEXT T     wait until a control shows TEXT
//   enabled ID 0|1 T    wait until a control is disabled (0) or enabled (1)
//   trace FILE TEXT N T wait until FILE holds at least N lines containing
//                       TEXT (the virtual scanner's trace)
//   wait T              let the program work for T
//
// Windows of another process appear and change without telling us, except
// through accessibility events: waits listen to those and look again at each
// one, with a slow re-check in case an event is not sent.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <string>
#include <vector>

#include "resources/main_dialog_ids.h"

namespace {

constexpr wchar_t kCaption[] = L"Zelvantor Copier";
constexpr wchar_t kDialogClass[] = L"#32770";
HWND gDialog = nullptr;
int gFailures = 0;

void WriteUtf8(const std::wstring &text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0,
                                        nullptr, nullptr);
  std::string out(std::size_t(bytes), '\0');
  if (bytes > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), &out[0], bytes, nullptr,
                        nullptr);
  std::fwrite(out.data(), 1, out.size(), stdout);
}

void Print(const std::wstring &name, const std::wstring &value) {
  // Line breaks inside a value (message boxes) become a visible "\n".
  std::wstring flat;
  for (wchar_t c : value) {
    if (c == L'\r')
      continue;
    if (c == L'\n')
      flat += L"\\n";
    else
      flat += c;
  }
  WriteUtf8(name + L"=" + flat + L"\n");
  std::fflush(stdout);
}

void Fail(const std::wstring &what) {
  ++gFailures;
  Print(L"error", what);
}

std::wstring ItemText(HWND dialog, int id) {
  // WM_GETTEXT crosses processes for edits and combo boxes too.
  wchar_t text[4096] = {};
  SendDlgItemMessageW(dialog, id, WM_GETTEXT, 4096, LPARAM(text));
  return text;
}

void CALLBACK IgnoreEvent(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) {}

// Waits until found() gives a window or the time is up. Accessibility events
// of any process wake the wait; a 100 ms re-check covers events not sent.
HWND WaitFor(DWORD timeout, const std::function<HWND()> &found) {
  // The events only wake the wait; what changed is looked at again.
  static HWINEVENTHOOK hook = SetWinEventHook(EVENT_MIN, EVENT_MAX, nullptr, IgnoreEvent, 0, 0,
                                              WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
  (void)hook;
  const DWORD start = GetTickCount();
  for (;;) {
    if (HWND window = found())
      return window;
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeout)
      return nullptr;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(100, timeout - elapsed),
                              QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&msg);
  }
}

struct FindData {
  const wchar_t *className;
  const wchar_t *caption; // null: any
  std::function<bool(HWND)> accept;
  HWND found;
};

BOOL CALLBACK MatchTopWindow(HWND window, LPARAM param) {
  FindData &d = *reinterpret_cast<FindData *>(param);
  wchar_t name[256] = {}, text[256] = {};
  GetClassNameW(window, name, 256);
  if (lstrcmpiW(name, d.className) != 0 || !IsWindowVisible(window))
    return TRUE;
  GetWindowTextW(window, text, 256);
  if (d.caption != nullptr && std::wcscmp(text, d.caption) != 0)
    return TRUE;
  if (d.accept && !d.accept(window))
    return TRUE;
  d.found = window;
  return FALSE;
}

HWND FindTopWindow(const wchar_t *className, const wchar_t *caption,
                   std::function<bool(HWND)> accept) {
  FindData data{className, caption, std::move(accept), nullptr};
  EnumWindows(MatchTopWindow, LPARAM(&data));
  return data.found;
}

bool IsMainDialog(HWND window) { return GetDlgItem(window, ZV_ID_SCANNER_NAME) != nullptr; }

// A message box of the program: its caption, no main-dialog controls.
HWND FindBox() {
  return FindTopWindow(kDialogClass, kCaption, [](HWND w) { return !IsMainDialog(w); });
}

// Sends keyboard input as the hardware would.
void Key(WORD vk, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &input, sizeof(input));
}

void Press(std::initializer_list<WORD> modifiers, WORD vk) {
  for (WORD m : modifiers)
    Key(m, false);
  Key(vk, false);
  Key(vk, true);
  for (WORD m : modifiers)
    Key(m, true);
}

void BringToFront() {
  SetForegroundWindow(gDialog);
  SetActiveWindow(gDialog);
}

// One key word of the "keys" step.
bool TypeKey(const std::wstring &word) {
  auto vkOf = [](wchar_t c) -> WORD {
    if (c >= L'0' && c <= L'9')
      return WORD(c);
    if (c >= L'a' && c <= L'z')
      return WORD(c - L'a' + L'A');
    if (c >= L'A' && c <= L'Z')
      return WORD(c);
    return 0;
  };
  if (word == L"enter")
    Press({}, VK_RETURN);
  else if (word == L"esc")
    Press({}, VK_ESCAPE);
  else if (word == L"tab")
    Press({}, VK_TAB);
  else if (word == L"shift+tab")
    Press({VK_SHIFT}, VK_TAB);
  else if (word == L"ctrl+down")
    Key(VK_CONTROL, false);
  else if (word == L"ctrl+up")
    Key(VK_CONTROL, true);
  else if (word == L"down")
    Press({}, VK_DOWN);
  else if (word == L"up")
    Press({}, VK_UP);
  else if (word == L"space")
    Press({}, VK_SPACE);
  else if (word == L"backspace")
    Press({}, VK_BACK);
  else if (word.size() == 5 && word.compare(0, 4, L"alt+") == 0 && vkOf(word[4]))
    Press({VK_MENU}, vkOf(word[4]));
  else if (word.size() == 1 && vkOf(word[0]))
    Press({}, vkOf(word[0]));
  else
    return false;
  return true;
}

int FocusedControlId() {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  const DWORD thread = GetWindowThreadProcessId(gDialog, nullptr);
  if (!GetGUIThreadInfo(thread, &info) || info.hwndFocus == nullptr)
    return 0;
  return GetDlgCtrlID(info.hwndFocus);
}

void PrintState() {
  for (int id : {ZV_ID_SCANNER_NAME, ZV_ID_COPY_PRINTER_NAME, ZV_ID_FAX_PRINTER_NAME, ZV_ID_COPIES,
                 ZV_ID_PERCENT, ZV_ID_SOURCE_PAPER, ZV_ID_DESTINATION_PAPER, ZV_ID_MODE})
    Print(L"text" + std::to_wstring(id), ItemText(gDialog, id));
  for (int id : {ZV_ID_COPIES, ZV_ID_PERCENT, ZV_ID_SOURCE_PAPER, ZV_ID_DESTINATION_PAPER, ZV_ID_COPY,
                 ZV_ID_FAX, ZV_ID_SCANNER_BROWSE, ZV_ID_COPY_PRINTER_BROWSE, ZV_ID_FAX_PRINTER_BROWSE})
    Print(L"enabled" + std::to_wstring(id),
          IsWindowEnabled(GetDlgItem(gDialog, id)) ? L"1" : L"0");
  Print(L"percentOption", IsDlgButtonChecked(gDialog, ZV_ID_PERCENT_OPTION) == BST_CHECKED ? L"1" : L"0");
  Print(L"paperOption", IsDlgButtonChecked(gDialog, ZV_ID_PAPER_OPTION) == BST_CHECKED ? L"1" : L"0");
  Print(L"mode", std::to_wstring(SendDlgItemMessageW(gDialog, ZV_ID_MODE, CB_GETCURSEL, 0, 0)));
  Print(L"brightness", std::to_wstring(SendDlgItemMessageW(gDialog, ZV_ID_BRIGHTNESS, TBM_GETPOS, 0, 0)));
  Print(L"brightnessMin",
        std::to_wstring(SendDlgItemMessageW(gDialog, ZV_ID_BRIGHTNESS, TBM_GETRANGEMIN, 0, 0)));
  Print(L"brightnessMax",
        std::to_wstring(SendDlgItemMessageW(gDialog, ZV_ID_BRIGHTNESS, TBM_GETRANGEMAX, 0, 0)));
  Print(L"dialogEnabled", IsWindowEnabled(gDialog) ? L"1" : L"0");
  const int focus = FocusedControlId();
  Print(L"focus", std::to_wstring(focus));
  if (focus == ZV_ID_COPIES || focus == ZV_ID_PERCENT) {
    const DWORD sel = DWORD(SendDlgItemMessageW(gDialog, focus, EM_GETSEL, 0, 0));
    Print(L"selection", std::to_wstring(LOWORD(sel)) + L"-" + std::to_wstring(HIWORD(sel)));
  }
}

std::wstring RectText(HWND window) {
  RECT r = {};
  GetWindowRect(window, &r);
  return std::to_wstring(r.right - r.left) + L"x" + std::to_wstring(r.bottom - r.top) + L"+" +
         std::to_wstring(r.left) + L"+" + std::to_wstring(r.top);
}

void MouseClicks(int id, int count) {
  HWND control = GetDlgItem(gDialog, id);
  RECT r = {};
  GetWindowRect(control, &r);
  BringToFront();
  SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  for (int i = 0; i < count; ++i) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
  }
}

bool NeedDialog() {
  if (gDialog == nullptr || !IsWindow(gDialog)) {
    Fail(L"no main dialog");
    return false;
  }
  return true;
}

// Lines of a file that contain `text` (UTF-8 or ASCII file, ASCII text).
int CountLines(const std::wstring &path, const std::wstring &text) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return 0;
  std::string content;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
    content.append(buffer, got);
  CloseHandle(file);
  const std::string needle(text.begin(), text.end());
  int count = 0;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos)
      end = content.size();
    if (content.substr(start, end - start).find(needle) != std::string::npos)
      ++count;
    start = end + 1;
  }
  return count;
}

// Waits for a file to hold enough matching lines, woken by the folder's
// change notifications.
bool WaitForTrace(const std::wstring &path, const std::wstring &text, int wanted, DWORD timeout) {
  const std::wstring folder = path.substr(0, path.find_last_of(L"\\/"));
  HANDLE change = FindFirstChangeNotificationW(
      folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
  const DWORD start = GetTickCount();
  bool found = false;
  for (;;) {
    if (CountLines(path, text) >= wanted) {
      found = true;
      break;
    }
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeout)
      break;
    // A slow re-check in case a change is not reported.
    const DWORD slice = std::min<DWORD>(200, timeout - elapsed);
    if (change != INVALID_HANDLE_VALUE) {
      if (WaitForSingleObject(change, slice) == WAIT_OBJECT_0)
        FindNextChangeNotification(change);
    } else {
      Sleep(slice);
    }
  }
  if (change != INVALID_HANDLE_VALUE)
    FindCloseChangeNotification(change);
  return found;
}

DWORD Ms(const wchar_t *text) { return DWORD(std::wcstoul(text, nullptr, 10)); }

} // namespace

int wmain(int argc, wchar_t **argv) {
  std::vector<std::wstring> args(argv + 1, argv + argc);
  std::size_t i = 0;
  auto next = [&]() -> std::wstring {
    if (i >= args.size()) {
      Fail(L"missing argument");
      return L"0";
    }
    return args[i++];
  };
  while (i < args.size() && gFailures == 0) {
    const std::wstring step = args[i++];
    if (step == L"dialog") {
      const DWORD t = Ms(next().c_str());
      // The dialog shows itself early in its set-up, which then looks up the
      // printers and the scanner while pumping messages; setting the
      // brightness range is the set-up's last step.
      gDialog = WaitFor(t, [] {
        return FindTopWindow(kDialogClass, kCaption, [](HWND w) {
          return IsMainDialog(w) && SendDlgItemMessageW(w, ZV_ID_BRIGHTNESS, TBM_GETRANGEMAX, 0, 0) == 1000;
        });
      });
      Print(L"dialog", gDialog ? L"1" : L"0");
      if (!gDialog)
        Fail(L"the main dialog did not appear");
    } else if (step == L"state") {
      if (NeedDialog())
        PrintState();
    } else if (step == L"text") {
      const int id = std::stoi(next());
      if (NeedDialog())
        Print(L"text" + std::to_wstring(id), ItemText(gDialog, id));
    } else if (step == L"set") {
      const int id = std::stoi(next());
      const std::wstring text = next();
      if (NeedDialog())
        SendDlgItemMessageW(gDialog, id, WM_SETTEXT, 0, LPARAM(text.c_str()));
    } else if (step == L"click") {
      const int id = std::stoi(next());
      if (NeedDialog())
        PostMessageW(GetDlgItem(gDialog, id), BM_CLICK, 0, 0);
    } else if (step == L"mouse") {
      const int id = std::stoi(next());
      const int count = std::stoi(next());
      if (NeedDialog())
        MouseClicks(id, count);
    } else if (step == L"keys") {
      if (NeedDialog())
        BringToFront();
      for (std::wstring word = next(); word != L";" && gFailures == 0; word = next())
        if (!TypeKey(word))
          Fail(L"unknown key " + word);
    } else if (step == L"select") {
      const int id = std::stoi(next());
      const int index = std::stoi(next());
      if (NeedDialog()) {
        HWND list = GetDlgItem(gDialog, id);
        SendMessageW(list, CB_SETCURSEL, WPARAM(index), 0);
        SendMessageW(gDialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), LPARAM(list));
      }
    } else if (step == L"track") {
      const int id = std::stoi(next());
      const int pos = std::stoi(next());
      if (NeedDialog())
        SendDlgItemMessageW(gDialog, id, TBM_SETPOS, TRUE, pos);
    } else if (step == L"box" || step == L"boxrect") {
      const DWORD t = Ms(next().c_str());
      HWND box = WaitFor(t, FindBox);
      if (!box) {
        Fail(L"no message box");
        continue;
      }
      if (step == L"boxrect") {
        Print(L"boxrect", RectText(box));
        continue;
      }
      const WPARAM button = i < args.size() && std::iswdigit(args[i][0]) ? std::stoi(next()) : IDOK;
      // The box fills in its text while it is created; it is visible only
      // after that.
      wchar_t text[8192] = {};
      GetDlgItemTextW(box, 0xFFFF, text, 8192);
      Print(L"box", text);
      PostMessageW(box, WM_COMMAND, button, 0);
      WaitFor(t, [box] { return IsWindow(box) ? nullptr : HWND(1); });
    } else if (step == L"nobox") {
      HWND box = WaitFor(Ms(next().c_str()), FindBox);
      Print(L"nobox", box ? L"0" : L"1");
    } else if (step == L"busy") {
      HWND proxy = WaitFor(Ms(next().c_str()), [] {
        return FindTopWindow(L"ZVTWAIN_Proxy_Window", nullptr, nullptr);
      });
      if (!proxy) {
        Fail(L"no proxy window");
        continue;
      }
      wchar_t caption[256] = {};
      GetWindowTextW(proxy, caption, 256);
      Print(L"proxy", caption);
      Print(L"dialogEnabled", gDialog && IsWindowEnabled(gDialog) ? L"1" : L"0");
    } else if (step == L"idle") {
      const DWORD t = Ms(next().c_str());
      if (NeedDialog() && !WaitFor(t, [] { return IsWindowEnabled(gDialog) ? gDialog : nullptr; }))
        Fail(L"the dialog stayed disabled");
    } else if (step == L"source") {
      const DWORD t = Ms(next().c_str());
      const int index = std::stoi(next());
      HWND select = WaitFor(t, [] { return FindTopWindow(kDialogClass, L"Select Source", nullptr); });
      if (!select) {
        Fail(L"no source selection dialog");
        continue;
      }
      if (index >= 0)
        SendDlgItemMessageW(select, 100, LB_SETCURSEL, WPARAM(index), 0);
      PostMessageW(select, WM_COMMAND, index >= 0 ? IDOK : IDCANCEL, 0);
    } else if (step == L"printer") {
      const DWORD t = Ms(next().c_str());
      const std::wstring name = next();
      // The print dialog: the program's other #32770 window with a printer
      // list (combo box 0x473).
      HWND print = WaitFor(t, [] {
        return FindTopWindow(kDialogClass, nullptr,
                             [](HWND w) { return GetDlgItem(w, 0x473) != nullptr; });
      });
      if (!print) {
        Fail(L"no print dialog");
        continue;
      }
      if (name == L"-") {
        PostMessageW(print, WM_COMMAND, IDCANCEL, 0);
        continue;
      }
      HWND list = GetDlgItem(print, 0x473);
      const LRESULT index = SendMessageW(list, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(name.c_str()));
      if (index == CB_ERR) {
        Fail(L"no printer " + name);
        PostMessageW(print, WM_COMMAND, IDCANCEL, 0);
        continue;
      }
      SendMessageW(list, CB_SETCURSEL, WPARAM(index), 0);
      SendMessageW(print, WM_COMMAND, MAKEWPARAM(0x473, CBN_SELCHANGE), LPARAM(list));
      PostMessageW(print, WM_COMMAND, IDOK, 0);
    } else if (step == L"close") {
      if (NeedDialog())
        PostMessageW(gDialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (step == L"endtask") {
      if (NeedDialog())
        PostMessageW(gDialog, WM_CLOSE, 0, 0);
    } else if (step == L"gone") {
      const DWORD t = Ms(next().c_str());
      const bool gone = gDialog == nullptr ||
                        WaitFor(t, [] { return IsWindow(gDialog) ? nullptr : HWND(1); }) != nullptr;
      Print(L"gone", gone ? L"1" : L"0");
    } else if (step == L"rect") {
      if (NeedDialog())
        Print(L"rect", RectText(gDialog));
    } else if (step == L"until") {
      const int id = std::stoi(next());
      const std::wstring text = next();
      const DWORD t = Ms(next().c_str());
      if (NeedDialog() &&
          !WaitFor(t, [id, &text] { return ItemText(gDialog, id) == text ? gDialog : nullptr; }))
        Fail(L"control " + std::to_wstring(id) + L" shows " + ItemText(gDialog, id));
    } else if (step == L"enabled") {
      const int id = std::stoi(next());
      const bool wanted = next() == L"1";
      const DWORD t = Ms(next().c_str());
      auto state = [id] { return IsWindowEnabled(GetDlgItem(gDialog, id)) != FALSE; };
      if (NeedDialog() && !WaitFor(t, [&] { return state() == wanted ? gDialog : nullptr; }))
        Fail(L"control " + std::to_wstring(id) + (wanted ? L" stayed disabled" : L" stayed enabled"));
    } else if (step == L"trace") {
      const std::wstring path = next();
      const std::wstring text = next();
      const int wanted = std::stoi(next());
      const DWORD t = Ms(next().c_str());
      if (!WaitForTrace(path, text, wanted, t))
        Fail(L"fewer than " + std::to_wstring(wanted) + L" trace lines with " + text);
    } else if (step == L"wait") {
      const DWORD t = Ms(next().c_str());
      WaitFor(t, [] { return HWND(nullptr); });
    } else {
      Fail(L"unknown step " + step);
    }
  }
  // Never leave the Control key down for the whole desktop.
  Key(VK_CONTROL, true);
  return gFailures == 0 ? 0 : 1;
}

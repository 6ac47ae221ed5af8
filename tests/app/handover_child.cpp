// Started by the hand-over tests in the 32-bit copier's place:
//
//   handover_child.exe WINDOW DONE_FILE [more...]
//
// Sends its module path and its whole command line, "path\ncommand line",
// to the test's window WINDOW (hexadecimal) as WM_COPYDATA, which arrives
// only while the test's thread serves its messages (the send gives up after
// 10 s); then, after a pause, creates DONE_FILE as the last thing it does, so
// that the test can tell whether it was waited for.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int count = 0;
  LPWSTR *arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count < 3)
    return 2;
  HWND window = reinterpret_cast<HWND>(std::wcstoull(arguments[1], nullptr, 16));
  wchar_t module[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, module, MAX_PATH);
  const std::wstring report = std::wstring(module) + L"\n" + GetCommandLineW();
  COPYDATASTRUCT data{};
  data.cbData = DWORD((report.size() + 1) * sizeof(wchar_t));
  data.lpData = const_cast<wchar_t *>(report.c_str());
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 10000,
                      &answer);
  Sleep(700);
  HANDLE done = CreateFileW(arguments[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (done != INVALID_HANDLE_VALUE)
    CloseHandle(done);
  LocalFree(arguments);
  // Not 0: the copier's own exit code must not depend on this one's.
  return 3;
}

#include "app/handover.h"

#include <windows.h>

#include <vector>

#include "app/version_info.h"
#include "common/unique_handle.h"

namespace {

// Until `process` ends, dispatching whatever arrives for this thread.
void WaitServingMessages(HANDLE process) {
  for (;;) {
    // MWMO_INPUTAVAILABLE: messages already queued wake the wait too.
    const DWORD woken =
        MsgWaitForMultipleObjectsEx(1, &process, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woken != WAIT_OBJECT_0 + 1)
      return; // ended, or the handle is unusable: there is nothing to wait for
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&message);
  }
}

} // namespace

bool RunProcessToEnd(const std::wstring &application, const std::wstring &commandLine) {
  // CreateProcessW would complete a partial name from the current directory.
  if (!IsFullPath(application))
    return false;
  // CreateProcessW may write into the command line it is given.
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  // The program started in this one's place shows its window as this one
  // was told to (a shortcut set to run minimized, say).
  STARTUPINFOW own{};
  own.cb = sizeof own;
  GetStartupInfoW(&own);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (own.dwFlags & STARTF_USESHOWWINDOW) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = own.wShowWindow;
  }
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                      nullptr, nullptr, &startup, &started))
    return false;
  UniqueKernelHandle process(started.hProcess);
  UniqueKernelHandle thread(started.hThread);
  // The user started this program, which may therefore bring its window to
  // the front; the one that shows the window instead may do so too. Granted
  // before it runs, so that its first window is not shown behind others.
  AllowSetForegroundWindow(started.dwProcessId);
  if (ResumeThread(thread.get()) == DWORD(-1)) {
    TerminateProcess(process.get(), 0);
    return false;
  }
  thread.reset();
  WaitServingMessages(process.get());
  return true;
}

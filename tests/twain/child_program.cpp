#include "twain/child_program.h"

#include <cstdio>
#include <vector>

#include "app/module_path.h"
#include "copyjob/copy_plan.h"
#include "twain/scanner_profile.h"
#include "twain/scanner_session.h"

namespace twaintest {

std::wstring ChildPart(const wchar_t *flag) {
  wchar_t part[64] = {};
  GetEnvironmentVariableW(flag, part, 64);
  return part;
}

std::wstring MakeScratchFolder(const std::wstring &tag) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder =
      std::wstring(temp) + tag + L"-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

void RemoveFolder(const std::wstring &folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..")
        continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveFolder(folder + name + L"\\");
      else
        DeleteFileW((folder + name).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

bool CopySelfInto(const std::wstring &folder, const std::wstring &name) {
  return CopyFileW(GetModulePath(nullptr).c_str(), (folder + name).c_str(), FALSE) != 0;
}

DWORD RunChild(const std::wstring &exe, const std::wstring &filter, const wchar_t *flag,
               const wchar_t *part, DWORD timeoutMs) {
  // Set for the child only: CreateProcessW hands it this process's
  // environment as it is at that moment.
  SetEnvironmentVariableW(flag, part);
  std::wstring command = L"\"" + exe + L"\" --gtest_filter=" + filter;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION child = {};
  std::fflush(stdout);
  const std::wstring dir = exe.substr(0, exe.find_last_of(L"\\/") + 1);
  const BOOL started = CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, TRUE, 0,
                                      nullptr, dir.c_str(), &startup, &child);
  SetEnvironmentVariableW(flag, nullptr);
  if (!started)
    return 0xFFFFFFFF;
  DWORD exitCode = 0xFFFFFFFE;
  if (WaitForSingleObject(child.hProcess, timeoutMs) == WAIT_OBJECT_0)
    GetExitCodeProcess(child.hProcess, &exitCode);
  else
    TerminateProcess(child.hProcess, 1);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  return exitCode;
}

GlobalBlock CopyJobPage(ScannerSession &session, std::int32_t mode, std::uint32_t printerDpi,
                        AcquireOutcome &outcome) {
  ScannerProfile profile;
  session.GetScannerProfile(0, profile);
  const ScanFrame frame = CopyScanFrame(10000);
  const ModeChoice choice = ChooseMode(mode);
  const std::uint32_t resolution =
      ChooseScanResolution(TargetResolution(printerDpi, 10000, choice.divisor), profile);
  return session.AcquirePage(choice.pixelType, resolution,
                             reinterpret_cast<std::uintptr_t>(&frame), 0, 0, false, outcome);
}

} // namespace twaintest

// The copier's own acquisition code against the virtual scanner DLL, loaded
// through the real LoadLibraryW path under Wine. The test copies this
// program and the DLL into a folder of their own and runs the copy there
// with Wine told to prefer the native TWAIN_32.DLL; the child does the
// scanning, the parent checks what the DLL traced.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/module_path.h"
#include "copyjob/copy_plan.h"
#include "imaging/dib.h"
#include "support/test_paths.h"
#include "twain/acquire.h"
#include "twain/scanner_profile.h"
#include "twain/scanner_report.h"
#include "twain/scanner_session.h"
#include "twain/vscanner_test_support.h"

using twaintest::Narrow;
using twaintest::ProcessCpuSeconds;
using twaintest::ReadLines;

namespace {

const wchar_t kChildFlag[] = L"ZV_ACQ_REAL_MANAGER_CHILD";
constexpr unsigned kXferReadyDelayMs = 2000;

bool IsChild() { return GetEnvironmentVariableW(kChildFlag, nullptr, 0) != 0; }

double WallSeconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return double(now.QuadPart) / double(frequency.QuadPart);
}

std::wstring Folder(const std::wstring &path) {
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

// The trace lines in the form "DAT MSG [detail]", without the offers of
// window messages that were not the source's.
std::vector<std::string> ReadTrace(const std::wstring &path) {
  std::vector<std::string> calls;
  for (const std::string &line : ReadLines(path)) {
    if (line.empty() || line[0] == '#')
      continue;
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;)
      w.push_back(word);
    // n origin -> destination DG DAT MSG [detail...] = RC
    if (w.size() < 9 || w[2] != "->")
      continue;
    if (w[6] == "MSG_PROCESSEVENT" && w.back() != "TWRC_DSEVENT")
      continue;
    std::string call = w[5] + " " + w[6];
    // The values a set carries are not part of the call's name.
    for (std::size_t i = 7; i + 2 < w.size(); ++i)
      if (w[i].compare(0, 6, "value=") != 0)
        call += " " + w[i];
    calls.push_back(call);
  }
  return calls;
}

} // namespace

// Runs in the child only: the copier's road through the real manager.
TEST(RealManagerChild, AcquiresFromTheVirtualScanner) {
  if (!IsChild())
    GTEST_SKIP() << "run by RealManager.AcquiresThroughTheVirtualScannerDll";

  ScannerSession session(nullptr);
  ASSERT_TRUE(session.IsAvailable());
  const HMODULE manager = GetModuleHandleW(L"TWAIN_32.DLL");
  ASSERT_NE(nullptr, manager);
  EXPECT_EQ(Folder(GetModulePath(nullptr)), Folder(GetModulePath(manager)));

  // The report names the manager that was loaded.
  const std::wstring report = BuildScannerReport(session);
  EXPECT_EQ(0u, report.find(L"TWAIN_32.DLL:   1.7.0.0\r\nTWAIN_32.DLL:   " +
                            GetModulePath(manager) + L"\r\n"))
      << Narrow(report);
  EXPECT_NE(std::wstring::npos, report.find(L"ProductName:    Zelvantor Virtual Scanner\r\n"));

  // As the copy job does it: profile, frame, resolution, then the page.
  ScannerProfile profile;
  ASSERT_TRUE(session.GetScannerProfile(0, profile));
  const ScanFrame frame = CopyScanFrame(10000);
  const std::uint32_t resolution = ChooseScanResolution(150, profile);
  ASSERT_EQ(150u, resolution);

  const double cpuBefore = ProcessCpuSeconds();
  const double wallBefore = WallSeconds();
  GlobalBlock dib = session.AcquirePage(TWPT_RGB, resolution,
                                        reinterpret_cast<std::uintptr_t>(&frame), 0, 0, false);
  const double wall = WallSeconds() - wallBefore;
  const double cpu = ProcessCpuSeconds() - cpuBefore;
  std::printf("[ figures  ] acquisition with a %u ms delay before MSG_XFERREADY: %.3f s wall, "
              "%.3f s CPU\n",
              kXferReadyDelayMs, wall, cpu);
  std::fflush(stdout);
  ASSERT_TRUE(dib);
  EXPECT_GE(wall, kXferReadyDelayMs / 1000.0 - 0.05);
  // Waiting on the message queue costs (almost) nothing; polling would burn
  // a whole core for the two seconds. Weighed against the wait rather than
  // in seconds: the page's own work (the scanner drawing a 150 dpi A4 chart)
  // took 0.05 s natively on an AMD EPYC and several times that on a slower or
  // emulated processor (0.34 s for the 32-bit build under QEMU).
  EXPECT_LT(cpu, wall / 4);
  {
    EXPECT_EQ(24, DibBitCount(dib.get()));
    DibImage image;
    image.Attach(std::move(dib));
    EXPECT_EQ(150, image.GetXResolution(ResolutionPerInch));
    // The frame (210 x 297 mm) at 150 dpi.
    EXPECT_NEAR(1240, image.GetWidth(), 1);
    EXPECT_NEAR(1754, image.GetHeight(), 1);
  }

  // The second source is the scanner whose black and white is made here
  // from greyscale.
  ASSERT_EQ(0xA510B7A9u, session.SelectSource(0xA510B7A9u, false));
  GlobalBlock mono = session.AcquirePage(TWPT_BW, 100, 0x06 /* A5 */, 0, 0, false);
  ASSERT_TRUE(mono);
  EXPECT_EQ(1, DibBitCount(mono.get()));
  mono.reset();
  EXPECT_EQ(StateManagerLoaded, session.state);
  session.Shutdown();
}

TEST(RealManager, AcquiresThroughTheVirtualScannerDll) {
  if (IsChild())
    GTEST_SKIP();
  // Set for this test by ctest: a variable set here would not reach the
  // child's loader.
  wchar_t overrides[256] = {};
  GetEnvironmentVariableW(L"WINEDLLOVERRIDES", overrides, 256);
  ASSERT_NE(nullptr, std::wcsstr(overrides, L"twain_32=n"))
      << "run with WINEDLLOVERRIDES=twain_32=n so that Wine prefers the virtual scanner DLL";
  const std::wstring dll = TestBinPath(L"vscanner\\TWAIN_32.DLL");
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(dll.c_str())) << Narrow(dll);

  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring dir =
      std::wstring(temp) + L"zv-acq-real-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
  CreateDirectoryW(dir.c_str(), nullptr);
  const std::wstring exe = dir + L"acquire_child.exe";
  const std::wstring ini = dir + L"vscanner.ini";
  const std::wstring trace = dir + L"trace.log";
  ASSERT_TRUE(CopyFileW(GetModulePath(nullptr).c_str(), exe.c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(dll.c_str(), (dir + L"TWAIN_32.DLL").c_str(), FALSE));
  DeleteFileW(trace.c_str());
  {
    std::ofstream out(Narrow(ini));
    out << "[Manager]\nTrace=" << Narrow(trace) << "\nDefault=1\n"
        << "[Source Flatbed]\nPreset=Flatbed\nXferReadyDelay=" << kXferReadyDelayMs << "\n"
        << "[Source Greyscale 1-bit]\nPreset=A510B7A9\n";
  }

  SetEnvironmentVariableW(L"ZV_VSCANNER_INI", ini.c_str());
  SetEnvironmentVariableW(kChildFlag, L"1");
  std::wstring command = L"\"" + exe + L"\" --gtest_filter=RealManagerChild.*";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION child = {};
  std::fflush(stdout);
  const BOOL started = CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                      dir.c_str(), &startup, &child);
  SetEnvironmentVariableW(kChildFlag, nullptr);
  SetEnvironmentVariableW(L"ZV_VSCANNER_INI", nullptr);
  ASSERT_TRUE(started) << GetLastError();
  const DWORD waited = WaitForSingleObject(child.hProcess, 120000);
  DWORD exitCode = 1;
  GetExitCodeProcess(child.hProcess, &exitCode);
  if (waited != WAIT_OBJECT_0)
    TerminateProcess(child.hProcess, 1);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  ASSERT_EQ(WAIT_OBJECT_0, waited) << "child did not finish";
  EXPECT_EQ(0u, exitCode) << "the child's test failed (its output is above)";

  // The colour page's own calls, between its MSG_OPENDSM and MSG_CLOSEDSM.
  const std::vector<std::string> calls = ReadTrace(trace);
  const std::vector<std::string> page = {
      "DAT_PARENT MSG_OPENDSM",
      "DAT_IDENTITY MSG_GETFIRST",
      "DAT_IDENTITY MSG_OPENDS",
      "DAT_CAPABILITY MSG_SET cap=ICAP_XRESOLUTION",
      "DAT_CAPABILITY MSG_SET cap=ICAP_YRESOLUTION",
      "DAT_IMAGELAYOUT MSG_SET",
      "DAT_CAPABILITY MSG_SET cap=ICAP_CONTRAST",
      "DAT_CAPABILITY MSG_SET cap=ICAP_PIXELTYPE",
      "DAT_CAPABILITY MSG_GET cap=ICAP_BRIGHTNESS",
      "DAT_CAPABILITY MSG_SET cap=ICAP_BRIGHTNESS",
      "DAT_USERINTERFACE MSG_ENABLEDS showUI=0",
      "DAT_EVENT MSG_PROCESSEVENT event=MSG_XFERREADY",
      "DAT_IMAGEINFO MSG_GET",
      "DAT_IMAGENATIVEXFER MSG_GET",
      "DAT_PENDINGXFERS MSG_ENDXFER count=0",
      "DAT_USERINTERFACE MSG_DISABLEDS",
      "DAT_IDENTITY MSG_CLOSEDS",
      "DAT_PARENT MSG_CLOSEDSM",
  };
  auto at = std::search(calls.begin(), calls.end(), page.begin(), page.end(),
                        [](const std::string &seen, const std::string &want) {
                          // Details the DLL adds beyond what is asked for
                          // (a source name) do not matter.
                          return seen.compare(0, want.size(), want) == 0;
                        });
  std::string all;
  for (const std::string &c : calls)
    all += c + "\n";
  EXPECT_NE(calls.end(), at) << "trace:\n" << all;

  for (const wchar_t *name : {L"acquire_child.exe", L"TWAIN_32.DLL", L"vscanner.ini", L"trace.log"})
    DeleteFileW((dir + name).c_str());
  RemoveDirectoryW(dir.c_str());
}

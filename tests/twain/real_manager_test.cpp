// The copier's own acquisition code against the virtual scanner DLL, loaded
// through the real LoadLibraryW path under Wine. The test copies this
// program and the DLL into a folder of their own and runs the copy there
// with Wine told to prefer the native TWAIN_32.DLL; the child does the
// scanning, the parent checks what the DLL traced.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <string>

#include "app/module_path.h"
#include "imaging/dib.h"
#include "support/acquisition_calls.h"
#include "support/test_paths.h"
#include "twain/acquire.h"
#include "twain/child_program.h"
#include "twain/scanner_profile.h"
#include "twain/scanner_report.h"
#include "twain/scanner_session.h"
#include "twain/vscanner_test_support.h"

using namespace twaintest;

namespace {

const wchar_t kChildFlag[] = L"ZV_ACQ_REAL_MANAGER_CHILD";
constexpr unsigned kXferReadyDelayMs = 2000;

bool IsChild() { return !ChildPart(kChildFlag).empty(); }

double WallSeconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return double(now.QuadPart) / double(frequency.QuadPart);
}

std::wstring Folder(const std::wstring &path) {
  return path.substr(0, path.find_last_of(L"\\/") + 1);
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

  // As the copy job does it for a 300 dpi printer: profile, frame,
  // resolution (half the printer's for colour), then the page.
  const double cpuBefore = ProcessCpuSeconds();
  const double wallBefore = WallSeconds();
  AcquireOutcome outcome = AcquireOutcome::Failed;
  GlobalBlock dib = CopyJobPage(session, TWPT_RGB, 300, outcome);
  const double wall = WallSeconds() - wallBefore;
  const double cpu = ProcessCpuSeconds() - cpuBefore;
  std::printf("[ figures  ] acquisition with a %u ms delay before MSG_XFERREADY: %.3f s wall, "
              "%.3f s CPU\n",
              kXferReadyDelayMs, wall, cpu);
  std::fflush(stdout);
  ASSERT_TRUE(dib);
  EXPECT_EQ(AcquireOutcome::Delivered, outcome);
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

  const std::wstring dir = MakeScratchFolder(L"zv-acq-real");
  const std::wstring exe = dir + L"acquire_child.exe";
  const std::wstring ini = dir + L"vscanner.ini";
  const std::wstring trace = dir + L"trace.log";
  ASSERT_TRUE(CopySelfInto(dir, L"acquire_child.exe"));
  ASSERT_TRUE(CopyFileW(dll.c_str(), (dir + L"TWAIN_32.DLL").c_str(), FALSE));
  {
    std::ofstream out(Narrow(ini));
    out << "[Manager]\nTrace=" << Narrow(trace) << "\nDefault=1\n"
        << "[Source Flatbed]\nPreset=Flatbed\nXferReadyDelay=" << kXferReadyDelayMs << "\n"
        << "[Source Greyscale 1-bit]\nPreset=A510B7A9\n";
  }

  SetEnvironmentVariableW(L"ZV_VSCANNER_INI", ini.c_str());
  const DWORD exitCode = RunChild(exe, L"RealManagerChild.*", kChildFlag, L"1", 120000);
  SetEnvironmentVariableW(L"ZV_VSCANNER_INI", nullptr);
  EXPECT_EQ(0u, exitCode) << "the child's test failed (its output is above)";

  // The colour page's own calls, from its MSG_OPENDSM to its MSG_CLOSEDSM:
  // A4 at 150 dpi.
  PageCalls page;
  page.pixelType = "2";
  page.resolution = "150.00";
  page.frame = "0.0000,0.0000,8.2677,11.6929";
  page.brightness = "0.00";
  EXPECT_TRUE(ContainsSequence(OnePageAcquisition(page), TraceRecords(trace)));
  RemoveFolder(dir);
}

// Start-up's scanner probe and the hand-over to the 32-bit copier: the
// roads with a stand-in for the process, and the real process start.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/handover.h"
#include "app/localized_texts.h"
#include "app/startup.h"
#include "support/dialog_driver.h"
#include "support/test_paths.h"
#include "tools/twainsim/sim_engine.h"
#include "twain/manager_loader.h"

namespace {

using twainsim::SimConfig;

BOOL CALLBACK NoteProxyWindow(HWND window, LPARAM found) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (std::wstring(name) == L"ZVTWAIN_Proxy_Window")
    *reinterpret_cast<bool *>(found) = true;
  return TRUE;
}

// The probe's own window, if it is still there.
bool ProxyWindowOnThisThread() {
  bool found = false;
  EnumThreadWindows(GetCurrentThreadId(), NoteProxyWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

enum class Manager { None, WillNotOpen, NoSource, OneSource };

// The probe against a chosen manager, with the texts of the message it may
// show collected and the hand-over's process stood in for.
class ProbeFixture : public ::testing::Test {
protected:
  void SetUp() override {
    savedText_ = TextNoScanner;
    TextNoScanner = L"No scanner (test).";
  }
  void TearDown() override {
    TextNoScanner = savedText_;
    SetTwainManagerOverride(nullptr);
    SetTwainManagerFiles({});
    twainsim::InstallEngine(nullptr);
  }

  void Use(Manager manager) {
    SimConfig config;
    switch (manager) {
    case Manager::None:
      // A search that finds no manager file at all.
      SetTwainManagerFiles({{L"TWAIN_32.DLL", TestBinPath(L"no-such-folder\\TWAIN_32.DLL")}});
      return;
    case Manager::WillNotOpen:
      config.openDsmRc = TWRC_FAILURE;
      break;
    case Manager::NoSource:
      config.defaultSource = -1;
      break;
    case Manager::OneSource:
      twainsim::SimSource source;
      source.identity = twainsim::MakeIdentity("Zelvantor", "Test", "Probe Flatbed");
      config.sources.push_back(source);
      break;
    }
    engine_ = std::make_unique<twainsim::SimEngine>(config);
    twainsim::InstallEngine(engine_.get());
    SetTwainManagerOverride(twainsim::SimDsmEntry);
  }

  // Runs the probe; `starts` is what the stand-in process start answers.
  bool Probe(bool starts) {
    DialogDriver driver([this](HWND box) {
      wchar_t text[256] = {};
      GetDlgItemTextW(box, 0xFFFF, text, 256);
      boxes.push_back(text);
      PressButton(box, IDOK);
    });
    return ProbeScanner([this, starts](const std::wstring &application,
                                       const std::wstring &commandLine) {
      started.push_back(application);
      commandLines.push_back(commandLine);
      probeWindowLeft = ProxyWindowOnThisThread();
      return starts;
    });
  }

  std::vector<std::wstring> boxes;
  std::vector<std::wstring> started;
  std::vector<std::wstring> commandLines;
  bool probeWindowLeft = false;

private:
  std::wstring savedText_;
  std::unique_ptr<twainsim::SimEngine> engine_;
};

TEST_F(ProbeFixture, WithoutScannerThe64BitCopierHandsOverAndThe32BitOneTellsTheUser) {
  using List = std::vector<std::wstring>;
  const std::wstring copier32 = TestBinPath(L"zvcopier32.exe");
  const List told = {L"No scanner (test)."};
  struct {
    const char *what;
    Manager manager;
    bool starts;
    bool goesOn;
    List started64, boxes64; // the 64-bit build
    List boxes32;            // the 32-bit build, which never starts anything
  } cases[] = {
      {"no manager, the other copier starts", Manager::None, true, false, {copier32}, {}, told},
      {"a manager that does not open", Manager::WillNotOpen, true, false, {copier32}, {}, told},
      {"a manager without a source", Manager::NoSource, true, false, {copier32}, {}, told},
      // A file that is not there or will not run: this copier tells the
      // user itself, once.
      {"no manager, the other copier cannot start", Manager::None, false, false, {copier32}, told,
       told},
      {"no source, the other copier cannot start", Manager::NoSource, false, false, {copier32},
       told, told},
      {"a source: the copier goes on with its own", Manager::OneSource, true, true, {}, {}, {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    Use(c.manager);
    boxes.clear();
    started.clear();
    commandLines.clear();
    probeWindowLeft = true;
    EXPECT_EQ(c.goesOn, Probe(c.starts));
    if (kWin64Build) {
      // By full path, with this program's own command line as it is.
      EXPECT_EQ(c.started64.size(), started.size());
      for (std::size_t i = 0; i < started.size() && i < c.started64.size(); ++i)
        EXPECT_EQ(0, lstrcmpiW(c.started64[i].c_str(), started[i].c_str())) << started[i].c_str();
      for (const std::wstring &line : commandLines)
        EXPECT_EQ(std::wstring(GetCommandLineW()), line);
      EXPECT_EQ(c.boxes64, boxes);
      if (!started.empty()) {
        EXPECT_FALSE(probeWindowLeft) << "the probe's session still up while the other runs";
      }
    } else {
      EXPECT_EQ(List(), started);
      EXPECT_EQ(c.boxes32, boxes);
    }
    SetTwainManagerOverride(nullptr);
    SetTwainManagerFiles({});
    twainsim::InstallEngine(nullptr);
  }
}

// --- The real process start.

std::wstring g_report;
LRESULT CALLBACK ReportWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPYDATA) {
    const auto *data = reinterpret_cast<const COPYDATASTRUCT *>(lParam);
    if (data->cbData >= sizeof(wchar_t))
      g_report.assign(static_cast<const wchar_t *>(data->lpData),
                      data->cbData / sizeof(wchar_t) - 1);
    return TRUE;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool FileExists(const std::wstring &path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(RunProcessToEnd, StartsTheFileByItsPathWithTheLineAsGivenAndWaitsServingMessages) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = ReportWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"ZV_HandOverTestReport";
  RegisterClassW(&windowClass);
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
  ASSERT_NE(nullptr, window);
  const std::wstring child = TestBinPath(L"handover_child.exe");
  const std::wstring done = TestBinPath(L"handover_child.done");
  DeleteFileW(done.c_str());
  wchar_t handle[32];
  std::swprintf(handle, 32, L"%llx", static_cast<unsigned long long>(
                                         reinterpret_cast<std::uintptr_t>(window)));
  // The first word names another program: the application name decides
  // what runs, the line is only handed on.
  const std::wstring line = L"\"C:\\Program Files\\Zelvantor Copier\\zvcopier.exe\" " +
                            std::wstring(handle) + L" \"" + done + L"\" \"\" two";
  g_report.clear();
  EXPECT_TRUE(RunProcessToEnd(child, line));
  EXPECT_TRUE(FileExists(done)) << "returned before the program had ended";
  const std::size_t split = g_report.find(L'\n');
  ASSERT_NE(std::wstring::npos, split) << "nothing reached the window while waiting";
  EXPECT_EQ(0, lstrcmpiW(child.c_str(), g_report.substr(0, split).c_str()))
      << g_report.substr(0, split).c_str();
  EXPECT_EQ(line, g_report.substr(split + 1));
  DeleteFileW(done.c_str());
  DestroyWindow(window);
}

TEST(RunProcessToEnd, AProgramThatIsNotThereIsNotStarted) {
  EXPECT_FALSE(RunProcessToEnd(TestBinPath(L"no-such-folder\\zvcopier32.exe"), L"zvcopier.exe a b"));
  // Only ever a full path: CreateProcessW would take a name alone from the
  // current directory, which holds that program here.
  EXPECT_FALSE(RunProcessToEnd(L"handover_child.exe", L"handover_child.exe 0 NUL"));
}

} // namespace

// The copier against the TWAIN Working Group's TWAINDSM.DLL 2.4.3 (the
// released x86_64 binary, as our users have it) and the virtual scanner as
// standalone data sources installed under the prefix's windows\twain_64.
//
// The parent installs the sources (each .ds in a folder of its own with its
// own vscanner.ini), copies this program beside TWAINDSM.DLL into a folder
// without any TWAIN_32.DLL, and runs the copy as a child: the child's
// session takes the TWAINDSM.DLL road of its search. A second child runs the
// same scans through the combined TWAIN_32.DLL, so that the parent can
// compare what the two sources were asked.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/module_path.h"
#include "app/version_info.h"
#include "imaging/dib.h"
#include "support/acquisition_calls.h"
#include "support/test_paths.h"
#include "tools/vscanner/vscanner_config.h"
#include "tools/vscanner/vscanner_sim.h"
#include "twain/acquire.h"
#include "twain/child_program.h"
#include "twain/manager_loader.h"
#include "twain/scanner_profile.h"
#include "twain/scanner_report.h"
#include "twain/scanner_session.h"
#include "twain/vscanner_test_support.h"

using namespace twaintest;

namespace {

const wchar_t kChildFlag[] = L"ZV_TWAINDSM_CHILD"; // "dsm" or "combined"

std::wstring ChildRoad() { return ChildPart(kChildFlag); }

// The data sources the parent installs. The first is the manager's default.
struct SourcePlan {
  const char *folder;
  const char *productName;
  const char *keys;          // INI lines beyond the preset
  AcquireOutcome outcome;    // of a colour page without user interface
};
const SourcePlan kSources[] = {
    {"flatbed", "ZV DSM Flatbed", "", AcquireOutcome::Delivered},
    {"refusing", "ZV DSM Refusing", "OpenDS=Failure\n", AcquireOutcome::Failed},
    {"unwilling", "ZV DSM Unwilling", "EnableDS=Failure\n", AcquireOutcome::Failed},
    {"failing", "ZV DSM Failing", "Behaviour=FailTransfer\n", AcquireOutcome::Failed},
    {"closing", "ZV DSM Closing", "Behaviour=CloseRequest\n", AcquireOutcome::Cancelled},
    {"cancelling", "ZV DSM Cancelling", "Behaviour=CancelTransfer\n", AcquireOutcome::Cancelled},
    {"cancelled", "ZV DSM Cancelled", "EnableDS=Cancel\n", AcquireOutcome::Cancelled},
    // The page as the HBITMAP of a DIB section, as Wine's gphoto2.ds hands it.
    {"bitmap", "ZV DSM Bitmap", "NativeImage=Bitmap\n", AcquireOutcome::Delivered},
};

std::string IniText(const SourcePlan &plan, const std::wstring &trace) {
  return "[Manager]\nTrace=" + Narrow(trace) + "\n[Source]\nPreset=Flatbed\nProductName=" +
         plan.productName + "\n" + plan.keys;
}

std::wstring TracePath(const std::wstring &folder, const char *name) {
  return folder + L"trace-" + std::wstring(name, name + std::strlen(name)) + L".log";
}

std::uint32_t PlannedScannerId(const SourcePlan &plan) {
  const vscanner::Config config = vscanner::ParseConfig(IniText(plan, L""));
  return ScannerIdOf(vscanner::IdentityOf(config.sources.front()));
}

const char *OutcomeName(AcquireOutcome outcome) {
  switch (outcome) {
  case AcquireOutcome::Delivered:
    return "delivered";
  case AcquireOutcome::Cancelled:
    return "cancelled";
  default:
    return "failed";
  }
}

// Answers the source's own dialog from this thread: the dialog is created
// inside MSG_ENABLEDS, and the answer posted to it reaches it through the
// session's wait loop, which hands it to the source first.
HHOOK g_hook = nullptr;
WPARAM g_answer = IDOK;
int g_dialogs = 0;

LRESULT CALLBACK AnswerSourceDialog(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    HWND window = reinterpret_cast<HWND>(wParam);
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (std::wstring(name) == L"#32770") {
      ++g_dialogs;
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(g_answer, BN_CLICKED), 0);
    }
  }
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

// A colour and a black-and-white page scanned at 300 dpi (colour for a
// 600 dpi printer, black and white for a 300 dpi one), the same on both
// roads.
void ColourAndBlackWhitePages(ScannerSession &session) {
  struct Case {
    std::int32_t mode;
    std::uint32_t printerDpi;
    int bitCount;
    int dpi;
  } cases[] = {{TWPT_RGB, 600, 24, 300}, {TWPT_BW, 300, 1, 300}};
  for (const Case &c : cases) {
    AcquireOutcome outcome = AcquireOutcome::Failed;
    GlobalBlock dib = CopyJobPage(session, c.mode, c.printerDpi, outcome);
    ASSERT_TRUE(dib) << c.mode;
    EXPECT_EQ(AcquireOutcome::Delivered, outcome);
    EXPECT_EQ(c.bitCount, DibBitCount(dib.get()));
    DibImage image;
    image.Attach(std::move(dib));
    EXPECT_EQ(c.dpi, image.GetXResolution(ResolutionPerInch));
    // The copy frame, A4, at that resolution.
    EXPECT_NEAR(210 / 25.4 * c.dpi, image.GetWidth(), 1.5);
    EXPECT_NEAR(297 / 25.4 * c.dpi, image.GetHeight(), 1.5);
    EXPECT_EQ(StateManagerLoaded, session.state);
  }
}

// What the source itself was asked, each call without its source's name
// (the roads name it differently) and without the answer. On the combined
// road the manager's own calls (open and close of the manager, the listing)
// are dropped; on the TWAINDSM.DLL road what the manager adds (listing every
// source with MSG_GET, handing over its entry point, asking for the status)
// is dropped, and a notification sent back through the manager (DAT_NULL)
// stands where the other road answers MSG_PROCESSEVENT with it. Events that
// carried nothing for the application are left out on both.
CallSequence SourceCalls(const std::vector<CallRecord> &records, bool throughDsm) {
  CallSequence out;
  for (const CallRecord &r : records) {
    const std::string &c = r.call;
    if (c == "DG_CONTROL DAT_EVENT MSG_PROCESSEVENT" &&
        (r.result != "TWRC_DSEVENT" || r.Detail("event") == "MSG_NULL"))
      continue;
    if (!throughDsm && (c == "DG_CONTROL DAT_PARENT MSG_OPENDSM" ||
                        c == "DG_CONTROL DAT_PARENT MSG_CLOSEDSM" ||
                        c == "DG_CONTROL DAT_IDENTITY MSG_GETFIRST" ||
                        c == "DG_CONTROL DAT_IDENTITY MSG_GETNEXT" ||
                        c == "DG_CONTROL DAT_IDENTITY MSG_GETDEFAULT"))
      continue;
    if (throughDsm && (c == "DG_CONTROL DAT_IDENTITY MSG_GET" ||
                       c.compare(0, 25, "DG_CONTROL DAT_ENTRYPOINT") == 0 ||
                       c.compare(0, 21, "DG_CONTROL DAT_STATUS") == 0))
      continue;
    if (throughDsm && c.compare(0, 20, "DG_CONTROL DAT_NULL ") == 0) {
      out.push_back(Call("DG_CONTROL DAT_EVENT MSG_PROCESSEVENT", {{"event", c.substr(20)}}));
      continue;
    }
    ExpectedCall call = Call(c);
    for (const auto &detail : r.details)
      if (detail.first != "source")
        call.details.push_back(detail);
    out.push_back(call);
  }
  return out;
}

// The same calls as records, to be looked for in the other road's.
std::vector<CallRecord> AsRecords(const CallSequence &calls) {
  std::vector<CallRecord> records;
  for (const ExpectedCall &c : calls)
    records.push_back(CallRecord{c.call, c.details, ""});
  return records;
}

bool WriteText(const std::wstring &path, const std::string &text) {
  std::ofstream out(Narrow(path), std::ios::binary);
  out << text;
  return bool(out);
}

// Runs this program as a child with the road given; its exit code.
DWORD RunChild(const std::wstring &exe, const wchar_t *road) {
  return twaintest::RunChild(exe, L"TwainDsmChild.*", kChildFlag, road, 180000);
}

const wchar_t kDefaultSourceKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\TWAIN64";

} // namespace

// Runs in the children only.
TEST(TwainDsmChild, CopiesThroughTheManagerItFinds) {
  const std::wstring road = ChildRoad();
  if (road.empty())
    GTEST_SKIP() << "run by TwainDsm.CopierThroughTheOfficialManager";
  ScannerSession session(nullptr);
  ASSERT_TRUE(session.IsAvailable());
  if (road == L"combined") {
    ASSERT_EQ(L"TWAIN_32.DLL", session.ManagerFile());
    ColourAndBlackWhitePages(session);
    session.Shutdown();
    return;
  }

  // The search found no TWAIN_32.DLL it accepts and took TWAINDSM.DLL
  // from the program's folder.
  ASSERT_EQ(L"TWAINDSM.DLL", session.ManagerFile());
  const std::wstring program = GetModulePath(nullptr);
  const std::wstring managerPath = GetModulePath(session.dsmModule.get());
  const std::wstring folder = program.substr(0, program.find_last_of(L'\\') + 1);
  EXPECT_EQ(CSTR_EQUAL, CompareStringOrdinal(folder.c_str(), -1,
                                             managerPath.substr(0, folder.size()).c_str(), -1,
                                             TRUE))
      << Narrow(managerPath);
  EXPECT_EQ(nullptr, GetModuleHandleW(L"TWAIN_32.DLL"));

  // The default source is the flatbed; its ScannerId is the one the combined
  // road gives the same identity.
  const std::uint32_t flatbedId = PlannedScannerId(kSources[0]);
  EXPECT_EQ(flatbedId, session.scannerId);

  // The report names the manager that was loaded.
  const std::wstring report = BuildScannerReport(session);
  EXPECT_EQ(0u, report.find(L"TWAINDSM.DLL:   2.4.3.0\r\nTWAINDSM.DLL:   " + managerPath +
                            L"\r\n-----"))
      << Narrow(report);
  EXPECT_EQ(std::wstring::npos, report.find(L"TWAIN_32.DLL")) << Narrow(report);
  wchar_t idLine[64];
  std::swprintf(idLine, 64, L"ScannerId:      %X\r\n", unsigned(flatbedId));
  EXPECT_NE(std::wstring::npos, report.find(idLine)) << Narrow(report);

  // The profile as the data source describes itself through the manager.
  ScannerProfile profile;
  ASSERT_TRUE(session.GetScannerProfile(0, profile));
  EXPECT_EQ(flatbedId, profile.ScannerId);
  EXPECT_EQ(std::wstring(L"ZV DSM Flatbed"), std::wstring(profile.ProductName, 14));
  EXPECT_EQ(L'\0', profile.ProductName[14]);
  EXPECT_TRUE(profile.ControllableUI);
  EXPECT_TRUE(profile.PixelTypes[TWPT_BW] && profile.PixelTypes[TWPT_GRAY] &&
              profile.PixelTypes[TWPT_RGB]);
  EXPECT_FALSE(profile.PixelTypes[TWPT_PALETTE]);
  EXPECT_TRUE(profile.Units[TWUN_INCHES]);
  EXPECT_FLOAT_EQ(600.0f, profile.XNativeResolution);
  EXPECT_FLOAT_EQ(8.5f, profile.PhysicalWidth);
  EXPECT_TRUE(profile.bResolutionArray);
  ASSERT_EQ(7u, profile.ResolutionCount);
  EXPECT_FLOAT_EQ(75.0f, profile.ResolutionAt(0));
  EXPECT_FLOAT_EQ(1200.0f, profile.ResolutionAt(6));
  EXPECT_EQ(StateManagerLoaded, session.state);

  ColourAndBlackWhitePages(session);

  // With the source's own dialog, answered Scan and then Cancel.
  g_hook = SetWindowsHookExW(WH_CBT, AnswerSourceDialog, nullptr, GetCurrentThreadId());
  ASSERT_NE(nullptr, g_hook);
  struct UiCase {
    WPARAM answer;
    AcquireOutcome outcome;
  } uiCases[] = {{IDOK, AcquireOutcome::Delivered}, {IDCANCEL, AcquireOutcome::Cancelled}};
  for (const UiCase &c : uiCases) {
    g_answer = c.answer;
    g_dialogs = 0;
    AcquireOutcome outcome = AcquireOutcome::Failed;
    GlobalBlock dib = session.AcquirePage(TWPT_GRAY, 100, 0x04 /* A4 */, 0, 0, true, outcome);
    EXPECT_EQ(1, g_dialogs) << "answer " << c.answer;
    EXPECT_EQ(c.outcome, outcome) << "answer " << c.answer << ": " << OutcomeName(outcome);
    EXPECT_EQ(c.outcome == AcquireOutcome::Delivered, bool(dib));
    if (dib) {
      EXPECT_EQ(8, DibBitCount(dib.get()));
    }
    EXPECT_EQ(StateManagerLoaded, session.state);
  }
  UnhookWindowsHookEx(g_hook);
  g_hook = nullptr;

  // Every source by the outcome its behaviour gives, chosen by ScannerId
  // as the dialog's Browse button does.
  for (const SourcePlan &plan : kSources) {
    const std::uint32_t id = PlannedScannerId(plan);
    ASSERT_EQ(id, session.SelectSource(id, false)) << plan.productName;
    AcquireOutcome outcome = AcquireOutcome::Delivered;
    GlobalBlock dib = session.AcquirePage(TWPT_RGB, 100, 0x06 /* A5 */, 0, 0, false, outcome);
    EXPECT_EQ(plan.outcome, outcome) << plan.productName << ": " << OutcomeName(outcome);
    EXPECT_EQ(plan.outcome == AcquireOutcome::Delivered, bool(dib)) << plan.productName;
    if (dib) {
      // A packed DIB in a global block, whatever the source handed over.
      EXPECT_TRUE(IsUsableDib(dib.get())) << plan.productName;
      EXPECT_EQ(24, DibBitCount(dib.get())) << plan.productName;
    }
    EXPECT_EQ(StateManagerLoaded, session.state) << plan.productName;
  }

  // The manager's own selection dialog, answered from this thread: Cancel
  // keeps the scanner, OK takes the one it offers (one of those listed).
  g_hook = SetWindowsHookExW(WH_CBT, AnswerSourceDialog, nullptr, GetCurrentThreadId());
  ASSERT_NE(nullptr, g_hook);
  const std::uint32_t before = PlannedScannerId(kSources[0]);
  ASSERT_EQ(before, session.SelectSource(before, false));
  g_answer = IDCANCEL;
  g_dialogs = 0;
  EXPECT_EQ(0u, session.SelectSource(0, true));
  EXPECT_EQ(1, g_dialogs);
  EXPECT_EQ(before, session.scannerId);
  g_answer = IDOK;
  g_dialogs = 0;
  const std::uint32_t chosen = session.SelectSource(0, true);
  EXPECT_EQ(1, g_dialogs);
  EXPECT_NE(0u, chosen);
  EXPECT_EQ(chosen, session.scannerId);
  EXPECT_EQ(StateManagerLoaded, session.state);
  UnhookWindowsHookEx(g_hook);
  g_hook = nullptr;

  // Wine's own gphoto2.ds, listed beside ours, cannot be opened without a
  // camera: a failure, not a cancel.
  ASSERT_TRUE(session.OpenManager());
  TW_IDENTITY listed = {};
  std::uint32_t cameraId = 0;
  for (bool more = session.CallManager(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &listed); more;
       more = session.CallManager(DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &listed))
    if (std::string(listed.ProductName).find("ZV DSM") != 0)
      cameraId = ScannerIdOf(listed);
  ASSERT_TRUE(session.CloseManager());
  if (cameraId != 0) {
    ASSERT_EQ(cameraId, session.SelectSource(cameraId, false));
    AcquireOutcome outcome = AcquireOutcome::Delivered;
    EXPECT_FALSE(session.AcquirePage(TWPT_BW, 100, 0, 0, 0, false, outcome));
    EXPECT_EQ(AcquireOutcome::Failed, outcome) << OutcomeName(outcome);
    EXPECT_EQ(StateManagerLoaded, session.state);
  }
  session.Shutdown();
}

TEST(TwainDsm, CopierThroughTheOfficialManager) {
  if (!ChildRoad().empty())
    GTEST_SKIP();
  const std::wstring dsm = TestBinPath(L"twaindsm\\TWAINDSM.DLL");
  const std::wstring ds = TestBinPath(L"vscanner\\zvscanner.ds");
  const std::wstring combined = TestBinPath(L"vscanner\\TWAIN_32.DLL");
  for (const std::wstring &file : {dsm, ds, combined})
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(file.c_str())) << Narrow(file);
  ASSERT_EQ(MakeFileVersion(2, 4, 3, 0), GetFileVersion(dsm));

  const std::wstring tag = L"zv-twaindsm-" + std::to_wstring(GetCurrentProcessId());
  const std::wstring work = MakeScratchFolder(L"zv-twaindsm");
  const std::wstring dsmRun = work + L"dsm\\";
  const std::wstring combinedRun = work + L"combined\\";
  for (const std::wstring &dir : {dsmRun, combinedRun})
    CreateDirectoryW(dir.c_str(), nullptr);
  ASSERT_TRUE(CopySelfInto(dsmRun, L"child.exe"));
  ASSERT_TRUE(CopyFileW(dsm.c_str(), (dsmRun + L"TWAINDSM.DLL").c_str(), FALSE));
  ASSERT_TRUE(CopySelfInto(combinedRun, L"child.exe"));
  ASSERT_TRUE(CopyFileW(combined.c_str(), (combinedRun + L"TWAIN_32.DLL").c_str(), FALSE));

  // The sources, each in its folder under twain_64, the flatbed the
  // manager's default.
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring twain64 = std::wstring(windows) + L"\\twain_64\\";
  CreateDirectoryW(twain64.c_str(), nullptr);
  std::vector<std::wstring> installed;
  // Whatever happens below, the prefix is left without our sources and
  // without the default this test chose.
  struct Uninstall {
    const std::vector<std::wstring> &folders;
    ~Uninstall() {
      for (const std::wstring &folder : folders) {
        DeleteFileW((folder + L"zvscanner.ds").c_str());
        DeleteFileW((folder + L"vscanner.ini").c_str());
        RemoveDirectoryW(folder.c_str());
      }
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_CURRENT_USER, kDefaultSourceKey, 0, KEY_SET_VALUE, &key) ==
          ERROR_SUCCESS) {
        RegDeleteValueW(key, L"Default Source");
        RegCloseKey(key);
      }
    }
  } uninstall{installed};
  for (const SourcePlan &plan : kSources) {
    const std::wstring folder =
        twain64 + tag + L"-" + std::wstring(plan.folder, plan.folder + std::strlen(plan.folder)) +
        L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    installed.push_back(folder);
    ASSERT_TRUE(CopyFileW(ds.c_str(), (folder + L"zvscanner.ds").c_str(), FALSE));
    ASSERT_TRUE(WriteText(folder + L"vscanner.ini", IniText(plan, TracePath(work, plan.folder))));
  }
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kDefaultSourceKey, 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr));
  const std::string defaultPath = Narrow(installed.front() + L"zvscanner.ds");
  RegSetValueExA(key, "Default Source", 0, REG_SZ,
                 reinterpret_cast<const BYTE *>(defaultPath.c_str()), DWORD(defaultPath.size() + 1));

  // The combined road plays the flatbed from the environment's INI.
  const std::wstring combinedIni = combinedRun + L"vscanner.ini";
  ASSERT_TRUE(WriteText(combinedIni, IniText(kSources[0], combinedRun + L"trace.log")));
  SetEnvironmentVariableW(L"ZV_VSCANNER_INI", combinedIni.c_str());
  const DWORD combinedExit = RunChild(combinedRun + L"child.exe", L"combined");
  const DWORD dsmExit = RunChild(dsmRun + L"child.exe", L"dsm");
  SetEnvironmentVariableW(L"ZV_VSCANNER_INI", nullptr);
  RegCloseKey(key);
  EXPECT_EQ(0u, combinedExit) << "the combined road's child failed (its output is above)";
  EXPECT_EQ(0u, dsmExit) << "the TWAINDSM.DLL road's child failed (its output is above)";

  // The copy job's calls as the source saw them: the same on both roads.
  // The flatbed's trace holds the whole child's run; its first part, up to
  // the two pages, is the copy job's (profile, colour page, profile from
  // the cache, black-and-white page).
  const std::vector<CallRecord> combinedTrace = TraceRecords(combinedRun + L"trace.log");
  const CallSequence viaCombined = SourceCalls(combinedTrace, false);
  const std::vector<CallRecord> viaDsm =
      AsRecords(SourceCalls(TraceRecords(TracePath(work, "flatbed")), true));
  // The DSM child has read the profile for the report first: the same
  // calls as the copy job's own first profile lookup, then the pages.
  EXPECT_TRUE(ContainsSequence(viaCombined, viaDsm));
  // Both pages as the copier asks for them: A4 at 300 dpi, colour, then
  // black and white with its threshold.
  PageCalls colour;
  colour.pixelType = "2";
  colour.resolution = "300.00";
  colour.frame = "0.0000,0.0000,8.2677,11.6929";
  colour.brightness = "0.00";
  PageCalls blackWhite = colour;
  blackWhite.pixelType = "0";
  blackWhite.threshold = true;
  blackWhite.brightness = "127.00";
  for (const PageCalls &page : {colour, blackWhite}) {
    EXPECT_TRUE(ContainsSequence(OnePageAcquisition(page), combinedTrace)) << page.pixelType;
  }

  // Through the manager, the notification travelled back through its
  // DSM_Entry; and nothing the sources handed out was left unfreed except
  // the pages the caller took.
  EXPECT_TRUE(ContainsSequence({Call("DG_CONTROL DAT_NULL MSG_XFERREADY", {}, "TWRC_SUCCESS")},
                               TraceRecords(TracePath(work, "flatbed"))));
  for (const SourcePlan &plan : kSources) {
    const std::vector<std::string> lines = ReadLines(TracePath(work, plan.folder));
    std::size_t closes = 0;
    for (const std::string &line : lines) {
      if (line.rfind("# not freed at MSG_CLOSEDS:", 0) != 0)
        continue;
      ++closes;
      EXPECT_NE(std::string::npos, line.find("containers=0 ")) << plan.productName << ": " << line;
      if (plan.outcome != AcquireOutcome::Delivered) {
        EXPECT_NE(std::string::npos, line.find("images=0")) << plan.productName << ": " << line;
      }
    }
    // A source that refuses to open is never closed.
    if (plan.outcome != AcquireOutcome::Delivered && std::strcmp(plan.folder, "refusing") != 0) {
      EXPECT_LE(1u, closes) << plan.productName;
    }
  }
  // The closing source asked through the manager; the source that cancels
  // its transfer answered TWRC_CANCEL.
  EXPECT_TRUE(ContainsSequence({Call("DG_CONTROL DAT_NULL MSG_CLOSEDSREQ")},
                               TraceRecords(TracePath(work, "closing"))));
  EXPECT_TRUE(ContainsSequence({Call("DG_IMAGE DAT_IMAGENATIVEXFER MSG_GET", {}, "TWRC_CANCEL")},
                               TraceRecords(TracePath(work, "cancelling"))));
  RemoveFolder(work);
}

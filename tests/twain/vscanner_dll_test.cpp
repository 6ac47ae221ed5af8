// The built TWAIN_32.DLL of the virtual scanner, loaded with LoadLibraryW
// and driven by hand through its DSM_Entry the way a TWAIN application does:
// a real window, a real message loop, real global memory.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/window_utils.h"
#include "imaging/global_memory.h"
#include "support/acquisition_calls.h"
#include "support/dialog_driver.h"
#include "support/test_paths.h"
#include "tools/vscanner/vscanner_image.h"
#include "twain/scanner_profile.h"
#include "twain/twain.h"
#include "twain/vscanner_test_support.h"

using namespace twaintest;

namespace {

std::wstring DllPath() { return TestBinPath(L"vscanner\\TWAIN_32.DLL"); }

void WriteFileText(const std::wstring &path, const std::string &text) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, f);
  DWORD written = 0;
  WriteFile(f, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(f);
}

TW_FIX32 Fix(double v) {
  const std::int32_t bits = std::int32_t(v * 65536.0 + (v < 0 ? -0.5 : 0.5));
  TW_FIX32 f;
  f.Whole = TW_INT16(bits >> 16);
  f.Frac = TW_UINT16(bits & 0xFFFF);
  return f;
}

double FromFix(TW_FIX32 f) { return f.Whole + f.Frac / 65536.0; }

LRESULT CALLBACK PlainWindowProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  return DefWindowProcW(w, m, wp, lp);
}

HWND MakeWindow() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = PlainWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZVVScannerTestWindow";
    RegisterClassW(&wc);
    registered = true;
  }
  return CreateWindowExW(0, L"ZVVScannerTestWindow", L"Virtual scanner test", WS_OVERLAPPEDWINDOW,
                         0, 0, 300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

// What one wait for the source's notification saw.
struct Notification {
  TW_UINT16 message = MSG_NULL;  // MSG_XFERREADY, MSG_CLOSEDSREQ, or MSG_NULL on time-out
  DWORD elapsedMs = 0;
};

// The application side, written out call by call.
class App {
public:
  explicit App(DSMENTRYPROC entry) : entry_(entry) {
    app_.Version.MajorNum = 1;
    app_.Version.Language = TWLG_USA;
    app_.Version.Country = TWCY_USA;
    std::strcpy(app_.Version.Info, "1.0");
    app_.ProtocolMajor = 1;
    app_.ProtocolMinor = 9;
    app_.SupportedGroups = DG_CONTROL | DG_IMAGE;
    std::strcpy(app_.Manufacturer, "Zelvantor");
    std::strcpy(app_.ProductFamily, "Tests");
    std::strcpy(app_.ProductName, "Virtual scanner test");
    window_ = MakeWindow();
  }
  ~App() { DestroyWindow(window_); }

  HWND Window() const { return window_; }
  TW_IDENTITY &Source() { return source_; }

  TW_UINT16 Manager(TW_UINT16 dat, TW_UINT16 msg, void *data) {
    return entry_(&app_, nullptr, DG_CONTROL, dat, msg, data);
  }
  TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void *data) {
    return entry_(&app_, &source_, dg, dat, msg, data);
  }

  TW_UINT16 OpenDsm() { return Manager(DAT_PARENT, MSG_OPENDSM, &window_); }
  TW_UINT16 CloseDsm() { return Manager(DAT_PARENT, MSG_CLOSEDSM, &window_); }

  std::vector<TW_IDENTITY> List() {
    std::vector<TW_IDENTITY> all;
    TW_IDENTITY id{};
    for (TW_UINT16 rc = Manager(DAT_IDENTITY, MSG_GETFIRST, &id); rc == TWRC_SUCCESS;
         rc = Manager(DAT_IDENTITY, MSG_GETNEXT, &id))
      all.push_back(id);
    return all;
  }

  TW_UINT16 OpenDs(const TW_IDENTITY &which) {
    source_ = which;
    return Manager(DAT_IDENTITY, MSG_OPENDS, &source_);
  }
  TW_UINT16 CloseDs() { return Manager(DAT_IDENTITY, MSG_CLOSEDS, &source_); }

  TW_UINT16 SetOne(TW_UINT16 cap, TW_UINT16 type, TW_UINT32 item) {
    TW_CAPABILITY c{cap, TWON_ONEVALUE, GlobalAlloc(GHND, sizeof(TW_ONEVALUE))};
    {
      GlobalLockGuard lock(c.hContainer);
      auto *one = static_cast<TW_ONEVALUE *>(lock.data());
      one->ItemType = type;
      one->Item = item;
    }
    const TW_UINT16 rc = Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &c);
    GlobalFree(c.hContainer);
    return rc;
  }
  TW_UINT16 SetFix(TW_UINT16 cap, double v) {
    const TW_FIX32 f = Fix(v);
    TW_UINT32 item;
    std::memcpy(&item, &f, 4);
    return SetOne(cap, TWTY_FIX32, item);
  }
  // MSG_GET of a capability, its container freed.
  TW_UINT16 Get(TW_UINT16 cap) {
    TW_CAPABILITY c{cap, TWON_DONTCARE16, nullptr};
    const TW_UINT16 rc = Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &c);
    if (c.hContainer != nullptr)
      GlobalFree(c.hContainer);
    return rc;
  }
  TW_UINT16 SetFrame(double l, double t, double r, double b) {
    TW_IMAGELAYOUT layout{};
    layout.Frame = {Fix(l), Fix(t), Fix(r), Fix(b)};
    return Call(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout);
  }
  TW_UINT16 Enable(bool showUi) {
    ui_.ShowUI = showUi ? 1 : 0;
    ui_.ModalUI = 0;
    ui_.hParent = window_;
    return Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui_);
  }
  TW_UINT16 Disable() { return Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui_); }

  // The application's message loop: every message goes to the source
  // first. Gives up after timeoutMs (a timer of its own wakes it). onStart
  // runs once before the first message is taken.
  Notification Wait(DWORD timeoutMs, std::function<void()> onStart = nullptr) {
    Notification result;
    const ULONGLONG start = GetTickCount64();
    const UINT_PTR guard = SetTimer(window_, 0x7E57, timeoutMs, nullptr);
    if (onStart)
      onStart();
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (msg.message == WM_TIMER && msg.hwnd == window_ && msg.wParam == guard)
        break;
      TW_EVENT event{&msg, MSG_NULL};
      const TW_UINT16 rc = Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
      if (rc != TWRC_DSEVENT) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      if (event.TWMessage == MSG_XFERREADY || event.TWMessage == MSG_CLOSEDSREQ) {
        result.message = event.TWMessage;
        break;
      }
    }
    KillTimer(window_, guard);
    result.elapsedMs = DWORD(GetTickCount64() - start);
    return result;
  }

  TW_UINT16 ImageInfo(TW_IMAGEINFO &info) {
    std::memset(&info, 0, sizeof info);
    return Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
  }
  TW_UINT16 Transfer(HGLOBAL &dib) {
    TW_HANDLE h = nullptr;
    const TW_UINT16 rc = Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &h);
    dib = static_cast<HGLOBAL>(h);
    return rc;
  }
  TW_UINT16 EndXfer(TW_UINT16 &count) {
    TW_PENDINGXFERS p{};
    const TW_UINT16 rc = Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &p);
    count = p.Count;
    return rc;
  }
  TW_UINT16 Reset() {
    TW_PENDINGXFERS p{};
    return Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &p);
  }

private:
  DSMENTRYPROC entry_;
  TW_IDENTITY app_{};
  TW_IDENTITY source_{};
  TW_USERINTERFACE ui_{};
  HWND window_ = nullptr;
};

std::string ProductOf(const TW_IDENTITY &id) {
  return std::string(id.ProductName, strnlen(id.ProductName, sizeof id.ProductName));
}

// Loads the DLL once for all tests; each test writes its own INI file, which
// the DLL reads again at every MSG_OPENDSM.
class VirtualScannerDll : public testing::Test {
protected:
  static void SetUpTestSuite() {
    module_ = LoadLibraryW(DllPath().c_str());
    if (module_)
      entry_ = reinterpret_cast<DSMENTRYPROC>(
          reinterpret_cast<void *>(GetProcAddress(module_, "DSM_Entry")));
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"zv_vscanner_test_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
    ini_ = folder_ + L"\\vscanner.ini";
    trace_ = folder_ + L"\\trace.log";
    SetEnvironmentVariableW(L"ZV_VSCANNER_INI", ini_.c_str());
  }
  static void TearDownTestSuite() {
    SetEnvironmentVariableW(L"ZV_VSCANNER_INI", nullptr);
    if (module_)
      FreeLibrary(module_);
    module_ = nullptr;
    entry_ = nullptr;
    DeleteFileW(ini_.c_str());
    DeleteFileW(trace_.c_str());
    DeleteFileW((folder_ + L"\\page.bmp").c_str());
    RemoveDirectoryW(folder_.c_str());
  }
  void SetUp() override {
    ASSERT_NE(nullptr, module_) << "cannot load " << Narrow(DllPath()) << " error " << GetLastError();
    ASSERT_NE(nullptr, entry_);
    DeleteFileW(trace_.c_str());
  }

  // An INI with a trace (started afresh) and the given source lines.
  static void Configure(const std::string &sources) {
    DeleteFileW(trace_.c_str());
    WriteFileText(ini_, "[Manager]\r\nTrace=" + Narrow(trace_) + "\r\n" + sources);
  }

  static HMODULE module_;
  static DSMENTRYPROC entry_;
  static std::wstring folder_, ini_, trace_;
};

HMODULE VirtualScannerDll::module_ = nullptr;
DSMENTRYPROC VirtualScannerDll::entry_ = nullptr;
std::wstring VirtualScannerDll::folder_, VirtualScannerDll::ini_, VirtualScannerDll::trace_;

} // namespace

TEST_F(VirtualScannerDll, VersionResourceIsAtLeast1603) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(DllPath().c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<std::uint8_t> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(DllPath().c_str(), 0, size, data.data()));
  VS_FIXEDFILEINFO *info = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void **>(&info), &length));
  ASSERT_NE(nullptr, info);
  const std::uint64_t version = std::uint64_t(info->dwFileVersionMS) << 32 | info->dwFileVersionLS;
  EXPECT_GE(version, (std::uint64_t(0x00010006) << 32) | 3u);
  // And it is this DLL that was loaded, from its own folder.
  wchar_t loaded[MAX_PATH * 2] = {};
  GetModuleFileNameW(module_, loaded, DWORD(std::size(loaded)));
  EXPECT_EQ(0, lstrcmpiW(loaded, DllPath().c_str())) << Narrow(loaded);
}

TEST_F(VirtualScannerDll, ColourAcquisitionByHand) {
  Configure("[Source]\r\n[Source Special]\r\nPreset=A510B7A9\r\n");
  App app(entry_);
  ASSERT_EQ(TWRC_SUCCESS, app.OpenDsm());
  const auto sources = app.List();
  ASSERT_EQ(2u, sources.size());
  EXPECT_EQ("Zelvantor Virtual Scanner", ProductOf(sources[0]));
  EXPECT_EQ("ZV Greyscale 1-bit TzGuxPPT", ProductOf(sources[1]));
  EXPECT_EQ(0xA510B7A9u, ScannerIdOf(sources[1]));
  TW_IDENTITY def{};
  ASSERT_EQ(TWRC_SUCCESS, app.Manager(DAT_IDENTITY, MSG_GETDEFAULT, &def));
  EXPECT_EQ("Zelvantor Virtual Scanner", ProductOf(def));

  // The copier's settings, in its order.
  ASSERT_EQ(TWRC_SUCCESS, app.OpenDs(sources[0]));
  EXPECT_EQ(TWRC_SUCCESS, app.SetFix(ICAP_XRESOLUTION, 150));
  EXPECT_EQ(TWRC_SUCCESS, app.SetFix(ICAP_YRESOLUTION, 150));
  EXPECT_EQ(TWRC_SUCCESS, app.SetFrame(1, 1, 5, 4));
  EXPECT_EQ(TWRC_SUCCESS, app.SetFix(ICAP_CONTRAST, 0));
  EXPECT_EQ(TWRC_SUCCESS, app.SetOne(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_RGB));
  EXPECT_EQ(TWRC_SUCCESS, app.Get(ICAP_BRIGHTNESS));
  EXPECT_EQ(TWRC_SUCCESS, app.SetFix(ICAP_BRIGHTNESS, 0));
  ASSERT_EQ(TWRC_SUCCESS, app.Enable(false));
  const Notification n = app.Wait(10000);
  ASSERT_EQ(MSG_XFERREADY, n.message);
  TW_IMAGEINFO info;
  EXPECT_EQ(TWRC_SUCCESS, app.ImageInfo(info));
  EXPECT_DOUBLE_EQ(150, FromFix(info.XResolution));
  EXPECT_DOUBLE_EQ(150, FromFix(info.YResolution));
  HGLOBAL dib = nullptr;
  ASSERT_EQ(TWRC_XFERDONE, app.Transfer(dib));
  ASSERT_NE(nullptr, dib);
  TW_UINT16 count = 99;
  EXPECT_EQ(TWRC_SUCCESS, app.EndXfer(count));
  EXPECT_EQ(0, count);
  EXPECT_EQ(TWRC_SUCCESS, app.Disable());
  EXPECT_EQ(TWRC_SUCCESS, app.CloseDs());
  EXPECT_EQ(TWRC_SUCCESS, app.CloseDsm());

  {
    // 4 x 3 inches at 150 dpi: 600 x 450 pixels, 24 bits, 5906 pixels per metre.
    GlobalLockGuard lock(dib);
    ASSERT_TRUE(lock);
    const auto *bi = static_cast<const BITMAPINFOHEADER *>(lock.data());
    EXPECT_EQ(40u, bi->biSize);
    EXPECT_EQ(600, bi->biWidth);
    EXPECT_EQ(450, bi->biHeight);
    EXPECT_EQ(24, bi->biBitCount);
    EXPECT_EQ(5906, bi->biXPelsPerMeter);
    EXPECT_EQ(5906, bi->biYPelsPerMeter);
    EXPECT_EQ(1800u * 450u, bi->biSizeImage);
    const auto at = [&](int x, int y) { return vscanner::DibGreyAt(lock.bytes(), lock.size(), x, y); };
    // Corner marks: the filled square and the Ls.
    EXPECT_EQ(0, at(0, 0));
    EXPECT_EQ(0, at(25, 25));
    EXPECT_EQ(0, at(599, 0));
    EXPECT_EQ(0, at(0, 449));
    EXPECT_EQ(0, at(599, 449));
    EXPECT_EQ(255, at(560, 400));
    // The line 50 mm below the glass top: 24.6 mm below the frame's top,
    // rows 145..148 at 150 dpi.
    EXPECT_EQ(0, at(307, 146));
    EXPECT_EQ(255, at(307, 141));
    EXPECT_EQ(255, at(307, 152));
  }
  GlobalFree(dib);

  // The page's calls as the copier makes them; the listing and the default
  // as this application asked for them.
  PageCalls page;
  page.pixelType = "2";
  page.resolution = "150.00";
  page.frame = "1.0000,1.0000,5.0000,4.0000";
  page.brightness = "0.00";
  const CallSequence listing = {
      Call("DG_CONTROL DAT_PARENT MSG_OPENDSM", {}, "TWRC_SUCCESS"),
      Call("DG_CONTROL DAT_IDENTITY MSG_GETFIRST", {{"source", "\"Zelvantor Virtual Scanner\""}},
           "TWRC_SUCCESS"),
      Call("DG_CONTROL DAT_IDENTITY MSG_GETNEXT", {{"source", "\"ZV Greyscale 1-bit TzGuxPPT\""}},
           "TWRC_SUCCESS"),
      Call("DG_CONTROL DAT_IDENTITY MSG_GETNEXT", {}, "TWRC_ENDOFLIST"),
      Call("DG_CONTROL DAT_IDENTITY MSG_GETDEFAULT", {{"source", "\"Zelvantor Virtual Scanner\""}},
           "TWRC_SUCCESS"),
      Call("DG_CONTROL DAT_IDENTITY MSG_OPENDS", {{"source", "\"Zelvantor Virtual Scanner\""}},
           "TWRC_SUCCESS"),
  };
  EXPECT_TRUE(
      MatchesSequence(Concat({listing, OnePage(page), ManagerClosed()}), TraceRecords(trace_)));
  // Ids: the source calls go from the application to the source's number.
  const auto lines = ReadLines(trace_);
  const auto enable = std::find_if(lines.begin(), lines.end(), [](const std::string &l) {
    return l.find("MSG_ENABLEDS") != std::string::npos;
  });
  ASSERT_NE(lines.end(), enable);
  const std::string ids = " -> " + std::to_string(sources[0].Id) + " ";
  EXPECT_NE(std::string::npos, enable->find(ids)) << *enable;
}

namespace {

// How one acquisition went, from MSG_ENABLEDS to the end of the transfer.
struct Outcome {
  TW_UINT16 enableRc = 0xFFFF;
  TW_UINT16 notification = MSG_NULL;
  TW_UINT16 transferRc = 0xFFFF;
  bool gotImage = false;
  TW_UINT16 pendingAfter = 0xFFFF;  // Count after MSG_ENDXFER
  TW_UINT16 resetRc = 0xFFFF;       // MSG_RESET, when images were pending or the transfer failed
  BITMAPINFOHEADER header{};
  std::vector<std::uint8_t> dib;
  DWORD waitMs = 0;
};

// Opens the first source, asks for a grey 100 dpi 2 x 1 inch scan without
// user interface, and plays the protocol to the end whatever happens.
Outcome Acquire(DSMENTRYPROC entry, TW_UINT16 pixelType = TWPT_GRAY,
                std::function<void(HWND)> whileWaiting = nullptr, bool showUi = false,
                std::size_t sourceIndex = 0) {
  Outcome out;
  App app(entry);
  if (app.OpenDsm() != TWRC_SUCCESS)
    return out;
  const auto sources = app.List();
  if (sources.size() <= sourceIndex || app.OpenDs(sources[sourceIndex]) != TWRC_SUCCESS) {
    app.CloseDsm();
    return out;
  }
  app.SetOne(ICAP_PIXELTYPE, TWTY_UINT16, pixelType);
  app.SetFix(ICAP_XRESOLUTION, 100);
  app.SetFix(ICAP_YRESOLUTION, 100);
  app.SetFrame(0, 0, 2, 1);
  out.enableRc = app.Enable(showUi);
  if (out.enableRc == TWRC_SUCCESS || out.enableRc == TWRC_CHECKSTATUS) {
    HWND window = app.Window();
    const Notification n = app.Wait(5000, whileWaiting ? [&] { whileWaiting(window); }
                                                       : std::function<void()>());
    out.notification = n.message;
    out.waitMs = n.elapsedMs;
    if (n.message == MSG_XFERREADY) {
      TW_IMAGEINFO info;
      app.ImageInfo(info);
      HGLOBAL dib = nullptr;
      out.transferRc = app.Transfer(dib);
      if (dib) {
        GlobalLockGuard lock(dib);
        out.gotImage = lock && lock.size() >= sizeof(BITMAPINFOHEADER);
        if (out.gotImage) {
          std::memcpy(&out.header, lock.data(), sizeof out.header);
          out.dib.assign(lock.bytes(), lock.bytes() + lock.size());
        }
      }
      if (dib)
        GlobalFree(dib);
      if (out.transferRc == TWRC_XFERDONE || out.transferRc == TWRC_CANCEL)
        app.EndXfer(out.pendingAfter);
      if (out.transferRc == TWRC_FAILURE || (out.pendingAfter != 0 && out.pendingAfter != 0xFFFF))
        out.resetRc = app.Reset();
    }
    app.Disable();
  }
  app.CloseDs();
  app.CloseDsm();
  return out;
}

} // namespace

// Each behaviour the INI can ask for, against what the application sees.
TEST_F(VirtualScannerDll, BehavioursPlayedAsConfigured) {
  struct Case {
    const char *lines;
    TW_UINT16 enableRc;
    TW_UINT16 notification;
    TW_UINT16 transferRc;
    bool image;
    TW_UINT16 pendingAfter;
    TW_UINT16 resetRc;
  } cases[] = {
      {"Behaviour=Deliver", TWRC_SUCCESS, MSG_XFERREADY, TWRC_XFERDONE, true, 0, 0xFFFF},
      {"Behaviour=CloseRequest", TWRC_SUCCESS, MSG_CLOSEDSREQ, 0xFFFF, false, 0xFFFF, 0xFFFF},
      {"Behaviour=FailTransfer", TWRC_SUCCESS, MSG_XFERREADY, TWRC_FAILURE, false, 0xFFFF, TWRC_SUCCESS},
      {"Behaviour=CancelTransfer", TWRC_SUCCESS, MSG_XFERREADY, TWRC_CANCEL, false, 0, 0xFFFF},
      {"Behaviour=TwoImages", TWRC_SUCCESS, MSG_XFERREADY, TWRC_XFERDONE, true, 1, TWRC_SUCCESS},
      {"EnableDS=CheckStatus", TWRC_CHECKSTATUS, MSG_XFERREADY, TWRC_XFERDONE, true, 0, 0xFFFF},
      {"EnableDS=Failure", TWRC_FAILURE, MSG_NULL, 0xFFFF, false, 0xFFFF, 0xFFFF},
      {"EnableDS=Cancel", TWRC_CANCEL, MSG_NULL, 0xFFFF, false, 0xFFFF, 0xFFFF},
  };
  for (const Case &c : cases) {
    Configure(std::string("[Source]\r\n") + c.lines + "\r\n");
    const Outcome out = Acquire(entry_);
    EXPECT_EQ(c.enableRc, out.enableRc) << c.lines;
    EXPECT_EQ(c.notification, out.notification) << c.lines;
    EXPECT_EQ(c.transferRc, out.transferRc) << c.lines;
    EXPECT_EQ(c.image, out.gotImage) << c.lines;
    EXPECT_EQ(c.pendingAfter, out.pendingAfter) << c.lines;
    EXPECT_EQ(c.resetRc, out.resetRc) << c.lines;
    // The trace of this session alone: from opening the manager to closing
    // it, with the notification the application saw.
    const std::vector<CallRecord> records = TraceRecords(trace_);
    ASSERT_FALSE(records.empty()) << c.lines;
    EXPECT_EQ("DG_CONTROL DAT_PARENT MSG_OPENDSM = TWRC_SUCCESS", FormatCallRecord(records.front()))
        << c.lines;
    EXPECT_EQ("DG_CONTROL DAT_PARENT MSG_CLOSEDSM = TWRC_SUCCESS", FormatCallRecord(records.back()))
        << c.lines;
    const std::size_t events = std::count_if(records.begin(), records.end(), [](const CallRecord &r) {
      return r.call == "DG_CONTROL DAT_EVENT MSG_PROCESSEVENT" && r.result == "TWRC_DSEVENT";
    });
    EXPECT_EQ(c.notification == MSG_NULL ? 0u : 1u, events) << c.lines;
    if (c.notification != MSG_NULL) {
      EXPECT_TRUE(ContainsSequence({Call("DG_CONTROL DAT_EVENT MSG_PROCESSEVENT",
                                         {{"event", c.notification == MSG_XFERREADY
                                                        ? "MSG_XFERREADY"
                                                        : "MSG_CLOSEDSREQ"}})},
                                   records))
          << c.lines;
    }
  }
}

TEST_F(VirtualScannerDll, HeaderFaultsReachTheApplication) {
  struct Case {
    const char *faults;
    TW_UINT16 pixelType;
    LONG ppm;
    DWORD colours, sizeImage;
    int firstPaletteLevel;  // -1: no palette
  } cases[] = {
      {"None", TWPT_GRAY, 3937, 256, 200 * 100, 0},
      {"ZeroPelsPerMeter", TWPT_GRAY, 0, 256, 200 * 100, 0},
      {"ZeroColourCount", TWPT_GRAY, 3937, 0, 200 * 100, 0},
      {"ZeroImageSize", TWPT_RGB, 3937, 0, 0, -1},
      {"ReversedGreyPalette", TWPT_GRAY, 3937, 256, 200 * 100, 255},
      {"ZeroPelsPerMeter,ZeroColourCount,ZeroImageSize", TWPT_BW, 0, 0, 0, 0},
  };
  for (const Case &c : cases) {
    Configure(std::string("[Source]\r\nHeaderFaults=") + c.faults + "\r\n");
    const Outcome out = Acquire(entry_, c.pixelType);
    ASSERT_TRUE(out.gotImage) << c.faults;
    EXPECT_EQ(200, out.header.biWidth) << c.faults;
    EXPECT_EQ(100, out.header.biHeight) << c.faults;
    EXPECT_EQ(c.ppm, out.header.biXPelsPerMeter) << c.faults;
    EXPECT_EQ(c.ppm, out.header.biYPelsPerMeter) << c.faults;
    EXPECT_EQ(c.colours, out.header.biClrUsed) << c.faults;
    EXPECT_EQ(c.sizeImage, out.header.biSizeImage) << c.faults;
    if (c.firstPaletteLevel >= 0) {
      EXPECT_EQ(c.firstPaletteLevel, out.dib[40]) << c.faults;
    }
    // Whatever the palette, the picture reads the same: the corner square
    // black, the page white.
    EXPECT_EQ(0, vscanner::DibGreyAt(out.dib.data(), out.dib.size(), 1, 1)) << c.faults;
    EXPECT_EQ(255, vscanner::DibGreyAt(out.dib.data(), out.dib.size(), 100, 10)) << c.faults;
  }
}

// The delay is a timer: while the source "scans", a GetMessage loop sleeps.
TEST_F(VirtualScannerDll, NotificationWaitsForTheConfiguredDelay) {
  Configure("[Source]\r\nXferReadyDelay=1000\r\n");
  const double cpuBefore = ProcessCpuSeconds();
  const Outcome out = Acquire(entry_);
  const double cpu = ProcessCpuSeconds() - cpuBefore;
  EXPECT_EQ(MSG_XFERREADY, out.notification);
  EXPECT_TRUE(out.gotImage);
  EXPECT_GE(out.waitMs, 980u);
  EXPECT_LT(cpu, 0.3) << "processor time over a 1 s wait";
}

TEST_F(VirtualScannerDll, BmpFileStretchedOverTheFrame) {
  // 2 x 1 pixels: black on the left, white on the right, bottom-up 24-bit.
  std::string bmp(14 + 40 + 8, '\0');
  auto put = [&](std::size_t at, std::uint32_t v) { std::memcpy(&bmp[at], &v, 4); };
  bmp[0] = 'B';
  bmp[1] = 'M';
  put(2, std::uint32_t(bmp.size()));
  put(10, 54);
  put(14, 40);
  put(18, 2);
  put(22, 1);
  bmp[26] = 1;
  bmp[28] = 24;
  for (int i = 0; i < 3; ++i)
    bmp[54 + 3 + i] = char(0xFF);
  WriteFileText(folder_ + L"\\page.bmp", bmp);
  Configure("[Source]\r\nImage=page.bmp\r\n");
  const Outcome out = Acquire(entry_);
  ASSERT_TRUE(out.gotImage);
  EXPECT_EQ(0, vscanner::DibGreyAt(out.dib.data(), out.dib.size(), 0, 0));
  EXPECT_EQ(0, vscanner::DibGreyAt(out.dib.data(), out.dib.size(), 99, 99));
  EXPECT_EQ(255, vscanner::DibGreyAt(out.dib.data(), out.dib.size(), 100, 0));
  EXPECT_EQ(255, vscanner::DibGreyAt(out.dib.data(), out.dib.size(), 199, 99));
  // Two sources with the same identity keep their own images.
  Configure("[Source]\r\n[Source]\r\nImage=page.bmp\r\n");
  const Outcome chart = Acquire(entry_, TWPT_GRAY, nullptr, false, 0);
  const Outcome picture = Acquire(entry_, TWPT_GRAY, nullptr, false, 1);
  ASSERT_TRUE(chart.gotImage && picture.gotImage);
  EXPECT_EQ(255, vscanner::DibGreyAt(chart.dib.data(), chart.dib.size(), 60, 10));
  EXPECT_EQ(0, vscanner::DibGreyAt(picture.dib.data(), picture.dib.size(), 60, 10));
  // A file that is not there fails the transfer instead of inventing a page.
  Configure("[Source]\r\nImage=missing.bmp\r\n");
  const Outcome missing = Acquire(entry_);
  EXPECT_EQ(MSG_XFERREADY, missing.notification);
  EXPECT_EQ(TWRC_FAILURE, missing.transferRc);
  EXPECT_FALSE(missing.gotImage);
}

namespace {

// The source's own dialog, owned by the application's window.
HWND FindScanDialog(HWND owner) {
  HWND dialog = FindWindowW(L"#32770", L"Zelvantor Virtual Scanner");
  return dialog && GetWindow(dialog, GW_OWNER) == owner ? dialog : nullptr;
}

} // namespace

// With its user interface the source waits for the user: Scan delivers,
// Cancel asks the application to close it. A source whose interface cannot
// be hidden shows it even when asked not to.
TEST_F(VirtualScannerDll, SourceDialogScanAndCancel) {
  struct Case {
    const char *lines;
    bool showUi;
    int button;
    TW_UINT16 notification;
  } cases[] = {
      {"", true, IDOK, MSG_XFERREADY},
      {"", true, IDCANCEL, MSG_CLOSEDSREQ},
      {"UIControllable=no\r\n", false, IDOK, MSG_XFERREADY},
      {"UIControllable=no\r\n", false, IDCANCEL, MSG_CLOSEDSREQ},
      {"Behaviour=CloseRequest\r\n", true, IDOK, MSG_CLOSEDSREQ},
  };
  for (const Case &c : cases) {
    Configure(std::string("[Source]\r\n") + c.lines);
    bool dialogSeen = false;
    const Outcome out = Acquire(
        entry_, TWPT_GRAY,
        [&](HWND owner) {
          HWND dialog = FindScanDialog(owner);
          dialogSeen = dialog != nullptr;
          if (dialog)
            PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(c.button, BN_CLICKED), 0);
        },
        c.showUi);
    EXPECT_TRUE(dialogSeen) << c.lines << c.button;
    EXPECT_EQ(c.notification, out.notification) << c.lines << c.button;
    EXPECT_EQ(c.notification == MSG_XFERREADY, out.gotImage) << c.lines << c.button;
    // The dialog goes with the source.
    EXPECT_EQ(nullptr, FindWindowW(L"#32770", L"Zelvantor Virtual Scanner")) << c.lines;
  }
  // Without its interface and nobody pressing anything, the source delivers
  // on its own and shows nothing.
  Configure("[Source]\r\n");
  bool dialogSeen = true;
  const Outcome out = Acquire(entry_, TWPT_GRAY, [&](HWND owner) { dialogSeen = FindScanDialog(owner) != nullptr; });
  EXPECT_FALSE(dialogSeen);
  EXPECT_TRUE(out.gotImage);
}

namespace {

// What the answer to the manager's "Select Source" dialog saw.
struct SelectAnswer {
  bool seen = false;
  bool ownedByApplication = false;
  int entries = 0;
};

// Answers the "Select Source" dialog: checks its owner, picks entry `pick`
// (or -1 for Cancel) and presses the button.
DialogDriver::Answer AnswerSelect(HWND owner, int pick, SelectAnswer &answer) {
  return [owner, pick, &answer](HWND dialog) {
    if (GetWindowTextString(dialog) != L"Select Source")
      return;
    answer.seen = true;
    answer.ownedByApplication = GetWindow(dialog, GW_OWNER) == owner;
    HWND list = GetDlgItem(dialog, 100);
    answer.entries = int(SendMessageW(list, LB_GETCOUNT, 0, 0));
    if (pick >= 0) {
      SendMessageW(list, LB_SETCURSEL, WPARAM(pick), 0);
      PressButton(dialog, IDOK);
    } else {
      PressButton(dialog, IDCANCEL);
    }
  };
}

} // namespace

TEST_F(VirtualScannerDll, UserSelectDialogPicksOrCancels) {
  Configure("[Manager]\r\nDefault=1\r\n[Source]\r\n[Source]\r\nPreset=A510B7A9\r\n");
  App app(entry_);
  ASSERT_EQ(TWRC_SUCCESS, app.OpenDsm());
  {
    SelectAnswer answer;
    DialogDriver driver(AnswerSelect(app.Window(), 1, answer));
    TW_IDENTITY chosen{};
    EXPECT_EQ(TWRC_SUCCESS, app.Manager(DAT_IDENTITY, MSG_USERSELECT, &chosen));
    EXPECT_EQ("ZV Greyscale 1-bit TzGuxPPT", ProductOf(chosen));
    EXPECT_TRUE(answer.seen);
    EXPECT_TRUE(answer.ownedByApplication);
    EXPECT_EQ(2, answer.entries);
  }
  {
    SelectAnswer answer;
    DialogDriver driver(AnswerSelect(app.Window(), -1, answer));
    TW_IDENTITY chosen{};
    EXPECT_EQ(TWRC_CANCEL, app.Manager(DAT_IDENTITY, MSG_USERSELECT, &chosen));
    EXPECT_TRUE(answer.seen);
  }
  EXPECT_EQ(TWRC_SUCCESS, app.CloseDsm());
  EXPECT_TRUE(ContainsSequence(
      {Call("DG_CONTROL DAT_IDENTITY MSG_USERSELECT", {}, "TWRC_CANCEL")}, TraceRecords(trace_)));
}

namespace {

// What MSG_GET of one capability returned, decoded for 32-bit-or-smaller
// items.
struct CapAnswer {
  TW_UINT16 rc = 0xFFFF;
  TW_UINT16 conType = 0;
  std::vector<double> items;  // ONEVALUE: 1; ENUMERATION: all; RANGE: min, max, step, default, current
  TW_UINT32 currentIndex = 0, defaultIndex = 0;
};

double ItemValue(TW_UINT16 type, const std::uint8_t *p) {
  switch (type) {
  case TWTY_FIX32: {
    TW_FIX32 f;
    std::memcpy(&f, p, 4);
    return FromFix(f);
  }
  case TWTY_UINT16:
  case TWTY_BOOL: {
    TW_UINT16 v;
    std::memcpy(&v, p, 2);
    return v;
  }
  case TWTY_INT16: {
    TW_INT16 v;
    std::memcpy(&v, p, 2);
    return v;
  }
  default: {
    TW_UINT32 v;
    std::memcpy(&v, p, 4);
    return v;
  }
  }
}

std::size_t ItemSize(TW_UINT16 type) {
  return type == TWTY_FIX32 || type == TWTY_UINT32 || type == TWTY_INT32 ? 4
         : type == TWTY_UINT8 || type == TWTY_INT8                       ? 1
                                                                         : 2;
}

CapAnswer GetCap(App &app, TW_UINT16 cap) {
  CapAnswer a;
  TW_CAPABILITY c{cap, TWON_DONTCARE16, nullptr};
  a.rc = app.Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &c);
  a.conType = c.ConType;
  if (a.rc != TWRC_SUCCESS || !c.hContainer)
    return a;
  {
    GlobalLockGuard lock(c.hContainer);
    const std::uint8_t *p = lock.bytes();
    TW_UINT16 type;
    std::memcpy(&type, p, 2);
    if (c.ConType == TWON_ONEVALUE) {
      a.items.push_back(ItemValue(type, p + 2));
    } else if (c.ConType == TWON_ENUMERATION) {
      TW_ENUMERATION e;
      std::memcpy(&e, p, offsetof(TW_ENUMERATION, ItemList));
      a.currentIndex = e.CurrentIndex;
      a.defaultIndex = e.DefaultIndex;
      for (TW_UINT32 i = 0; i < e.NumItems && i < 64; ++i)
        a.items.push_back(ItemValue(type, p + offsetof(TW_ENUMERATION, ItemList) + i * ItemSize(type)));
    } else if (c.ConType == TWON_RANGE) {
      for (std::size_t at : {offsetof(TW_RANGE, MinValue), offsetof(TW_RANGE, MaxValue),
                             offsetof(TW_RANGE, StepSize), offsetof(TW_RANGE, DefaultValue),
                             offsetof(TW_RANGE, CurrentValue)})
        a.items.push_back(ItemValue(type, p + at));
    }
  }
  GlobalFree(c.hContainer);
  return a;
}

} // namespace

// The INI's capability descriptions as the application reads them.
TEST_F(VirtualScannerDll, CapabilitiesAsConfigured) {
  struct Case {
    const char *lines;
    TW_UINT16 cap;
    TW_UINT16 conType;
    std::vector<double> items;
    TW_UINT32 currentIndex;
  } cases[] = {
      {"", ICAP_XRESOLUTION, TWON_ENUMERATION, {75, 100, 150, 200, 300, 600, 1200}, 4},
      {"Resolutions=75,150\r\nResolutionDefault=150", ICAP_YRESOLUTION, TWON_ENUMERATION, {75, 150}, 1},
      {"Resolutions=300", ICAP_XRESOLUTION, TWON_ONEVALUE, {300}, 0},
      {"Resolutions=50..1200/25\r\nResolutionDefault=400", ICAP_XRESOLUTION, TWON_RANGE,
       {50, 1200, 25, 400, 400}, 0},
      {"", ICAP_BRIGHTNESS, TWON_RANGE, {-1000, 1000, 1, 0, 0}, 0},
      {"Brightness=250", ICAP_BRIGHTNESS, TWON_ONEVALUE, {250}, 0},
      {"", ICAP_PIXELTYPE, TWON_ENUMERATION, {0, 1, 2}, 2},
      {"PixelTypes=GRAY,BW\r\nPixelTypeDefault=BW", ICAP_PIXELTYPE, TWON_ENUMERATION, {1, 0}, 1},
      {"Units=INCHES,CENTIMETERS\r\nUnitDefault=CENTIMETERS", ICAP_UNITS, TWON_ENUMERATION, {0, 1}, 1},
      {"", CAP_UICONTROLLABLE, TWON_ONEVALUE, {1}, 0},
      {"UIControllable=no", CAP_UICONTROLLABLE, TWON_ONEVALUE, {0}, 0},
      {"PhysicalWidth=8.27", ICAP_PHYSICALWIDTH, TWON_ONEVALUE, {8.27}, 0},
      {"", ICAP_PHYSICALHEIGHT, TWON_ONEVALUE, {11.69}, 0},
      {"NativeResolution=1200\r\nYNativeResolution=2400", ICAP_YNATIVERESOLUTION, TWON_ONEVALUE, {2400}, 0},
      {"NativeResolution=1200\r\nYNativeResolution=2400", ICAP_XNATIVERESOLUTION, TWON_ONEVALUE, {1200}, 0},
  };
  for (const Case &c : cases) {
    Configure(std::string("[Source]\r\n") + c.lines + "\r\n");
    App app(entry_);
    ASSERT_EQ(TWRC_SUCCESS, app.OpenDsm());
    const auto sources = app.List();
    ASSERT_FALSE(sources.empty());
    ASSERT_EQ(TWRC_SUCCESS, app.OpenDs(sources[0]));
    const CapAnswer a = GetCap(app, c.cap);
    app.CloseDs();
    app.CloseDsm();
    EXPECT_EQ(TWRC_SUCCESS, a.rc) << c.lines;
    EXPECT_EQ(c.conType, a.conType) << c.lines;
    ASSERT_EQ(c.items.size(), a.items.size()) << c.lines;
    for (std::size_t i = 0; i < c.items.size(); ++i)
      EXPECT_NEAR(c.items[i], a.items[i], 0.0001) << c.lines << " item " << i;
    if (c.conType == TWON_ENUMERATION) {
      EXPECT_EQ(c.currentIndex, a.currentIndex) << c.lines;
    }
  }
}

// A careless application: calls without data, or at the wrong moment, get
// TWRC_FAILURE and leave the manager usable.
TEST_F(VirtualScannerDll, CallsWithoutDataOrOutOfTurnFail) {
  Configure("[Source]\r\n");
  App app(entry_);
  struct Triplet {
    bool toSource;
    TW_UINT32 dg;
    TW_UINT16 dat, msg;
  } calls[] = {
      {false, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT}, {false, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST},
      {true, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS}, {true, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT},
      {true, DG_CONTROL, DAT_CAPABILITY, MSG_GET},        {true, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET},
      {true, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER},
  };
  // Before MSG_OPENDSM nothing but failure.
  TW_IDENTITY id{};
  EXPECT_EQ(TWRC_FAILURE, app.Manager(DAT_IDENTITY, MSG_GETFIRST, &id));
  ASSERT_EQ(TWRC_SUCCESS, app.OpenDsm());
  const auto sources = app.List();
  ASSERT_EQ(1u, sources.size());
  ASSERT_EQ(TWRC_SUCCESS, app.OpenDs(sources[0]));
  for (const Triplet &t : calls) {
    const TW_UINT16 rc = t.toSource ? app.Call(t.dg, t.dat, t.msg, nullptr) : app.Manager(t.dat, t.msg, nullptr);
    EXPECT_EQ(TWRC_FAILURE, rc) << t.dat << "/" << t.msg;
  }
  // A transfer before the source announced one is out of turn.
  HGLOBAL dib = nullptr;
  EXPECT_EQ(TWRC_FAILURE, app.Transfer(dib));
  EXPECT_EQ(nullptr, dib);
  // And the session still works.
  ASSERT_EQ(TWRC_SUCCESS, app.Enable(false));
  EXPECT_EQ(MSG_XFERREADY, app.Wait(5000).message);
  EXPECT_EQ(TWRC_XFERDONE, app.Transfer(dib));
  if (dib)
    GlobalFree(dib);
  TW_UINT16 count = 0;
  EXPECT_EQ(TWRC_SUCCESS, app.EndXfer(count));
  EXPECT_EQ(TWRC_SUCCESS, app.Disable());
  EXPECT_EQ(TWRC_SUCCESS, app.CloseDs());
  EXPECT_EQ(TWRC_SUCCESS, app.CloseDsm());
}

// What the DLL does with a poor configuration: unknown lines are noted in
// the trace; a file that cannot be read, or no file at all, gives the
// default flatbed.
TEST_F(VirtualScannerDll, ConfigurationFallbacks) {
  Configure("[Source]\r\nProductName=Noted\r\nSpeed=warp\r\n");
  {
    App app(entry_);
    ASSERT_EQ(TWRC_SUCCESS, app.OpenDsm());
    const auto sources = app.List();
    ASSERT_EQ(1u, sources.size());
    EXPECT_EQ("Noted", ProductOf(sources[0]));
    app.CloseDsm();
  }
  const auto lines = ReadLines(trace_);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ("# configuration line 5: not understood: speed=warp", lines.front());

  for (const wchar_t *ini : {L"C:\\no\\such\\folder\\vscanner.ini", static_cast<const wchar_t *>(nullptr)}) {
    SetEnvironmentVariableW(L"ZV_VSCANNER_INI", ini);
    App app(entry_);
    ASSERT_EQ(TWRC_SUCCESS, app.OpenDsm());
    const auto sources = app.List();
    ASSERT_EQ(1u, sources.size());
    EXPECT_EQ("Zelvantor Virtual Scanner", ProductOf(sources[0]));
    EXPECT_EQ(TWRC_SUCCESS, app.CloseDsm());
  }
  SetEnvironmentVariableW(L"ZV_VSCANNER_INI", ini_.c_str());
}

// With CountFrees the DLL follows the frees of the program that loaded it,
// and tells at its unloading what its sources handed out and the program
// did not give back, or gave back twice. A page handed over as a bitmap
// (NativeImage=Bitmap) is the top-down 24-bit DIB section Wine's
// gphoto2.ds hands, with -1 dpi in its image information.
TEST(VirtualScannerDllFrees, WhatTheProgramGaveBackIsInTheTrace) {
  struct Case {
    const char *what;
    const char *image;
    int frees;
    const char *line;
  } cases[] = {
      {"a block freed once", "Block", 1, "# unloaded: not freed=0 freed twice=0"},
      {"a block freed twice", "Block", 2, "# unloaded: not freed=0 freed twice=1"},
      {"a block kept", "Block", 0, "# unloaded: not freed=1 freed twice=0"},
      {"a bitmap deleted once", "Bitmap", 1, "# unloaded: not freed=0 freed twice=0"},
  };
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder =
      std::wstring(temp) + L"zv_vscanner_frees_" + std::to_wstring(GetCurrentProcessId());
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring ini = folder + L"\\vscanner.ini", trace = folder + L"\\trace.log";
  SetEnvironmentVariableW(L"ZV_VSCANNER_INI", ini.c_str());
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW(trace.c_str());
    WriteFileText(ini, "[Manager]\r\nTrace=" + Narrow(trace) + "\r\nCountFrees=yes\r\n" +
                           "[Source]\r\nNativeImage=" + c.image + "\r\n");
    ASSERT_EQ(nullptr, GetModuleHandleW(DllPath().c_str())) << "the DLL is still loaded";
    HMODULE module = LoadLibraryW(DllPath().c_str());
    ASSERT_NE(nullptr, module);
    auto entry = reinterpret_cast<DSMENTRYPROC>(
        reinterpret_cast<void *>(GetProcAddress(module, "DSM_Entry")));
    HANDLE page = nullptr;
    TW_IMAGEINFO info{};
    {
      App app(entry);
      ASSERT_EQ(TWRC_SUCCESS, app.OpenDsm());
      const auto sources = app.List();
      ASSERT_FALSE(sources.empty());
      ASSERT_EQ(TWRC_SUCCESS, app.OpenDs(sources[0]));
      ASSERT_EQ(TWRC_SUCCESS, app.Enable(false));
      ASSERT_EQ(MSG_XFERREADY, app.Wait(5000).message);
      app.ImageInfo(info);
      HGLOBAL handle = nullptr;
      EXPECT_EQ(TWRC_XFERDONE, app.Transfer(handle));
      page = handle;
      TW_UINT16 count = 0;
      app.EndXfer(count);
      app.Disable();
      app.CloseDs();
      app.CloseDsm();
    }
    ASSERT_NE(nullptr, page);
    const bool bitmap = std::string(c.image) == "Bitmap";
    if (bitmap) {
      EXPECT_EQ(-1, info.XResolution.Whole);
      ASSERT_EQ(DWORD(OBJ_BITMAP), GetObjectType(page));
      DIBSECTION section{};
      ASSERT_EQ(int(sizeof section), GetObjectW(page, sizeof section, &section));
      EXPECT_EQ(24, section.dsBmih.biBitCount);
    } else {
      EXPECT_EQ(0u, GetObjectType(page));
      EXPECT_NE(0u, GlobalSize(page));
    }
    for (int i = 0; i < c.frees; ++i) {
      if (bitmap)
        DeleteObject(page);
      else
        GlobalFree(page);
    }
    FreeLibrary(module);
    if (c.frees == 0)
      GlobalFree(page); // no longer watched
    const std::vector<std::string> lines = ReadLines(trace);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(c.line, lines.back());
  }
  SetEnvironmentVariableW(L"ZV_VSCANNER_INI", nullptr);
  DeleteFileW(ini.c_str());
  DeleteFileW(trace.c_str());
  RemoveDirectoryW(folder.c_str());
}

// The copier's window run modally on the test's own thread, from the
// program's own template, answered by the dialog driver: the simulated
// TWAIN manager behind its session, the CUPS PDF printers of the test
// environment behind its printer entries, the copy job's printing calls
// recorded (finished documents are thrown away before they reach the
// printer's queue).
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>

#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/localized_texts.h"
#include "app/main_dialog.h"
#include "dialogs/window_utils.h"
#include "printing/printer_settings.h"
#include "printing/settings_image.h"
#include "printing/settings_store.h"
#include "support/acquisition_calls.h"
#include "support/dialog_driver.h"
#include "support/print_recorder.h"
#include "tools/twainsim/sim_engine.h"
#include "twain/manager_loader.h"
#include "../printing/printing_test_support.h"

namespace {

using twainsim::SimConfig;
using twainsim::SimEngine;

constexpr wchar_t kScannerName[] = L"ZV Main Dialog Flatbed";
constexpr wchar_t kSelectSourceCaption[] = L"Select Source";

// ---- the seams, each set for the life of one object ---------------------------

class ManagerScope;
ManagerScope *g_manager = nullptr;

// The simulated manager behind every session the program makes, reached
// through a DSM_Entry of the test's own that lets a case act at two
// moments: right after the source is enabled (the scan is under way), and
// during the manager's source selection, which here, as with a real
// manager, is a modal dialog: a message box captioned "Select Source".
class ManagerScope {
public:
  explicit ManagerScope(SimConfig config) : engine(std::move(config)) {
    g_manager = this;
    twainsim::InstallEngine(&engine);
    SetTwainManagerOverride(&Entry);
  }
  ~ManagerScope() {
    SetTwainManagerOverride(nullptr);
    twainsim::InstallEngine(nullptr);
    g_manager = nullptr;
  }
  ManagerScope(const ManagerScope &) = delete;
  ManagerScope &operator=(const ManagerScope &) = delete;

  SimEngine engine;
  std::function<void()> whileScanning;

private:
  static TW_UINT16 TW_CALLINGSTYLE Entry(TW_IDENTITY *origin, TW_IDENTITY *destination,
                                         TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                         TW_MEMREF data) {
    if (dat == DAT_IDENTITY && msg == MSG_USERSELECT)
      MessageBoxW(g_manager->engine.ParentWindow(), L"Scanners", kSelectSourceCaption,
                  MB_OKCANCEL);
    const TW_UINT16 rc = twainsim::SimDsmEntry(origin, destination, dg, dat, msg, data);
    if (dat == DAT_USERINTERFACE && msg == MSG_ENABLEDS && g_manager->whileScanning)
      g_manager->whileScanning();
    return rc;
  }
};

// No printer can be found for the fax entry: its default request fails as
// PrintDlgW's does when there is none. The copy entry gets the real one.
HRESULT FaxPrinterMissing(PRINTDLGEXW &entry) {
  return &entry == &PrinterSettings[kFaxPrinter] ? E_FAIL : RunPrintDialog(entry);
}

class FaxPrinterMissingScope {
public:
  FaxPrinterMissingScope() { SetPrintDialogProc(FaxPrinterMissing); }
  ~FaxPrinterMissingScope() { SetPrintDialogProc(nullptr); }
};

// Windows' buttons may ignore BM_CLICK while their dialog is not the active
// window (a user who turned to another window during a slow set-up); Wine's
// always click. This makes the percent option of the next dialog ignore it.
class DeafPercentOption {
public:
  DeafPercentOption() {
    g_deaf = this;
    hook_ = SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId());
  }
  ~DeafPercentOption() {
    UnhookWindowsHookEx(hook_);
    g_deaf = nullptr;
  }
  int clicksIgnored = 0;

private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && g_deaf != nullptr && g_deaf->original_ == nullptr) {
      const CREATESTRUCTW *create = reinterpret_cast<CBT_CREATEWNDW *>(lParam)->lpcs;
      if ((create->style & WS_CHILD) &&
          create->hMenu == reinterpret_cast<HMENU>(INT_PTR(ZV_ID_PERCENT_OPTION))) {
        HWND button = reinterpret_cast<HWND>(wParam);
        g_deaf->original_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Deaf)));
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static LRESULT CALLBACK Deaf(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == BM_CLICK) {
      ++g_deaf->clicksIgnored;
      return 0;
    }
    return CallWindowProcW(g_deaf->original_, window, message, wParam, lParam);
  }
  static DeafPercentOption *g_deaf;
  HHOOK hook_ = nullptr;
  WNDPROC original_ = nullptr;
};
DeafPercentOption *DeafPercentOption::g_deaf = nullptr;

// ---- reading and working the dialog --------------------------------------------

std::wstring Text(HWND dialog, int id) { return GetItemTextString(dialog, id); }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
LRESULT SendTo(HWND dialog, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  return SendDlgItemMessageW(dialog, id, message, wParam, lParam);
}

std::wstring ListEntry(HWND dialog, int id, int index) {
  const LRESULT length = SendTo(dialog, id, CB_GETLBTEXTLEN, WPARAM(index));
  if (length < 0)
    return L"<none>";
  std::wstring text(std::size_t(length) + 1, L'\0');
  SendTo(dialog, id, CB_GETLBTEXT, WPARAM(index), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(std::size_t(length));
  return text;
}

std::vector<std::wstring> ListEntries(HWND dialog, int id) {
  std::vector<std::wstring> entries;
  const LRESULT count = SendTo(dialog, id, CB_GETCOUNT);
  for (LRESULT i = 0; i < count; ++i)
    entries.push_back(ListEntry(dialog, id, int(i)));
  return entries;
}

// The selected list entry's text.
std::wstring Selected(HWND dialog, int id) {
  return ListEntry(dialog, id, int(SendTo(dialog, id, CB_GETCURSEL)));
}

int FocusId(HWND dialog) {
  HWND focus = GetFocus();
  return focus != nullptr && GetParent(focus) == dialog ? GetDlgCtrlID(focus) : 0;
}

std::pair<DWORD, DWORD> Selection(HWND dialog, int id) {
  DWORD start = 0, end = 0;
  SendTo(dialog, id, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return {start, end};
}

// A click as a button sends it to its dialog.
void Click(HWND dialog, int id) {
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
void ClickLater(HWND dialog, int id) { PressButton(dialog, id); }

// A scale option clicked: the button checks itself and tells the dialog.
void ChooseOption(HWND dialog, int id) { SendTo(dialog, id, BM_CLICK); }

// A list entry chosen as a person would: the selection, then the news.
void ChooseEntry(HWND dialog, int id, int index) {
  SendTo(dialog, id, CB_SETCURSEL, WPARAM(index));
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// What a paste leaves in a field: ES_NUMBER stops typed non-digits only.
void Paste(HWND dialog, int id, const wchar_t *text) { SetDlgItemTextW(dialog, id, text); }

BOOL CALLBACK NoteProxyWindow(HWND window, LPARAM found) {
  if (HasWindowClass(window, L"ZVTWAIN_Proxy_Window"))
    *reinterpret_cast<bool *>(found) = true;
  return TRUE;
}

bool ThreadHasProxyWindow() {
  bool found = false;
  EnumThreadWindows(GetCurrentThreadId(), NoteProxyWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Sees, on its way out of the queue, a message posted to the dialog behind
// a gesture: by then the gesture has been dispatched. A gesture that posts
// a message of its own on its way (WM_CLOSE posts the cancel command) has
// the probe posted again behind that.
class Probe {
public:
  Probe() {
    g_probe = this;
    hook_ = SetWindowsHookExW(WH_GETMESSAGE, Hook, nullptr, GetCurrentThreadId());
  }
  ~Probe() {
    UnhookWindowsHookEx(hook_);
    g_probe = nullptr;
  }
  Probe(const Probe &) = delete;
  Probe &operator=(const Probe &) = delete;
  // Posts the gesture to the dialog, then the probe behind it, `rounds`
  // times round the queue; `then` runs once the probe has looked.
  void Post(HWND dialog, UINT message, WPARAM wParam, int rounds,
            std::function<void()> then = nullptr) {
    then_ = std::move(then);
    PostMessageW(dialog, message, wParam, 0);
    PostMessageW(dialog, Message(), WPARAM(rounds), 0);
  }
  int seen = 0;
  bool dialogVisible = false;

private:
  static UINT Message() { return WM_APP + 0x2323; }
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    const MSG *m = reinterpret_cast<const MSG *>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && g_probe != nullptr && m->message == Message()) {
      if (m->wParam > 1) {
        PostMessageW(m->hwnd, Message(), m->wParam - 1, 0);
      } else {
        ++g_probe->seen;
        g_probe->dialogVisible = IsWindowVisible(m->hwnd) != FALSE;
        if (g_probe->then_) {
          const std::function<void()> then = std::move(g_probe->then_);
          g_probe->then_ = nullptr;
          then();
        }
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static Probe *g_probe;
  HHOOK hook_ = nullptr;
  std::function<void()> then_;
};
Probe *Probe::g_probe = nullptr;

// ---- one run of the dialog ------------------------------------------------------

// What a case does when each kind of dialog comes up. The main dialog's
// steps run once it is shown and initialised; the others are answered OK
// (the print dialog with Cancel) unless a case says otherwise.
struct Script {
  std::function<void(HWND dialog)> main;
  std::function<void(HWND box)> box;        // the program's message boxes
  std::function<void(HWND print)> print;    // the print dialog
  std::function<void(HWND select)> select;  // the manager's source selection
  std::function<void(HWND dialog)> whileScanning;
};

Script MainSteps(std::function<void(HWND dialog)> steps) {
  Script script;
  script.main = std::move(steps);
  return script;
}

struct Box {
  std::wstring caption;
  std::wstring text;
};

struct Outcome {
  INT_PTR result = -2;
  std::vector<CallRecord> twain;
  std::vector<CallRecord> printing;
  std::vector<Box> boxes;
  // WM_NCDESTROY shut the session down: the dialog holds none, and its
  // proxy window is gone.
  bool sessionGone = false;
  bool proxyLeft = true;

  int Count(const std::string &call) const {
    int n = 0;
    for (const CallRecord &r : printing)
      n += r.call == call;
    return n;
  }
  // The source was enabled: something was scanned.
  bool Scanned() const {
    for (const CallRecord &r : twain)
      if (r.call == "DG_CONTROL DAT_USERINTERFACE MSG_ENABLEDS")
        return true;
    return false;
  }
  int Enables() const {
    int n = 0;
    for (const CallRecord &r : twain)
      n += r.call == "DG_CONTROL DAT_USERINTERFACE MSG_ENABLEDS";
    return n;
  }
  // The last frame sent to the source, in 1/100 mm; {0, 0} for none.
  std::pair<int, int> FrameSize() const {
    std::pair<int, int> size = {0, 0};
    int frame[4];
    for (const CallRecord &r : twain)
      if (r.call == "DG_IMAGE DAT_IMAGELAYOUT MSG_SET" && FrameInHundredthsMm(r, frame))
        size = {frame[2] - frame[0], frame[3] - frame[1]};
    return size;
  }
  std::string PixelType() const {
    std::string value;
    for (const CallRecord &r : twain)
      if (r.call == "DG_CONTROL DAT_CAPABILITY MSG_SET" && r.Detail("cap") == "ICAP_PIXELTYPE")
        value = r.Detail("value");
    return value;
  }
  std::string Device() const {
    for (const CallRecord &r : printing)
      if (r.call == "CreateDC")
        return r.Detail("device");
    return "";
  }
};

bool IsMainDialog(HWND window) { return GetDlgItem(window, ZV_ID_SCANNER_NAME) != nullptr; }
bool IsPrintDialog(HWND window) { return GetDlgItem(window, cmb4) != nullptr; }

// Runs `steps` on the main dialog once its set-up is over: the set-up shows
// the dialog early and then pumps messages (printers, scanner), so the
// dialog is active well before it is ready. A dialog that closes at the end
// of its set-up (no printer) gets no steps.
class WhenReady {
public:
  explicit WhenReady(std::function<void(HWND)> steps) : steps_(std::move(steps)) {
    g_ready = this;
    hook_ = SetWindowsHookExW(WH_CALLWNDPROCRET, Hook, nullptr, GetCurrentThreadId());
  }
  ~WhenReady() {
    UnhookWindowsHookEx(hook_);
    if (timer_ != 0)
      KillTimer(nullptr, timer_);
    g_ready = nullptr;
  }
  WhenReady(const WhenReady &) = delete;
  WhenReady &operator=(const WhenReady &) = delete;
  HWND dialog = nullptr;

private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    const auto *sent = reinterpret_cast<const CWPRETSTRUCT *>(lParam);
    if (code == HC_ACTION && g_ready != nullptr && sent->message == WM_INITDIALOG &&
        g_ready->dialog == nullptr && IsMainDialog(sent->hwnd)) {
      g_ready->dialog = sent->hwnd;
      g_ready->timer_ = SetTimer(nullptr, 0, 0, Fire);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static void CALLBACK Fire(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    WhenReady *ready = g_ready;
    if (ready == nullptr || ready->timer_ != timer)
      return;
    ready->timer_ = 0;
    if (IsWindow(ready->dialog) && IsWindowVisible(ready->dialog) && ready->steps_)
      ready->steps_(ready->dialog);
  }
  static WhenReady *g_ready;
  std::function<void(HWND)> steps_;
  HHOOK hook_ = nullptr;
  UINT_PTR timer_ = 0;
};
WhenReady *WhenReady::g_ready = nullptr;

class MainDialogTest : public PrinterStateTest {
protected:
  void SetUp() override {
    PrinterStateTest::SetUp();
    // The program's texts and template are linked into this test.
    ModuleInstance = GetModuleHandleW(nullptr);
    SetThreadLocale(MAKELCID(0x0409, SORT_DEFAULT));
    LoadLocalizedTexts();
    ASSERT_FALSE(DefaultPrinter().empty()) << "the test environment installs a default printer";
  }
  void TearDown() override {
    // Every seam a case set is gone again.
    EXPECT_EQ(nullptr, TwainManagerOverride());
    EXPECT_EQ(nullptr, twainsim::InstalledEngine());
    EXPECT_EQ(&RealPrintCalls(), &CurrentPrintCalls());
    PrinterStateTest::TearDown();
  }

  // A flatbed whose pages are small: the tests look at what was asked, not
  // at the pictures.
  static SimConfig OneFlatbed(unsigned notifyDelayMs = 0) {
    twainsim::SimSource source;
    source.identity = twainsim::MakeIdentity("Zelvantor", "Tests", "ZV Main Dialog Flatbed");
    source.capabilities = twainsim::MakeCapabilities(twainsim::SimScannerModel{});
    source.behaviour.notifyDelayMs = notifyDelayMs;
    SimConfig config;
    config.sources.push_back(source);
    config.maxImageSide = 64;
    return config;
  }

  // One start of the dialog, as the program starts it: neither printer
  // entry settled yet.
  Outcome Run(const Script &script, SimConfig config = OneFlatbed()) {
    for (PRINTDLGEXW &entry : PrinterSettings)
      ClearPrinterEntry(entry);
    Outcome outcome;
    {
      ManagerScope manager(std::move(config));
      PrintRecorder printing;
      MainDialog dialog;
      WhenReady ready(script.main);
      manager.whileScanning = [&] {
        if (script.whileScanning)
          script.whileScanning(ready.dialog);
      };
      DialogDriver driver([&](HWND window) {
        if (IsMainDialog(window))
          return;
        if (IsPrintDialog(window)) {
          if (script.print)
            script.print(window);
          else
            PressButton(window, IDCANCEL);
          return;
        }
        const std::wstring caption = GetWindowTextString(window);
        if (caption == kSelectSourceCaption) {
          if (script.select)
            script.select(window);
          else
            PressButton(window, IDOK);
          return;
        }
        wchar_t text[1024] = {};
        GetDlgItemTextW(window, 0xFFFF, text, 1024);
        outcome.boxes.push_back({caption, text});
        if (script.box)
          script.box(window);
        else
          PressButton(window, IDOK);
      });
      outcome.result = dialog.DoModal(GetModuleHandleW(nullptr), kMainDialogTemplate, nullptr);
      outcome.sessionGone = dialog.Session() == nullptr;
      outcome.proxyLeft = ThreadHasProxyWindow();
      outcome.twain = manager.engine.Records();
      outcome.printing = printing.records;
    }
    return outcome;
  }

  // What a new process finds: neither entry settled, nothing stored.
  static void ForgetPrinters() {
    for (int index : {kCopyPrinter, kFaxPrinter}) {
      ClearPrinterEntry(PrinterSettings[index]);
      DeleteKeyTree(Key(index));
    }
  }

  // Stores the second printer of the test environment as the fax printer,
  // as a former Browse would have: the set-up takes it without a dialog.
  static void StoreFaxPrinter(const std::wstring &device) {
    PrintDialogImage image;
    image.lStructSize = std::uint32_t(kPrintDialogImageSize);
    image.Flags = PD_NOSELECTION | PD_NOPAGENUMS | PD_HIDEPRINTTOFILE | PD_NOCURRENTPAGE;
    image.nCopies = 1;
    image.nStartPage = START_PAGE_GENERAL;
    image.dwResultAction = PD_RESULT_PRINT;
    unsigned char bytes[kPrintDialogImageSize];
    WritePrintDialogImage(image, bytes);
    WriteKeyValues(PrinterKeyPath(kFaxPrinter),
                   {{L"PRINTDLGEXW", {REG_BINARY, Bytes(bytes, bytes + sizeof bytes)}},
                    {L"DEVMODEW", {REG_BINARY, Bytes()}},
                    {L"DEVNAMES",
                     {REG_BINARY, MakeDevNames(L"wineps.drv", device, L"CUPS:" + device)}}});
  }
};

} // namespace

// ---- set-up -----------------------------------------------------------------------

// Every control as the set-up leaves it; the same when the percent option
// ignores the set-up's click, as a button of a dialog that is not active
// may.
TEST_F(MainDialogTest, SetUpState) {
  for (const bool deaf : {false, true}) {
    SCOPED_TRACE(deaf ? "option deaf to BM_CLICK" : "option clicked");
    std::unique_ptr<DeafPercentOption> deafOption;
    if (deaf)
      deafOption = std::make_unique<DeafPercentOption>();
    HWND seen = nullptr;
    Outcome outcome = Run(MainSteps([&](HWND d) {
      seen = d;
      EXPECT_EQ(kScannerName, Text(d, ZV_ID_SCANNER_NAME));
      EXPECT_EQ(DefaultPrinter(), Text(d, ZV_ID_COPY_PRINTER_NAME));
      EXPECT_EQ(DefaultPrinter(), Text(d, ZV_ID_FAX_PRINTER_NAME));

      EXPECT_EQ(L"1", Text(d, ZV_ID_COPIES));
      EXPECT_EQ(3, SendTo(d, ZV_ID_COPIES, EM_GETLIMITTEXT));
      int low = 0, high = 0;
      SendTo(d, ZV_ID_COPIES_UPDOWN, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
             reinterpret_cast<LPARAM>(&high));
      EXPECT_EQ(1, low);
      EXPECT_EQ(999, high);
      EXPECT_EQ(reinterpret_cast<LRESULT>(GetDlgItem(d, ZV_ID_COPIES)),
                SendTo(d, ZV_ID_COPIES_UPDOWN, UDM_GETBUDDY));

      EXPECT_EQ(L"100", Text(d, ZV_ID_PERCENT));
      EXPECT_EQ(3, SendTo(d, ZV_ID_PERCENT, EM_GETLIMITTEXT));
      SendTo(d, ZV_ID_PERCENT_UPDOWN, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
             reinterpret_cast<LPARAM>(&high));
      EXPECT_EQ(1, low);
      EXPECT_EQ(999, high);

      const std::vector<std::wstring> papers = {L"A3", L"A4", L"A5", L"A6"};
      for (int list : {ZV_ID_SOURCE_PAPER, ZV_ID_DESTINATION_PAPER}) {
        EXPECT_EQ(papers, ListEntries(d, list)) << list;
        EXPECT_EQ(L"A4", Selected(d, list)) << list;
      }
      EXPECT_EQ((std::vector<std::wstring>{L"Black/White", L"Greyscale", L"Color"}),
                ListEntries(d, ZV_ID_MODE));
      EXPECT_EQ(0, SendTo(d, ZV_ID_MODE, CB_GETCURSEL));

      EXPECT_EQ(-1000, SendTo(d, ZV_ID_BRIGHTNESS, TBM_GETRANGEMIN));
      EXPECT_EQ(1000, SendTo(d, ZV_ID_BRIGHTNESS, TBM_GETRANGEMAX));
      EXPECT_EQ(0, SendTo(d, ZV_ID_BRIGHTNESS, TBM_GETPOS));
      // A tick every 250 between the ends, and the two ends.
      EXPECT_EQ(9, SendTo(d, ZV_ID_BRIGHTNESS, TBM_GETNUMTICS));
      std::set<LRESULT> ticks;
      for (int i = 0; i < 7; ++i)
        ticks.insert(SendTo(d, ZV_ID_BRIGHTNESS, TBM_GETTIC, WPARAM(i)));
      EXPECT_EQ((std::set<LRESULT>{-750, -500, -250, 0, 250, 500, 750}), ticks);

      EXPECT_TRUE(Checked(d, ZV_ID_PERCENT_OPTION));
      EXPECT_FALSE(Checked(d, ZV_ID_PAPER_OPTION));
      EXPECT_TRUE(Enabled(d, ZV_ID_PERCENT));
      EXPECT_FALSE(Enabled(d, ZV_ID_SOURCE_PAPER));
      EXPECT_FALSE(Enabled(d, ZV_ID_DESTINATION_PAPER));
      EXPECT_TRUE(Enabled(d, ZV_ID_PERCENT_UPDOWN));
      for (int id : {ZV_ID_COPY, ZV_ID_FAX, ZV_ID_QUIT, ZV_ID_HELP, ZV_ID_SCANNER_BROWSE,
                     ZV_ID_COPY_PRINTER_BROWSE, ZV_ID_FAX_PRINTER_BROWSE, ZV_ID_COPIES,
                     ZV_ID_MODE, ZV_ID_BRIGHTNESS})
        EXPECT_TRUE(Enabled(d, id)) << id;

      EXPECT_EQ(ZV_ID_COPIES, FocusId(d));
      EXPECT_EQ((std::pair<DWORD, DWORD>{0, 1}), Selection(d, ZV_ID_COPIES));

      // The paper option turns the percent field off, its arrows stay on.
      ChooseOption(d, ZV_ID_PAPER_OPTION);
      EXPECT_FALSE(Enabled(d, ZV_ID_PERCENT));
      EXPECT_TRUE(Enabled(d, ZV_ID_SOURCE_PAPER));
      EXPECT_TRUE(Enabled(d, ZV_ID_DESTINATION_PAPER));
      EXPECT_TRUE(Enabled(d, ZV_ID_PERCENT_UPDOWN));
      ClickLater(d, ZV_ID_QUIT);
    }));
    EXPECT_NE(nullptr, seen);
    EXPECT_EQ(0, outcome.result);
    EXPECT_TRUE(outcome.boxes.empty());
    EXPECT_FALSE(outcome.Scanned());
    EXPECT_TRUE(outcome.sessionGone);
    EXPECT_FALSE(outcome.proxyLeft);
    if (deaf) {
      EXPECT_EQ(1, deafOption->clicksIgnored);
    }
  }
}

// ---- Copy and Fax ---------------------------------------------------------------

namespace {

// What one Copy or Fax did. A job that was refused scanned nothing and
// opened no printer; the field to correct has the focus, its text selected.
struct JobExpected {
  bool scanned;
  std::pair<int, int> frame; // 1/100 mm, the scan frame's width and height
  const char *pixelType;
  // The threshold set for black and white, else the brightness.
  const char *brightness;
  int pages;
  int documents;
  bool onFaxPrinter;
  int refusedField;                      // 0: not refused
  std::pair<DWORD, DWORD> refusedSelection;
};

struct JobCase {
  const char *name;
  std::function<void(HWND dialog)> steps; // ends with the Copy or Fax click
  std::wstring percentShown;               // the percent field afterwards
  JobExpected expected;
};

constexpr std::pair<int, int> kA4 = {21000, 29700};
constexpr JobExpected Printed(std::pair<int, int> frame, const char *pixelType, int pages,
                              int documents = 1, bool fax = false,
                              const char *brightness = nullptr) {
  return {true,      frame, pixelType,
          brightness ? brightness : (pixelType[0] == '0' ? "127.00" : "0.00"),
          pages,     documents, fax, 0, {0, 0}};
}
constexpr JobExpected Refused(int field, DWORD selectionEnd) {
  return {false, {0, 0}, "", "", 0, 0, false, field, {0, selectionEnd}};
}

} // namespace

// Each Copy or Fax as the job receives it: the scale as the scan frame it
// gives (an enlargement scans less than A4), the mode as the pixel type,
// the copies as pages and documents.
TEST_F(MainDialogTest, CopyAndFaxReachTheJob) {
  const std::wstring faxPrinter = SecondPrinter();
  ASSERT_FALSE(faxPrinter.empty()) << "the test environment installs a second printer";
  const auto copy = [](HWND d) { Click(d, ZV_ID_COPY); };
  const JobCase cases[] = {
      {"100 %, one copy", copy, L"100", Printed(kA4, "0", 1)},
      // A4 to A3: the table's 14138, shown rounded; the frame is
      // 21000 / 1.4138 by 29700 / 1.4138.
      {"A4 to A3",
       [](HWND d) {
         ChooseOption(d, ZV_ID_PAPER_OPTION);
         ChooseEntry(d, ZV_ID_DESTINATION_PAPER, 0);
         Click(d, ZV_ID_COPY);
       },
       L"141", Printed({14853, 21007}, "0", 1)},
      // Back on the percent option the field's rounded 141 counts: 14100.
      {"A4 to A3, then back to percent",
       [](HWND d) {
         ChooseOption(d, ZV_ID_PAPER_OPTION);
         ChooseEntry(d, ZV_ID_DESTINATION_PAPER, 0);
         ChooseOption(d, ZV_ID_PERCENT_OPTION);
         Click(d, ZV_ID_COPY);
       },
       L"141", Printed({14893, 21063}, "0", 1)},
      {"A3 to A5, shown as 50",
       [](HWND d) {
         ChooseOption(d, ZV_ID_PAPER_OPTION);
         ChooseEntry(d, ZV_ID_SOURCE_PAPER, 0);
         ChooseEntry(d, ZV_ID_DESTINATION_PAPER, 2);
         Click(d, ZV_ID_COPY);
       },
       L"50", Printed(kA4, "0", 1)},
      {"71 %",
       [](HWND d) {
         SetDlgItemTextW(d, ZV_ID_PERCENT, L"71");
         Click(d, ZV_ID_COPY);
       },
       L"71", Printed(kA4, "0", 1)},
      {"greyscale",
       [](HWND d) {
         ChooseEntry(d, ZV_ID_MODE, 1);
         Click(d, ZV_ID_COPY);
       },
       L"100", Printed(kA4, "1", 1)},
      {"colour, three copies in one document",
       [](HWND d) {
         ChooseEntry(d, ZV_ID_MODE, 2);
         SetDlgItemTextW(d, ZV_ID_COPIES, L"3");
         Click(d, ZV_ID_COPY);
       },
       L"100", Printed(kA4, "2", 3)},
      // The slider's 500 makes a threshold of 63 for black and white, the
      // brightness itself for the other modes.
      {"brightness 500",
       [](HWND d) {
         SendTo(d, ZV_ID_BRIGHTNESS, TBM_SETPOS, TRUE, 500);
         Click(d, ZV_ID_COPY);
       },
       L"100", Printed(kA4, "0", 1, 1, false, "63.00")},
      {"brightness -1000, greyscale",
       [](HWND d) {
         SendTo(d, ZV_ID_BRIGHTNESS, TBM_SETPOS, TRUE, -1000);
         ChooseEntry(d, ZV_ID_MODE, 1);
         Click(d, ZV_ID_COPY);
       },
       L"100", Printed(kA4, "1", 1, 1, false, "-1000.00")},
      {"copies 0: scanned, nothing printed",
       [](HWND d) {
         SetDlgItemTextW(d, ZV_ID_COPIES, L"0");
         Click(d, ZV_ID_COPY);
       },
       L"100", Printed(kA4, "0", 0)},
      {"copies pasted as text without digits: 0",
       [](HWND d) {
         Paste(d, ZV_ID_COPIES, L"abc");
         Click(d, ZV_ID_COPY);
       },
       L"100", Printed(kA4, "0", 0)},
      {"copies pasted with words behind: 2",
       [](HWND d) {
         Paste(d, ZV_ID_COPIES, L"2 Kopien");
         Click(d, ZV_ID_COPY);
       },
       L"100", Printed(kA4, "0", 2)},
      {"copies pasted negative: refused",
       [](HWND d) {
         Paste(d, ZV_ID_COPIES, L"-3");
         Click(d, ZV_ID_COPY);
       },
       L"100", Refused(ZV_ID_COPIES, 2)},
      {"percent 0: refused",
       [](HWND d) {
         SetDlgItemTextW(d, ZV_ID_PERCENT, L"0");
         Click(d, ZV_ID_COPY);
       },
       L"0", Refused(ZV_ID_PERCENT, 1)},
      {"percent empty: refused, Fax as Copy",
       [](HWND d) {
         SetDlgItemTextW(d, ZV_ID_PERCENT, L"");
         Click(d, ZV_ID_FAX);
       },
       L"", Refused(ZV_ID_PERCENT, 0)},
      {"Fax, three copies: three documents on the fax printer",
       [](HWND d) {
         SetDlgItemTextW(d, ZV_ID_COPIES, L"3");
         Click(d, ZV_ID_FAX);
       },
       L"100", Printed(kA4, "0", 3, 3, true)},
  };
  for (const JobCase &c : cases) {
    SCOPED_TRACE(c.name);
    // A start of the program: the fax printer is the second one, stored by
    // an earlier start.
    ForgetPrinters();
    StoreFaxPrinter(faxPrinter);
    const JobExpected &want = c.expected;
    std::wstring percentShown = L"<not read>";
    int focus = -1;
    std::pair<DWORD, DWORD> selection = {99, 99};
    std::wstring faxName;
    const Outcome outcome = Run(MainSteps([&](HWND d) {
      faxName = Text(d, ZV_ID_FAX_PRINTER_NAME);
      c.steps(d);
      percentShown = Text(d, ZV_ID_PERCENT);
      focus = FocusId(d);
      if (want.refusedField != 0)
        selection = Selection(d, want.refusedField);
      ClickLater(d, ZV_ID_QUIT);
    }));
    EXPECT_EQ(faxPrinter, faxName);
    EXPECT_EQ(0, outcome.result);
    EXPECT_EQ(c.percentShown, percentShown);
    EXPECT_EQ(want.scanned, outcome.Scanned());
    if (want.scanned) {
      PageCalls page;
      page.pixelType = want.pixelType;
      page.threshold = page.pixelType == "0";
      page.brightness = want.brightness;
      EXPECT_TRUE(ContainsSequence(OnePageAcquisition(page), outcome.twain));
      EXPECT_EQ(want.frame, outcome.FrameSize());
      EXPECT_EQ(1, outcome.Count("CreateDC"));
      EXPECT_EQ(Utf8(want.onFaxPrinter ? faxPrinter : DefaultPrinter()), outcome.Device());
      EXPECT_EQ(want.documents, outcome.Count("StartDoc"));
      EXPECT_EQ(want.documents, outcome.Count("EndDoc"));
      EXPECT_EQ(want.pages, outcome.Count("StartPage"));
      EXPECT_EQ(want.pages, outcome.Count("EndPage"));
      EXPECT_EQ(0, outcome.Count("AbortDoc"));
    } else {
      EXPECT_TRUE(outcome.printing.empty()) << FormatCallRecord(outcome.printing.front());
      EXPECT_EQ(want.refusedField, focus);
      EXPECT_EQ(want.refusedSelection, selection);
    }
    EXPECT_TRUE(outcome.boxes.empty());
    EXPECT_TRUE(outcome.sessionGone);
    EXPECT_FALSE(outcome.proxyLeft);
  }
}

// ---- choosing the scanner ----------------------------------------------------

// Browse shows the manager's selection; chosen or cancelled, the name shown
// is then the session's current scanner.
TEST_F(MainDialogTest, ScannerBrowseShowsTheCurrentScanner) {
  struct Case {
    const char *name;
    int userSelect; // the entry the user picks; -1 cancels
    const wchar_t *shown;
    const char *answer;
  } cases[] = {
      {"second scanner chosen", 1, L"ZV Second Flatbed", "TWRC_SUCCESS"},
      {"selection cancelled", -1, kScannerName, "TWRC_CANCEL"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    SimConfig config = OneFlatbed();
    config.sources.push_back(config.sources.front());
    std::strcpy(config.sources[1].identity.ProductName, "ZV Second Flatbed");
    config.userSelect = c.userSelect;
    std::wstring before, after;
    const Outcome outcome = Run(MainSteps([&](HWND d) {
                                  before = Text(d, ZV_ID_SCANNER_NAME);
                                  Click(d, ZV_ID_SCANNER_BROWSE);
                                  after = Text(d, ZV_ID_SCANNER_NAME);
                                  ClickLater(d, ZV_ID_QUIT);
                                }),
                                config);
    EXPECT_EQ(kScannerName, before);
    EXPECT_EQ(c.shown, after);
    // The selection, then the name looked up again, the manager closed in
    // between.
    EXPECT_TRUE(ContainsSequence(
        {Call("DG_CONTROL DAT_IDENTITY MSG_USERSELECT", {}, c.answer),
         Call("DG_CONTROL DAT_PARENT MSG_CLOSEDSM"), Call("DG_CONTROL DAT_PARENT MSG_OPENDSM")},
        outcome.twain));
    EXPECT_FALSE(outcome.Scanned());
  }
}

// ---- one operation at a time; a quit waits for it -----------------------------

// Clicks that arrive while a slow scan runs start nothing: the session
// pumps messages inside the scan, and each of these would otherwise start
// a second operation on it.
TEST_F(MainDialogTest, ClicksDuringASlowScanGiveOneJob) {
  Script script;
  script.main = [](HWND d) {
    SetDlgItemTextW(d, ZV_ID_COPIES, L"2");
    Click(d, ZV_ID_COPY);
    ClickLater(d, ZV_ID_QUIT);
  };
  bool disabled = false;
  script.whileScanning = [&](HWND d) {
    disabled = !IsWindowEnabled(d);
    for (int id : {ZV_ID_COPY, ZV_ID_COPY, ZV_ID_FAX, ZV_ID_HELP, ZV_ID_SCANNER_BROWSE,
                   ZV_ID_COPY_PRINTER_BROWSE, ZV_ID_FAX_PRINTER_BROWSE})
      ClickLater(d, id);
  };
  const Outcome outcome = Run(script, OneFlatbed(300));
  EXPECT_TRUE(disabled) << "the dialog is disabled while the page is scanned";
  EXPECT_EQ(0, outcome.result);
  EXPECT_EQ(1, outcome.Enables());
  EXPECT_EQ(1, outcome.Count("CreateDC"));
  EXPECT_EQ(1, outcome.Count("StartDoc"));
  EXPECT_EQ(2, outcome.Count("StartPage"));
  EXPECT_TRUE(outcome.boxes.empty()) << "no about box";
  for (const CallRecord &r : outcome.twain)
    EXPECT_NE("DG_CONTROL DAT_IDENTITY MSG_USERSELECT", r.call) << "no source selection";
  EXPECT_TRUE(outcome.sessionGone);
  EXPECT_FALSE(outcome.proxyLeft);
}

namespace {

// Where a quit arrives, and how.
enum class During { Scan, PrintDialog, SourceSelection, AboutBox };
enum class Gesture { Quit, Close };

const char *Name(During during) {
  switch (during) {
  case During::Scan:
    return "scan";
  case During::PrintDialog:
    return "print dialog";
  case During::SourceSelection:
    return "source selection";
  default:
    return "about box";
  }
}

} // namespace

// A Quit, or a close (WM_CLOSE, as a task manager sends it even to a
// disabled window), that arrives while an operation runs is held: the
// dialog stays until the operation has ended, then closes, and its
// WM_NCDESTROY shuts the session down.
TEST_F(MainDialogTest, QuitDuringAnOperationWaitsForIt) {
  for (const During during :
       {During::Scan, During::PrintDialog, During::SourceSelection, During::AboutBox}) {
    for (const Gesture gesture : {Gesture::Quit, Gesture::Close}) {
      SCOPED_TRACE(std::string(gesture == Gesture::Quit ? "Quit" : "close") + " during the " +
                   Name(during));
      Probe probe;
      const auto quit = [&probe, gesture](HWND d, std::function<void()> then) {
        if (gesture == Gesture::Quit)
          probe.Post(d, WM_COMMAND, MAKEWPARAM(ZV_ID_QUIT, BN_CLICKED), 1, std::move(then));
        else
          probe.Post(d, WM_CLOSE, 0, 2, std::move(then));
      };
      HWND mainDialog = nullptr;
      bool answered = false;
      Script script;
      script.main = [&](HWND d) {
        mainDialog = d;
        const int start[] = {ZV_ID_COPY, ZV_ID_COPY_PRINTER_BROWSE, ZV_ID_SCANNER_BROWSE,
                             ZV_ID_HELP};
        ClickLater(d, start[int(during)]);
      };
      script.whileScanning = [&](HWND d) {
        if (during == During::Scan)
          quit(d, nullptr);
      };
      // The operation's own dialog is answered once the gesture has reached
      // the main dialog.
      script.print = [&](HWND print) {
        answered = true;
        quit(mainDialog, [print] { PressButton(print, IDCANCEL); });
      };
      script.select = [&](HWND select) {
        answered = true;
        quit(mainDialog, [select] { PressButton(select, IDCANCEL); });
      };
      script.box = [&](HWND box) {
        answered = true;
        quit(mainDialog, [box] { PressButton(box, IDOK); });
      };
      const Outcome outcome = Run(script, OneFlatbed(during == During::Scan ? 300 : 0));
      EXPECT_EQ(0, outcome.result);
      EXPECT_EQ(1, probe.seen);
      EXPECT_TRUE(probe.dialogVisible) << "the dialog closed under the running operation";
      switch (during) {
      case During::Scan:
        EXPECT_EQ(1, outcome.Count("StartPage")) << "the job went on to print its page";
        EXPECT_EQ(1, outcome.Count("EndDoc"));
        break;
      case During::PrintDialog:
        EXPECT_TRUE(answered);
        EXPECT_EQ(DefaultPrinter(), GetPrinterDeviceName(PrinterSettings[kCopyPrinter]));
        break;
      case During::SourceSelection:
        EXPECT_TRUE(answered);
        EXPECT_TRUE(ContainsSequence({Call("DG_CONTROL DAT_IDENTITY MSG_USERSELECT")},
                                     outcome.twain));
        break;
      case During::AboutBox:
        EXPECT_TRUE(answered);
        ASSERT_EQ(1u, outcome.boxes.size());
        EXPECT_EQ(0u, outcome.boxes[0].text.find(L"Zelvantor Copier\r\nVersion "))
            << Utf8(outcome.boxes[0].text);
        break;
      }
      if (during != During::Scan) {
        EXPECT_FALSE(outcome.Scanned());
      }
      EXPECT_TRUE(outcome.sessionGone);
      EXPECT_FALSE(outcome.proxyLeft);
    }
  }
}

// ---- no printer ----------------------------------------------------------------

// Only the fax printer missing is enough: the German message, whatever the
// language, and the dialog closes once its set-up is over.
TEST_F(MainDialogTest, NoFaxPrinterAtSetUpClosesTheDialog) {
  FaxPrinterMissingScope noFax;
  bool mainSteps = false;
  Script script;
  script.main = [&](HWND d) {
    mainSteps = true;
    ClickLater(d, ZV_ID_QUIT);
  };
  const Outcome outcome = Run(script);
  EXPECT_EQ(0, outcome.result);
  ASSERT_EQ(1u, outcome.boxes.size());
  EXPECT_EQ(L"Zelvantor Copier", outcome.boxes[0].caption);
  EXPECT_EQ(L"Auf Ihrem System ist kein Drucker installiert.", outcome.boxes[0].text);
  EXPECT_FALSE(mainSteps) << "the dialog stayed open after its set-up";
  // The copy printer was found; nothing was scanned.
  EXPECT_EQ(DefaultPrinter(), GetPrinterDeviceName(PrinterSettings[kCopyPrinter]));
  EXPECT_EQ(L"", GetPrinterDeviceName(PrinterSettings[kFaxPrinter]));
  EXPECT_FALSE(outcome.Scanned());
  EXPECT_TRUE(outcome.printing.empty());
  EXPECT_TRUE(outcome.sessionGone);
  EXPECT_FALSE(outcome.proxyLeft);
}

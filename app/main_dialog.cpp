#include "app/main_dialog.h"

#include <commctrl.h>

#include <cwchar>
#include <new>
#include <string>

#include "app/about_box.h"
#include "app/localized_texts.h"
#include "copyjob/copy_job.h"
#include "copyjob/copy_plan.h"
#include "dialogs/focus_tracking.h"
#include "dialogs/window_utils.h"
#include "printing/printer_settings.h"
#include "twain/scanner_profile.h"
#include "twain/scanner_session.h"

namespace {

constexpr std::int32_t kBrightnessMin = -1000;
constexpr std::int32_t kBrightnessMax = 1000;
constexpr wchar_t const *kPaperNames[] = {L"A3", L"A4", L"A5", L"A6"};

// Ends the dialog when a quit was held for an operation that has ended,
// whichever way it ended.
class EndOnHeldQuit {
public:
  EndOnHeldQuit(const WindowBase &dialog, ReentryGuard &reentry)
      : dialog_(dialog), reentry_(reentry) {}
  ~EndOnHeldQuit() {
    if (reentry_.TakeHeldQuit())
      dialog_.EndDialog(0);
  }
  EndOnHeldQuit(const EndOnHeldQuit &) = delete;
  EndOnHeldQuit &operator=(const EndOnHeldQuit &) = delete;

private:
  const WindowBase &dialog_;
  ReentryGuard &reentry_;
};

} // namespace

MainDialog::MainDialog() : DialogBase(nullptr) {}

MainDialog::~MainDialog() = default;

template <typename Operation> void MainDialog::RunExclusive(Operation operation) {
  // A click that arrives while the session pumps messages inside a running
  // operation must not start a second one on the same session. The quit
  // check is made after the operation's end (destroyed after it).
  const EndOnHeldQuit quit(*this, reentry);
  const ReentryGuard::Operation running = reentry.BeginOperation();
  if (!running)
    return;
  operation();
}

INT_PTR MainDialog::HandleMessage(HWND dialogWindow, UINT message, WPARAM wParam,
                                  LPARAM lParam) {
  if (TrackFocus(dialogWindow, message, wParam, lParam) != 0)
    return TRUE;
  switch (message) {
  case WM_INITDIALOG:
    InitDialog();
    return FALSE; // the focus is set by InitDialog
  case WM_COMMAND:
    return OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
  case WM_NCDESTROY:
    if (session) {
      session->Shutdown();
      session.reset();
    }
    return TRUE;
  default:
    return FALSE;
  }
}

void MainDialog::InitDialog() {
  session.reset(new (std::nothrow) ScannerSession(window));

  SendMessageW(window, WM_SETICON, ICON_BIG,
               LPARAM(LoadIconW(ModuleInstance, MAKEINTRESOURCEW(1))));
  SendMessageW(window, WM_SETICON, ICON_SMALL,
               LPARAM(LoadSmallIcon(ModuleInstance, MAKEINTRESOURCEW(1))));
  // Any message box below stands over the visible dialog.
  ShowWindow(window, SW_SHOW);

  // The set-up looks up printers and opens the scanner, which pumps
  // messages: it counts as an operation, so a quit arriving meanwhile waits.
  RunExclusive([this] { SetUp(); });
}

void MainDialog::SetUp() {
  if (SelectPrinter(window, kCopyPrinter) && SelectPrinter(window, kFaxPrinter)) {
    SetDialogText(IdCopyPrinterName, GetPrinterDeviceName(PrinterSettings[kCopyPrinter]));
    SetDialogText(IdFaxPrinterName, GetPrinterDeviceName(PrinterSettings[kFaxPrinter]));
  } else {
    MessageBoxW(window, kNoPrinterText, kProgramCaption, MB_ICONERROR);
    // The dialog closes once WM_INITDIALOG has returned; the set-up runs on.
    EndDialog(0);
  }

  SendToItem(IdCopies, EM_LIMITTEXT, 3, 0);
  SendToItem(IdCopiesUpDown, UDM_SETRANGE32, 1, 999);
  SendToItem(IdCopiesUpDown, UDM_SETPOS, 0, MAKELPARAM(1, 0));

  SendToItem(IdPercent, EM_LIMITTEXT, 3, 0);
  SendToItem(IdPercentUpDown, UDM_SETRANGE32, 1, 999);
  SendToItem(IdPercentUpDown, UDM_SETPOS, 0, MAKELPARAM(100, 0));

  for (int list : {IdSourcePaper, IdDestinationPaper}) {
    for (const wchar_t *name : kPaperNames)
      SendToItem(list, CB_ADDSTRING, 0, LPARAM(name));
    SendToItem(list, CB_SETCURSEL, 1, 0); // A4
  }

  for (const std::wstring *mode : {&TextModeBlackWhite, &TextModeGreyscale, &TextModeColor})
    SendToItem(IdMode, CB_ADDSTRING, 0, LPARAM(mode->c_str()));
  SendToItem(IdMode, CB_SETCURSEL, 0, 0);

  CheckDlgButton(window, IdPercentOption, BST_CHECKED);
  SendToItem(IdPercentOption, BM_CLICK, 0, 0);
  // BM_CLICK may do nothing while the dialog is not the active window (the
  // user turned to another window during a slow set-up): the option's
  // controls are set here as well.
  ShowScaleOption();

  SetFocus(ItemWindow(IdCopies));
  SendToItem(IdCopies, EM_SETSEL, 0, -1);

  RefreshScannerName();

  SendToItem(IdBrightness, TBM_SETRANGE, TRUE,
             MAKELPARAM(WORD(kBrightnessMin), WORD(kBrightnessMax)));
  SendToItem(IdBrightness, TBM_SETTICFREQ, 250, 0);
  SendToItem(IdBrightness, TBM_SETPOS, TRUE, 0);
}

bool MainDialog::OnCommand(int id, int code) {
  switch (id) {
  case IdCopy:
    RunExclusive([this] { OnCopyCommand(kCopyPrinter); });
    return true;
  case IdFax:
    RunExclusive([this] { OnCopyCommand(kFaxPrinter); });
    return true;
  case IdQuit: // also Esc and the window's close button
    if (reentry.RequestQuit())
      EndDialog(0);
    return true;
  case IdHelp:
    RunExclusive([this] { ShowAboutBox(*this); });
    return true;
  case IdScannerBrowse:
    RunExclusive([this] {
      if (session)
        session->SelectSource(0, true);
      // Chosen or not: the name shows the session's current scanner.
      RefreshScannerName();
    });
    return true;
  case IdCopyPrinterBrowse:
  case IdFaxPrinterBrowse: {
    const int index = id == IdCopyPrinterBrowse ? kCopyPrinter : kFaxPrinter;
    const int nameId = id == IdCopyPrinterBrowse ? IdCopyPrinterName : IdFaxPrinterName;
    RunExclusive([this, index, nameId] {
      if (SelectPrinter(window, index))
        SetDialogText(nameId, GetPrinterDeviceName(PrinterSettings[index]));
    });
    return true;
  }
  case IdPercentOption:
  case IdPaperOption:
    ShowScaleOption();
    return true;
  case IdSourcePaper:
  case IdDestinationPaper:
    if (code == CBN_SELCHANGE)
      SetDialogInteger(IdPercent, PercentShown(ReadScale()));
    return true;
  default:
    return false;
  }
}

void MainDialog::ShowScaleOption() {
  // The percent field's up-down arrows stay as they are.
  const bool percent = IsDlgButtonChecked(window, IdPercentOption) == BST_CHECKED;
  EnableWindow(ItemWindow(IdPercent), percent);
  EnableWindow(ItemWindow(IdSourcePaper), !percent);
  EnableWindow(ItemWindow(IdDestinationPaper), !percent);
}

std::uint32_t MainDialog::ReadScale() const {
  const bool percent = IsDlgButtonChecked(window, IdPercentOption) == BST_CHECKED;
  return ScaleFromDialog(percent, percent ? ReadDialogInteger(IdPercent) : 0,
                         int(SendToItem(IdSourcePaper, CB_GETCURSEL, 0, 0)),
                         int(SendToItem(IdDestinationPaper, CB_GETCURSEL, 0, 0)));
}

void MainDialog::RejectField(int controlId) const {
  SendMessageW(window, WM_NEXTDLGCTL, WPARAM(ItemWindow(controlId)), TRUE);
  SendToItem(controlId, EM_SETSEL, 0, -1);
  MessageBeep(MB_ICONWARNING);
}

void MainDialog::OnCopyCommand(int printerIndex) {
  CopyParameters params;
  if (!CopiesFromDialog(ReadDialogInteger(IdCopies), &params.copies)) {
    RejectField(IdCopies);
    return;
  }
  params.scale = ReadScale();
  if (params.scale == 0) {
    // Only the percent field can read 0: nothing is scanned, the user
    // corrects the field.
    RejectField(IdPercent);
    return;
  }
  params.brightness = std::int32_t(SendToItem(IdBrightness, TBM_GETPOS, 0, 0));
  params.mode = ModeFromSelection(SendToItem(IdMode, CB_GETCURSEL, 0, 0));
  params.OneDocumentPerCopy = std::uint32_t(printerIndex);
  if (session)
    RunCopyJob(*session, PrinterSettings[printerIndex], params);
}

void MainDialog::RefreshScannerName() {
  ScannerProfile profile;
  // The name shown is whatever the profile holds afterwards, also on failure.
  if (session)
    session->GetScannerProfile(0, profile);
  const std::size_t length = wcsnlen(profile.ProductName, kIdentityTextUnits);
  SetDialogText(IdScannerName, std::wstring(profile.ProductName, length));
}

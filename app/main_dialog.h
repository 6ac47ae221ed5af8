// The copier's window: scanner, copy printer and fax printer with a Browse
// button each, copies, brightness, mode and scale, and Copy, Fax, Quit, Help.
// It owns its scanner session from WM_INITDIALOG to WM_NCDESTROY.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "app/dialog_values.h"
#include "common/reentry_guard.h"
#include "dialogs/dialog_base.h"
#include "resources/main_dialog_ids.h"

class ScannerSession;

// Control ids of dialog template 1 (resources/main_dialog_ids.h).
enum MainDialogControl : int {
  IdCopy = ZV_ID_COPY,
  IdQuit = ZV_ID_QUIT,
  IdFax = ZV_ID_FAX,
  IdHelp = ZV_ID_HELP,
  IdScannerName = ZV_ID_SCANNER_NAME,
  IdScannerBrowse = ZV_ID_SCANNER_BROWSE,
  IdCopyPrinterName = ZV_ID_COPY_PRINTER_NAME,
  IdCopyPrinterBrowse = ZV_ID_COPY_PRINTER_BROWSE,
  IdCopies = ZV_ID_COPIES,
  IdCopiesUpDown = ZV_ID_COPIES_UPDOWN,
  IdPercent = ZV_ID_PERCENT,
  IdPercentUpDown = ZV_ID_PERCENT_UPDOWN,
  IdFaxPrinterName = ZV_ID_FAX_PRINTER_NAME,
  IdFaxPrinterBrowse = ZV_ID_FAX_PRINTER_BROWSE,
  IdPercentOption = ZV_ID_PERCENT_OPTION,
  IdPaperOption = ZV_ID_PAPER_OPTION,
  IdSourcePaper = ZV_ID_SOURCE_PAPER,
  IdDestinationPaper = ZV_ID_DESTINATION_PAPER,
  IdBrightness = ZV_ID_BRIGHTNESS,
  IdMode = ZV_ID_MODE,
};

constexpr std::uint16_t kMainDialogTemplate = ZV_MAIN_DIALOG;

// Shown in every interface language when no copy or fax printer is usable.
constexpr wchar_t kNoPrinterText[] = L"Auf Ihrem System ist kein Drucker installiert.";

class MainDialog : public DialogBase {
public:
  MainDialog();
  ~MainDialog() override;

  INT_PTR HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  // Copy (printer index 0) or Fax (1): the controls into a copy job.
  void OnCopyCommand(int printerIndex);
  // The scale in 1/100 percent from the percent field or the paper lists;
  // 0 when the percent field reads 0, is empty or negative.
  std::uint32_t ReadScale() const;
  // Shows the product name of the session's current scanner in control 101.
  void RefreshScannerName();

  ScannerSession *Session() const { return session.get(); }

private:
  void InitDialog();
  // The set-up after the session exists: printers, controls, scanner name.
  void SetUp();
  bool OnCommand(int id, int code);
  void ShowScaleOption();
  // Puts the focus on a field the user must correct, its text selected.
  void RejectField(int controlId) const;
  // Runs one operation unless another is running; a quit held meanwhile
  // takes effect once it has ended, however it ended.
  template <typename Operation> void RunExclusive(Operation operation);

  std::unique_ptr<ScannerSession> session;
  ReentryGuard reentry;
};

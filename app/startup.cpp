#include "app/startup.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/localized_texts.h"
#include "app/main_dialog.h"
#include "app/module_path.h"
#include "copyjob/copy_job.h"
#include "printing/printer_settings.h"
#include "twain/scanner_session.h"
#include "twain/twain.h"

CommandLineArguments GetCommandLineArguments() {
  CommandLineArguments arguments;
  int total = 0;
  arguments.array.reset(CommandLineToArgvW(GetCommandLineW(), &total));
  // The count CommandLineToArgvW reports includes the program name.
  if (arguments.array && total > 1) {
    arguments.count = total - 1;
    arguments.first = arguments.array.get() + 1;
  }
  return arguments;
}

// The probe session is not reused by either road.
bool ProbeScanner(const ProcessRunner &runCopier32) {
  ScannerSession probe(nullptr);
  const bool available = probe.IsAvailable();
  const std::wstring copier32 = HandOverTarget(kWin64Build, available, GetModulePath(nullptr));
  if (!copier32.empty()) {
    // Nothing of this program's TWAIN is of use to the other one.
    probe.Shutdown();
    // It shows the no-scanner message itself if it finds no scanner either.
    if (runCopier32(copier32, GetCommandLineW()))
      return false;
  }
  if (!available)
    MessageBoxW(nullptr, TextNoScanner.c_str(), kProgramCaption, MB_ICONERROR);
  probe.Shutdown();
  return available;
}

namespace {

void CommandLineCopy() {
  if (!SelectPrinter(nullptr, 0))
    return; // no printer: nothing to say on this road
  ScannerSession session(nullptr);
  CopyParameters params;
  params.copies = 1;
  params.scale = 10000;
  params.brightness = 0;
  params.mode = TWPT_BW;
  params.OneDocumentPerCopy = 0;
  RunCopyJob(session, PrinterSettings[0], params);
  session.Shutdown();
}

// The copier's window, until the user quits.
void RunMainDialog() {
  // The template's up-down controls and trackbar need their classes.
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_UPDOWN_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  MainDialog dialog;
  dialog.DoModal(ModuleInstance, kMainDialogTemplate, nullptr);
}

} // namespace

int RunCopier(HINSTANCE instance) {
  ModuleInstance = instance;
  LoadLocalizedTexts();
  if (!ProbeScanner(RunProcessToEnd))
    return 0;
  // The first SelectPrinter of each entry then restores it from storage.
  for (PRINTDLGEXW &entry : PrinterSettings)
    entry = PRINTDLGEXW{};
  // Only the count matters; the texts of the arguments are never read.
  if (GetCommandLineArguments().count == 2)
    CommandLineCopy();
  else
    RunMainDialog();
  return 0;
}

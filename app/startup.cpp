#include "app/startup.h"

#include <shellapi.h>

#include "app/localized_texts.h"
#include "copyjob/copy_job.h"
#include "printing/printer_settings.h"
#include "twain/scanner_session.h"
#include "twain/twain.h"

namespace {

// The number of arguments after the program name.
int ArgumentCount() {
  int total = 0;
  LPWSTR *all = CommandLineToArgvW(GetCommandLineW(), &total);
  if (!all)
    return 0;
  LocalFree(all);
  // The count CommandLineToArgvW reports includes the program name.
  return total > 0 ? total - 1 : 0;
}

// Whether a TWAIN source manager and a scanner can be reached at all. The
// probe session is not reused by either road.
bool ProbeScanner() {
  ScannerSession probe(nullptr);
  const bool available = probe.IsAvailable();
  if (!available)
    MessageBoxW(nullptr, TextNoScanner.c_str(), kProgramCaption, MB_ICONERROR);
  probe.Shutdown();
  return available;
}

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

} // namespace

int RunCopier(HINSTANCE instance) {
  ModuleInstance = instance;
  LoadLocalizedTexts();
  if (!ProbeScanner())
    return 0;
  // The first SelectPrinter of each entry then restores it from storage.
  for (PRINTDLGEXW &entry : PrinterSettings)
    entry = PRINTDLGEXW{};
  if (ArgumentCount() == 2)
    CommandLineCopy();
  // Any other count belongs to the main dialog, which is not part of this build yet.
  return 0;
}

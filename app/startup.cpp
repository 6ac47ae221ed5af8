#include "app/startup.h"

#include <shellapi.h>

#include "app/localized_texts.h"
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

namespace {

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
  // Only the count matters; the texts of the arguments are never read.
  if (GetCommandLineArguments().count == 2)
    CommandLineCopy();
  // Any other count belongs to the main dialog, which is not part of this build yet.
  return 0;
}

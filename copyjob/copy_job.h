// One copy: open the printer, scan one page, print it once per copy.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include "copyjob/copy_plan.h"

class ScannerSession;

// Runs on the GUI thread and reports its own failures in message boxes.
// True when all copies were printed, and when the scan delivered no image
// (nothing printed; a failed scan, unlike a cancelled one, is reported with
// TextErrorScan); false when the printer could not be opened, printing
// failed (a page the driver would not draw, not even in bands, included),
// or the parameters are unusable (scale 0).
bool RunCopyJob(ScannerSession &session, PRINTDLGEXW &printer, const CopyParameters &params);

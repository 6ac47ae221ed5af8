#include "copyjob/copy_job.h"

#include <string>

#include "app/localized_texts.h"
#include "common/unique_handle.h"
#include "copyjob/print_calls.h"
#include "imaging/dib.h"
#include "imaging/dib_page.h"
#include "imaging/global_memory.h"
#include "printing/printer_settings.h"
#include "printing/settings_image.h"
#include "twain/scanner_profile.h"
#include "twain/scanner_session.h"

namespace {

// The printer's device context, owned for the whole job and deleted through
// the print calls like every other printing call of the job.
void DeletePrinterDC(HDC dc) { CurrentPrintCalls().deleteDC(dc); }
using PrinterDC = UniqueHandle<HDC, DeletePrinterDC>;

DOCINFOW DocumentInfo() {
  DOCINFOW info{};
  info.cbSize = sizeof info;
  info.lpszDocName = TextDocumentName.c_str();
  return info;
}

// The locked device mode when the block really holds one: at least the
// public part, and no shorter than the sizes it claims for itself.
DEVMODEW *UsableDevMode(const GlobalLockGuard &mode) {
  if (!mode || mode.size() < sizeof(DEVMODEW))
    return nullptr;
  auto *devMode = static_cast<DEVMODEW *>(mode.data());
  if (std::size_t(devMode->dmSize) + devMode->dmDriverExtra > mode.size())
    return nullptr;
  return devMode;
}

HDC OpenPrinter(PRINTDLGEXW &printer) {
  const std::wstring device = GetPrinterDeviceName(printer);
  GlobalLockGuard mode(printer.hDevMode);
  return CurrentPrintCalls().createDC(nullptr, device.c_str(), nullptr, UsableDevMode(mode));
}

// Scans are always laid on the sheet upright; the entry keeps the setting.
// A device mode whose dmSize ends before dmOrientation has no room for it:
// its driver's private bytes stay as they are.
void ForcePortrait(PRINTDLGEXW &printer, HDC dc) {
  GlobalLockGuard mode(printer.hDevMode);
  DEVMODEW *devMode = UsableDevMode(mode);
  if (!devMode)
    return;
  ForceDevModePortrait(devMode, mode.size());
  CurrentPrintCalls().resetDC(dc, devMode);
}

bool ReportDocumentFailure(const PrintCalls &gdi) {
  gdi.messageBox(nullptr, TextErrorDocument.c_str(), kProgramCaption, MB_ICONERROR);
  return false;
}

// A page that cannot be started, drawn or finished ends the job; the
// document is thrown away.
bool AbandonCopy(const PrintCalls &gdi, HDC dc) {
  gdi.abortDoc(dc);
  gdi.messageBox(nullptr, TextErrorCopy.c_str(), nullptr, MB_ICONERROR);
  return false;
}

std::uint32_t DeviceDpi(const PrintCalls &gdi, HDC dc, int axis) {
  return std::uint32_t(gdi.getDeviceCaps(dc, axis));
}

// How the scan was asked for: what sizes a bitmap whose header carries no
// resolution of its own.
struct ScanRequest {
  std::uint32_t scale;
  std::uint32_t chosenDpi;
  std::uint32_t targetDpi;
};

// One page: logical (0, 0) moved to the physical corner of the sheet, not
// of its printable area, and the whole bitmap drawn from there at its size
// on paper. False when the driver would not draw it, not even in bands: a
// sheet printed blank must not pass for a copy.
bool DrawPage(const PrintCalls &gdi, HDC dc, const DibImage &image, const ScanRequest &scan) {
  const int offsetY = gdi.getDeviceCaps(dc, PHYSICALOFFSETY);
  const int offsetX = gdi.getDeviceCaps(dc, PHYSICALOFFSETX);
  gdi.setViewportOrgEx(dc, -offsetX, -offsetY, nullptr);
  gdi.setStretchBltMode(dc, COLORONCOLOR);
  const std::uint32_t deviceDpiY = DeviceDpi(gdi, dc, LOGPIXELSY);
  const std::uint32_t bitmapDpiY =
      PrintResolution(std::uint32_t(image.GetYResolution(ResolutionPerInch)), scan.chosenDpi,
                      scan.targetDpi, deviceDpiY);
  const std::int32_t height =
      SizeOnPaper(std::uint32_t(image.GetHeight()), deviceDpiY, bitmapDpiY, scan.scale);
  const std::uint32_t deviceDpiX = DeviceDpi(gdi, dc, LOGPIXELSX);
  const std::uint32_t bitmapDpiX =
      PrintResolution(std::uint32_t(image.GetXResolution(ResolutionPerInch)), scan.chosenDpi,
                      scan.targetDpi, deviceDpiX);
  const std::int32_t width =
      SizeOnPaper(std::uint32_t(image.GetWidth()), deviceDpiX, bitmapDpiX, scan.scale);
  // An image too small to show at this scale leaves the page empty.
  if (width <= 0 || height <= 0)
    return true;
  return DrawDibPage(image.Handle(), dc, 0, 0, width, height, gdi.stretchDIBits);
}

} // namespace

bool RunCopyJob(ScannerSession &session, PRINTDLGEXW &printer, const CopyParameters &params) {
  // Nothing can be scaled to 0: refused before the printer or the scanner
  // is touched.
  if (params.scale == 0)
    return false;
  const PrintCalls &gdi = CurrentPrintCalls();
  PrinterDC dc(OpenPrinter(printer));
  if (!dc.get())
    return false;
  const bool documentPerCopy = params.OneDocumentPerCopy != 0;
  const DOCINFOW info = DocumentInfo();
  if (!documentPerCopy && gdi.startDoc(dc.get(), &info) <= 0)
    return ReportDocumentFailure(gdi);
  ForcePortrait(printer, dc.get());

  const ScanFrame frame = CopyScanFrame(params.scale);
  const ModeChoice mode = ChooseMode(params.mode);
  const std::uint32_t target =
      TargetResolution(DeviceDpi(gdi, dc.get(), LOGPIXELSX), params.scale, mode.divisor);
  ScannerProfile profile;
  session.GetScannerProfile(0, profile);
  const std::uint32_t resolution = ChooseScanResolution(target, profile);

  DibImage image;
  AcquireOutcome outcome = AcquireOutcome::Failed;
  image.Attach(session.AcquirePage(mode.pixelType, resolution,
                                   reinterpret_cast<std::uintptr_t>(&frame), params.brightness,
                                   0, false, outcome));
  if (!image.HasImage()) {
    // No page: the started document is thrown away. A scan the user or the
    // source cancelled needs no word; one that failed (a source that could
    // not be opened or enabled, a failed transfer) would otherwise look
    // like a copy that printed nothing for no reason.
    gdi.abortDoc(dc.get());
    if (outcome == AcquireOutcome::Failed)
      gdi.messageBox(nullptr, TextErrorScan.c_str(), kProgramCaption, MB_ICONERROR);
    return true;
  }

  const ScanRequest scan{params.scale, resolution, target};
  for (std::uint32_t copy = 0; copy < params.copies; ++copy) {
    if (documentPerCopy && gdi.startDoc(dc.get(), &info) <= 0)
      return ReportDocumentFailure(gdi);
    if (gdi.startPage(dc.get()) <= 0)
      return AbandonCopy(gdi, dc.get());
    if (!DrawPage(gdi, dc.get(), image, scan))
      return AbandonCopy(gdi, dc.get());
    if (gdi.endPage(dc.get()) <= 0)
      return AbandonCopy(gdi, dc.get());
    if (documentPerCopy)
      gdi.endDoc(dc.get());
  }
  if (!documentPerCopy)
    gdi.endDoc(dc.get());
  return true;
}

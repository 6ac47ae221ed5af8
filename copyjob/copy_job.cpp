#include "copyjob/copy_job.h"

#include <string>

#include "app/localized_texts.h"
#include "copyjob/print_calls.h"
#include "imaging/dib.h"
#include "imaging/global_memory.h"
#include "printing/printer_settings.h"
#include "twain/scanner_profile.h"
#include "twain/scanner_session.h"

namespace {

// Owns the printer's device context for the whole job.
class PrinterDC {
public:
  explicit PrinterDC(HDC dc) : dc_(dc) {}
  ~PrinterDC() {
    if (dc_)
      CurrentPrintCalls().deleteDC(dc_);
  }
  PrinterDC(const PrinterDC &) = delete;
  PrinterDC &operator=(const PrinterDC &) = delete;
  HDC get() const { return dc_; }

private:
  HDC dc_;
};

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
void ForcePortrait(PRINTDLGEXW &printer, HDC dc) {
  GlobalLockGuard mode(printer.hDevMode);
  DEVMODEW *devMode = UsableDevMode(mode);
  if (!devMode)
    return;
  devMode->dmFields |= DM_ORIENTATION;
  devMode->dmOrientation = DMORIENT_PORTRAIT;
  CurrentPrintCalls().resetDC(dc, devMode);
}

bool ReportDocumentFailure(const PrintCalls &gdi) {
  gdi.messageBox(nullptr, TextErrorDocument.c_str(), kProgramCaption, MB_ICONERROR);
  return false;
}

// A page that cannot be started or finished ends the job; the document is
// thrown away.
bool AbandonCopy(const PrintCalls &gdi, HDC dc) {
  gdi.abortDoc(dc);
  gdi.messageBox(nullptr, TextErrorCopy.c_str(), nullptr, MB_ICONERROR);
  return false;
}

std::uint32_t DeviceDpi(HDC dc, int axis) { return std::uint32_t(GetDeviceCaps(dc, axis)); }

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
  const std::uint32_t deviceDpiX = DeviceDpi(dc.get(), LOGPIXELSX);
  const std::uint32_t deviceDpiY = DeviceDpi(dc.get(), LOGPIXELSY);
  const std::uint32_t target = TargetResolution(deviceDpiX, params.scale, mode.divisor);
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

  // Logical (0, 0) is the physical corner of the sheet, not of the printable area.
  const int offsetX = GetDeviceCaps(dc.get(), PHYSICALOFFSETX);
  const int offsetY = GetDeviceCaps(dc.get(), PHYSICALOFFSETY);
  const std::uint32_t bitmapDpiX = PrintResolution(
      image.GetXResolution(ResolutionPerInch), resolution, target, deviceDpiX);
  const std::uint32_t bitmapDpiY = PrintResolution(
      image.GetYResolution(ResolutionPerInch), resolution, target, deviceDpiY);
  const std::int32_t width = SizeOnPaper(image.GetWidth(), deviceDpiX, bitmapDpiX, params.scale);
  const std::int32_t height = SizeOnPaper(image.GetHeight(), deviceDpiY, bitmapDpiY, params.scale);

  for (std::uint32_t copy = 0; copy < params.copies; ++copy) {
    if (documentPerCopy && gdi.startDoc(dc.get(), &info) <= 0)
      return ReportDocumentFailure(gdi);
    if (gdi.startPage(dc.get()) <= 0)
      return AbandonCopy(gdi, dc.get());
    SetViewportOrgEx(dc.get(), -offsetX, -offsetY, nullptr);
    SetStretchBltMode(dc.get(), COLORONCOLOR);
    // Width and height 0 would mean "own size" to Draw; an image too small to
    // show at this scale simply leaves the page empty.
    if (width > 0 && height > 0)
      image.Draw(dc.get(), 0, 0, width, height);
    if (gdi.endPage(dc.get()) <= 0)
      return AbandonCopy(gdi, dc.get());
    if (documentPerCopy)
      gdi.endDoc(dc.get());
  }
  if (!documentPerCopy)
    gdi.endDoc(dc.get());
  return true;
}

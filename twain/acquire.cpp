// One scanned page: open, negotiate, enable, wait for the native transfer,
// close, repair the bitmap header and, for one scanner, threshold to 1 bit.
#include "twain/acquire.h"

#include "imaging/dib.h"
#include "imaging/global_memory.h"
#include "twain/capability.h"
#include "twain/scanner_session.h"

namespace {

// Repairs the header of a delivered block in place; false, with the block
// untouched, when it cannot be locked or is too short to hold a header.
bool RepairDelivered(HGLOBAL handle, const TW_IMAGEINFO &info) {
  GlobalLockGuard lock(handle);
  if (!lock)
    return false;
  const float x = float(Fix32ToFloat(info.XResolution));
  const float y = float(Fix32ToFloat(info.YResolution));
  return RepairDibHeader(lock.bytes(), lock.size(), x, y);
}

} // namespace

HGLOBAL ScannerSession::AcquirePage(std::int32_t pixelType, std::uint32_t resolution,
                                    std::uintptr_t frame, std::int32_t brightness,
                                    std::int32_t contrast, bool showUI) {
  AcquireOutcome outcome;
  return AcquirePage(pixelType, resolution, frame, brightness, contrast, showUI, outcome);
}

HGLOBAL ScannerSession::AcquirePage(std::int32_t pixelType, std::uint32_t resolution,
                                    std::uintptr_t frame, std::int32_t brightness,
                                    std::int32_t contrast, bool showUI,
                                    AcquireOutcome &outcome) {
  // Nothing reached the scanner: no source was opened.
  outcome = AcquireOutcome::Failed;
  if (!IsAvailable())
    return nullptr;
  OperationScope operation(*this);
  if (!operation) {
    // A second request while one runs (a queued click) is turned away
    // without a word: nothing was asked of the scanner.
    outcome = AcquireOutcome::Cancelled;
    return nullptr;
  }
  const ResolvedFrame scanFrame = ResolveFrameArgument(frame);
  if (scanFrame.kind == FrameKind::Invalid)
    return nullptr;

  ShowBusyWindow();
  WorkingSettings working{pixelType, brightness, false};
  if (state < StateSourceEnabled && OpenManager() && OpenSource()) {
    working = WorkingSettingsFor(scannerId, pixelType, brightness);
    // The source keeps its own value for anything it refuses.
    if (resolution != 0)
      SetResolution(std::int32_t(resolution));
    if (scanFrame.kind == FrameKind::Rectangle)
      SetImageLayout(scanFrame.rect);
    SetContrast(contrast);
    if (working.pixelType != -1)
      SetPixelType(TW_UINT16(working.pixelType));
    SetBrightness(working.pixelType, working.brightness);
  }

  HGLOBAL handle = nullptr;
  AcquireFacts facts;
  facts.sourceOpened = state >= StateSourceOpen;
  enableReturnCode_ = kNoCall;
  transferReturnCode_ = kNoCall;
  // The image information of this page's own transfer: a late one slipping
  // in while the source closes replaces imageInfo.
  TW_IMAGEINFO pageInfo{};
  if (state >= StateSourceOpen) {
    handle = AcquireImage(showUI);
    facts.enableRc = enableReturnCode_;
    facts.transferRc = transferReturnCode_;
    pageInfo = imageInfo;
    ResetTransfers();
  }
  CloseManager();
  // A source that slips a second transfer in while the session closes
  // leaves an image nobody asked for; it must not leak.
  if (imageHandle != nullptr && imageHandle != handle) {
    GlobalFree(imageHandle);
    imageHandle = handle;
  }

  if (handle != nullptr && RepairDelivered(handle, pageInfo) && working.bwFromGrey) {
    if (HGLOBAL mono = ConvertDibDepth(handle, 1)) {
      GlobalFree(handle);
      handle = mono;
    }
  }
  HideBusyWindow();
  facts.imageReturned = handle != nullptr;
  outcome = AcquisitionOutcome(facts);
  return handle;
}

HGLOBAL ScannerSession::AcquireImage(bool showUI) {
  imageHandle = nullptr;
  if (state < StateSourceOpen)
    return nullptr;
  // A transfer left unfinished must be ended before another can be announced.
  if (state == StateTransferring)
    EndTransfer();
  if (state == StateTransferReady) {
    TransferImage();
    return imageHandle;
  }
  if (state == StateSourceOpen) {
    const bool enabled = EnableSource(showUI);
    enableReturnCode_ = lastReturnCode_;
    if (!enabled)
      return imageHandle;
  }
  WaitForTransfer();
  return imageHandle;
}

void ScannerSession::WaitForTransfer() {
  transferDone = false;
  closeRequested = false;
  if (state >= StateSourceEnabled) {
    waitingForPage = true;
    MSG message;
    while (!transferDone) {
      // Blocks until the source (or anything else) posts; no polling.
      const BOOL got = GetMessageW(&message, nullptr, 0, 0);
      if (got == 0 || got == -1)
        break; // WM_QUIT is consumed here; -1 would never change
      if (!ProcessEvent(&message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
      // The user closed the proxy window: handled like the source's own
      // request to close, unless the page has already come.
      if (closeRequested && !transferDone)
        DisableSource();
      if (state < StateSourceEnabled)
        break;
    }
    waitingForPage = false;
  }
  closeRequested = false;
  transferDone = false;
}

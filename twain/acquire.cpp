// One scanned page: open, negotiate, enable, wait for the native transfer,
// close, repair the bitmap header and, for one scanner, threshold to 1 bit.
#include "twain/acquire.h"

#include "imaging/dib.h"
#include "imaging/global_memory.h"
#include "twain/capability.h"
#include "twain/scanner_session.h"

namespace {

// Repairs the header of a delivered block in place; a block that cannot be
// locked or is too short to hold an info header is left untouched.
void RepairDelivered(HGLOBAL handle, const TW_IMAGEINFO &info) {
  GlobalLockGuard lock(handle);
  if (!lock)
    return;
  const float x = float(Fix32ToFloat(info.XResolution));
  const float y = float(Fix32ToFloat(info.YResolution));
  RepairDibHeader(lock.bytes(), lock.size(), x, y);
}

// What a transfer handed over, as a page: a global block holding a packed
// DIB this program can measure and draw, repaired. A GDI bitmap is turned
// into such a block; anything else yields no page. What is not kept goes
// back with `image`, by the call of its kind: a GDI object is deleted, a
// global block freed. A value that names neither is nothing this program
// could give back: freeing it could only harm the heap, so it is let go.
GlobalBlock PageFromTransfer(TransferredImage image, const TW_IMAGEINFO &info) {
  HANDLE handle = image.get();
  if (handle == nullptr)
    return GlobalBlock();
  GlobalBlock page;
  const DWORD kind = GetObjectType(handle);
  if (kind == OBJ_BITMAP) {
    page = PackedDibFromBitmap(static_cast<HBITMAP>(handle));
  } else if (kind == 0) {
    if (IsGlobalBlock(handle))
      page = GlobalBlock(static_cast<HGLOBAL>(image.release()));
    else
      static_cast<void>(image.release());
  }
  if (!page)
    return GlobalBlock();
  RepairDelivered(page.get(), info);
  if (!IsUsableDib(page.get()))
    return GlobalBlock();
  return page;
}

} // namespace

GlobalBlock ScannerSession::AcquirePage(std::int32_t pixelType, std::uint32_t resolution,
                                        std::uintptr_t frame, std::int32_t brightness,
                                        std::int32_t contrast, bool showUI) {
  AcquireOutcome outcome;
  return AcquirePage(pixelType, resolution, frame, brightness, contrast, showUI, outcome);
}

GlobalBlock ScannerSession::AcquirePage(std::int32_t pixelType, std::uint32_t resolution,
                                        std::uintptr_t frame, std::int32_t brightness,
                                        std::int32_t contrast, bool showUI,
                                        AcquireOutcome &outcome) {
  // Nothing reached the scanner: no source was opened.
  outcome = AcquireOutcome::Failed;
  if (!IsAvailable())
    return GlobalBlock();
  const ReentryGuard::Operation operation = reentry_.BeginOperation();
  if (!operation) {
    // A second request while one runs (a queued click) is turned away
    // without a word: nothing was asked of the scanner.
    outcome = AcquireOutcome::Cancelled;
    return GlobalBlock();
  }
  const ResolvedFrame scanFrame = ResolveFrameArgument(frame);
  if (scanFrame.kind == FrameKind::Invalid)
    return GlobalBlock();

  // Destroyed in reverse: the session is back at rest before the busy
  // window goes, on every road out.
  const BusyWindowScope busy(*this);
  const RestAtEnd rest(*this);
  // Each request sends its own settings: a session its caller left with a
  // source enabled or a transfer pending starts again from rest.
  if (state > StateSourceOpen)
    ReturnToRest();
  WorkingSettings working{pixelType, brightness, false};
  if (OpenManager() && OpenSource()) {
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

  AcquireFacts facts;
  facts.sourceOpened = state >= StateSourceOpen;
  enableReturnCode_ = kNoCall;
  transferReturnCode_ = kNoCall;
  // The page is this request's own transfer, with its own image
  // information: a late one slipping in while the source closes replaces
  // imageInfo and is given back when the request ends.
  TransferredImage transferred;
  TW_IMAGEINFO pageInfo{};
  if (state >= StateSourceOpen) {
    AcquireImage(showUI);
    transferred = TakeImage();
    facts.enableRc = enableReturnCode_;
    facts.transferRc = transferReturnCode_;
    pageInfo = imageInfo;
    ResetTransfers();
  }
  ReturnToRest();

  GlobalBlock page = PageFromTransfer(std::move(transferred), pageInfo);
  if (page && working.bwFromGrey) {
    // A failed conversion leaves the greyscale page as the result.
    if (GlobalBlock mono = ConvertDibDepth(page.get(), 1))
      page = std::move(mono);
  }
  imageHandle = page.get();
  facts.imageReturned = bool(page);
  outcome = AcquisitionOutcome(facts);
  return page;
}

HGLOBAL ScannerSession::AcquireImage(bool showUI) {
  imageHandle = nullptr;
  // An image nobody took does not wait for this acquisition.
  transferred_.reset();
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
  if (state >= StateSourceEnabled) {
    const ReentryGuard::Wait wait = reentry_.BeginWait();
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
      // request to close, unless the page has already come. The wait ends
      // even when the source will not be disabled; closing it is left to
      // the way back to rest.
      if (reentry_.CloseRequested() && !transferDone) {
        DisableSource();
        break;
      }
      if (state < StateSourceEnabled)
        break;
    }
  }
  transferDone = false;
}

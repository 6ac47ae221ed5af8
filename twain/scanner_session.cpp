#include "twain/scanner_session.h"

#include <cstring>
#include <optional>

#include "common/exception_boundary.h"
#include "twain/dpi_scope.h"
#include "twain/manager_loader.h"
#include "twain/scanner_profile.h"
#include "twain/window_calls.h"

namespace {

// A manager that keeps answering MSG_GETNEXT with success would otherwise
// hold the program in the listing for ever; no machine has this many sources.
constexpr unsigned kMaxListedSources = 1024;

void CopyText(char (&field)[34], const char *text) {
  std::memset(field, 0, sizeof field);
  std::strncpy(field, text, sizeof field - 1);
}

} // namespace

ScannerSession::ScannerSession(HWND owner) { Construct(owner, nullptr, false); }

ScannerSession::ScannerSession(HWND owner, DSMENTRYPROC managerEntry) {
  Construct(owner, managerEntry, true);
}

ScannerSession::~ScannerSession() { Shutdown(); }

void ScannerSession::Construct(HWND owner, DSMENTRYPROC managerEntry, bool entryGiven) {
  available = false;
  std::memset(&appIdentity, 0, sizeof appIdentity);
  state = StatePreSession;
  dsmEntry = nullptr;
  dsmModule.reset();
  ownerWindow = owner;
  proxyWindow.reset();
  scannerId = 0;
  std::memset(&sourceIdentity, 0, sizeof sourceIdentity);
  std::memset(&userInterface, 0, sizeof userInterface);
  transferDone = false;
  std::memset(&pendingTransfers, 0, sizeof pendingTransfers);
  std::memset(&imageInfo, 0, sizeof imageInfo);
  imageHandle = nullptr;
  // HideBusyWindow restores this whenever the proxy window has an owner,
  // even when ShowBusyWindow found none visible: the owner must end enabled.
  ownerWasEnabled = TRUE;
  transferred_.reset();

  if (!entryGiven) {
    if (DSMENTRYPROC override = TwainManagerOverride()) {
      managerEntry = override;
      entryGiven = true;
    }
  }
  if (entryGiven) {
    if (managerEntry == nullptr)
      return;
    dsmEntry = managerEntry;
  } else {
    ManagerLibrary library;
    if (!LoadTwainManager(TwainManagerFiles(), library))
      return;
    // Kept loaded even without DSM_Entry; Shutdown frees it.
    dsmModule.reset(library.module);
    dsmEntry = library.entry;
    managerFile_ = library.name;
    managerPath_ = library.path;
  }
  if (dsmEntry != nullptr) {
    available = true;
    state = StateManagerLoaded;
  }

  appIdentity.Version.MajorNum = 1;
  appIdentity.Version.MinorNum = 0;
  appIdentity.Version.Language = TWLG_USA;
  appIdentity.Version.Country = TWCY_USA;
  CopyText(appIdentity.Version.Info, "Version 1.0");
  appIdentity.ProtocolMajor = 1;
  appIdentity.ProtocolMinor = 9;
  appIdentity.SupportedGroups = DG_CONTROL | DG_IMAGE;
  CopyText(appIdentity.Manufacturer, "Zelvantor");
  CopyText(appIdentity.ProductFamily, "ZVTwain");
  CopyText(appIdentity.ProductName, "ZVTwain");

  CreateProxyWindow();
  if (SelectSource(0, false) != 0)
    return;
  available = false;
}

void ScannerSession::Shutdown() {
  // The library goes only with nothing of it open or enabled.
  ReturnToRest();
  transferred_.reset();
  dsmModule.reset();
  managerFile_.clear();
  managerPath_.clear();
  // Nothing may call into a library that is gone: the session is unusable
  // until constructed again.
  dsmEntry = nullptr;
  available = false;
  state = StatePreSession;
  DestroyProxyWindow();
}

bool ScannerSession::Call(bool toSource, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg,
                          TW_MEMREF data) {
  if (!available || dsmEntry == nullptr)
    return false;
  TwainExchange exchange;
  exchange.toSource = toSource;
  exchange.group = group;
  exchange.dat = dat;
  exchange.msg = msg;
  {
    ScaledWindowsDpiScope dpi(CallMayOpenWindows(group, dat, msg));
    // A manager may be C++ of its own: whatever it throws is its failure.
    exchange.rc = CatchAtBoundary<TW_UINT16>(TWRC_FAILURE, [&] {
      return dsmEntry(&appIdentity, toSource ? &sourceIdentity : nullptr, group, dat, msg, data);
    });
  }
  lastReturnCode_ = exchange.rc;
  if (toSource && group == DG_CONTROL && data != nullptr) {
    if (dat == DAT_EVENT && msg == MSG_PROCESSEVENT)
      exchange.eventMessage = static_cast<TW_EVENT *>(data)->TWMessage;
    else if (dat == DAT_PENDINGXFERS && msg == MSG_ENDXFER)
      exchange.pendingCount = static_cast<TW_PENDINGXFERS *>(data)->Count;
  }
  const TwainTransition t = ApplyTransition(state, exchange);
  state = t.state;
  if (t.adoptSourceIdentity && data != nullptr && data != &sourceIdentity)
    std::memcpy(&sourceIdentity, data, sizeof sourceIdentity);
  return t.result;
}

bool ScannerSession::CallManager(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  return Call(false, group, dat, msg, data);
}

bool ScannerSession::CallSource(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  return Call(true, group, dat, msg, data);
}

bool ScannerSession::OpenManager() {
  if (!available)
    return false;
  if (state < StateManagerOpen)
    CallManager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, proxyWindow.addressof());
  return state >= StateManagerOpen;
}

bool ScannerSession::CloseManager() {
  if (!available)
    return false;
  PumpMessages();
  // A manager that is not open is not closed again. One whose source would
  // not close is closed all the same: managers close what the application
  // left open.
  CloseSource();
  if (state >= StateManagerOpen)
    CallManager(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, proxyWindow.addressof());
  return state <= StateManagerLoaded;
}

void ScannerSession::ReturnToRest() {
  if (available && state > StateManagerLoaded) {
    CloseManager();
    if (state > StateManagerLoaded)
      ReloadManager();
  }
  // Whatever a transfer left untaken goes with the operation.
  transferred_.reset();
}

void ScannerSession::ReloadManager() {
  // Whatever the manager still holds open goes with its library.
  state = StateManagerLoaded;
  if (!dsmModule)
    return; // a DSM_Entry was given: nothing to unload
  dsmModule.reset();
  dsmEntry = nullptr;
  ManagerLibrary library;
  // The same file again, from the same full path.
  if (LoadTwainManager({ManagerCandidate{managerFile_, managerPath_}}, library) &&
      library.entry != nullptr) {
    dsmModule.reset(library.module);
    dsmEntry = library.entry;
    return;
  }
  // Gone for good: the session is unusable, as one that found no manager.
  dsmModule.reset(library.module);
  available = false;
  state = StatePreSession;
}

std::uint32_t ScannerSession::SelectSource(std::uint32_t wantedId, bool userSelect) {
  const ReentryGuard::Operation operation = reentry_.BeginOperation();
  if (!operation)
    return 0;
  return SelectSourceNow(wantedId, userSelect);
}

std::uint32_t ScannerSession::SelectSourceNow(std::uint32_t wantedId, bool userSelect) {
  if (!available)
    return 0;
  const SessionState entryState = state;
  TW_IDENTITY local;
  std::memset(&local, 0, sizeof local);
  bool found = false;
  {
    // Opened here, closed here, whatever the manager answers.
    std::optional<RestAtEnd> rest;
    if (entryState < StateManagerOpen)
      rest.emplace(*this);
    if (state >= StateManagerOpen || OpenManager()) {
      if (wantedId != 0) {
        found = FindListedSource(
            [wantedId](const TW_IDENTITY &listed) { return ScannerIdOf(listed) == wantedId; },
            local);
      } else if (userSelect) {
        const BusyWindowScope busy(*this);
        found = CallManager(DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &local);
      } else {
        found = CallManager(DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &local);
      }
    }
  }
  if (!found)
    return 0;
  sourceIdentity = local;
  scannerId = ScannerIdOf(local);
  return scannerId;
}

bool ScannerSession::FindListedSource(const std::function<bool(const TW_IDENTITY &)> &match,
                                      TW_IDENTITY &identity) {
  bool listed = CallManager(DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &identity);
  for (unsigned count = 1; listed; ++count) {
    if (match(identity))
      return true;
    if (count >= kMaxListedSources)
      return false;
    listed = CallManager(DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &identity);
  }
  return false;
}

bool ScannerSession::OpenSource() {
  if (!available)
    return false;
  if (state >= StateSourceOpen)
    return state == StateSourceOpen;
  if (state < StateManagerOpen && !OpenManager())
    return false;
  // Resolves the source again from scannerId; a source no longer listed is
  // tried with the identity stored last, and the manager's answer decides.
  SelectSourceNow(scannerId, false);
  // The manager completes a copy; only a source that opened replaces the
  // stored identity, so a refusal cannot scribble on it.
  TW_IDENTITY identity = sourceIdentity;
  CallManager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity);
  return state == StateSourceOpen;
}

bool ScannerSession::CloseSource() {
  if (!available)
    return false;
  DisableSource();
  // Asked even of a source that would not be disabled: it may still close.
  if (state >= StateSourceOpen)
    CallManager(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &sourceIdentity);
  return state <= StateManagerOpen;
}

bool ScannerSession::EnableSource(bool showUI) {
  if (!available)
    return false;
  // An enabled source is not enabled a second time.
  if (state >= StateSourceEnabled)
    return state == StateSourceEnabled;
  if (state < StateSourceOpen && !OpenSource())
    return false;
  userInterface.ShowUI = showUI ? 1 : 0;
  userInterface.ModalUI = FALSE;
  userInterface.hParent = proxyWindow.get();
  CallSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &userInterface);
  return state == StateSourceEnabled;
}

bool ScannerSession::DisableSource() {
  if (!available)
    return false;
  ResetTransfers();
  if (state >= StateSourceEnabled)
    CallSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &userInterface);
  PumpMessages();
  return state < StateSourceEnabled;
}

bool ScannerSession::EndTransfer() {
  if (state == StateTransferring) {
    // Count is the source's answer; a source that leaves it alone reports none.
    std::memset(&pendingTransfers, 0, sizeof pendingTransfers);
    CallSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pendingTransfers);
  }
  return state < StateTransferring;
}

bool ScannerSession::ResetTransfers() {
  EndTransfer();
  // Also after a MSG_ENDXFER the source refused: the next step down.
  if (state >= StateTransferReady)
    CallSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pendingTransfers);
  PumpMessages();
  return state < StateTransferReady;
}

bool ScannerSession::ProcessEvent(MSG *message) {
  if (state < StateSourceEnabled)
    return false;
  TW_EVENT event;
  event.pEvent = message;
  event.TWMessage = MSG_NULL;
  const bool result = CallSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
  if (event.TWMessage == MSG_XFERREADY) {
    TransferImage();
  } else if (event.TWMessage == MSG_CLOSEDSREQ) {
    // A source that asks to be closed and then will not be disabled still
    // ends the wait for its page, as a close of the proxy window does.
    if (!DisableSource())
      reentry_.RequestClose();
  }
  return result;
}

void ScannerSession::PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (!ProcessEvent(&message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

bool ScannerSession::TransferImage() {
  std::memset(&imageInfo, 0, sizeof imageInfo);
  CallSource(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &imageInfo);
  TransferNative();
  transferDone = true;
  EndTransfer();
  return state < StateTransferring;
}

void ScannerSession::TransferNative() {
  TW_HANDLE handle = nullptr;
  const bool done = CallSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
  transferReturnCode_ = lastReturnCode_;
  // Whatever came back is the program's to give back, whatever the answer;
  // only a completed transfer brings an image to keep. One left untaken
  // from an earlier transfer is given back as this one takes its place.
  TransferredImage received(handle);
  imageHandle = done ? static_cast<HGLOBAL>(handle) : nullptr;
  transferred_ = done ? std::move(received) : TransferredImage();
}

TransferredImage ScannerSession::TakeImage() { return std::move(transferred_); }

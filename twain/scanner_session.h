// The application side of the TWAIN protocol: one object loads the source
// manager, keeps the TWAIN state of its conversation with the manager and one
// source, and offers each protocol step as an operation that may be called in
// any state. It also owns the proxy window, the parent handed to the manager
// and the source, which doubles as the "Scanning..." busy indicator.
//
// Operations report success as truth values, IDs or null handles; none shows
// a message. At rest the session is in state 2 (manager loaded, closed).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "common/reentry_guard.h"
#include "common/unique_handle.h"
#include "copyjob/paper_size.h"
#include "twain/acquire.h"
#include "twain/session_state.h"
#include "twain/twain.h"

class ScannerProfile;

class ScannerSession {
public:
  // Loads the source manager (see twain/manager_loader.h for where it comes
  // from), creates the proxy window owned by owner (may be null) and takes
  // the manager's default source. Test with IsAvailable.
  explicit ScannerSession(HWND owner);
  // The same with this DSM_Entry in place of a manager library.
  ScannerSession(HWND owner, DSMENTRYPROC managerEntry);
  // Shuts down what Shutdown has not yet released.
  ~ScannerSession();
  ScannerSession(const ScannerSession &) = delete;
  ScannerSession &operator=(const ScannerSession &) = delete;

  bool IsAvailable() const { return available; }
  // The manager library's name as the search found it ("TWAIN_32.DLL",
  // "TWAINDSM.DLL"); empty when no library was loaded (a given DSM_Entry).
  const std::wstring &ManagerFile() const { return managerFile_; }
  // Frees the manager library and destroys the proxy window. Called at
  // rest; a session found above it is first brought down (ReturnToRest), so
  // that no library goes with a source still open or enabled.
  void Shutdown();

  bool CallManager(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  bool CallSource(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

  // The open/close family reports the state condition afterwards.
  bool OpenManager();
  bool CloseManager();
  // ScannerId of the selected source, 0 when none was selected, and 0 when
  // another operation of this session is running.
  std::uint32_t SelectSource(std::uint32_t wantedId, bool userSelect);
  bool OpenSource();
  bool CloseSource();
  bool EnableSource(bool showUI);
  bool DisableSource();
  bool EndTransfer();
  bool ResetTransfers();
  // True when the message belonged to the source and must not be dispatched.
  bool ProcessEvent(MSG *message);
  void PumpMessages();
  bool TransferImage();
  // Sets imageHandle to what a completed transfer (TWRC_XFERDONE) handed
  // over. The session owns that image until TakeImage; whatever a transfer
  // answered otherwise, a handle it came with is given back at once.
  void TransferNative();
  // The image of the last completed transfer, not yet taken (empty if none).
  // An image left untaken is given back when the next transfer completes or
  // fails, and when the operation that received it ends.
  [[nodiscard]] TransferredImage TakeImage();

  // Brings the session down to rest (state 2) whatever the manager and the
  // source answer: the usual way down first, each step tried even when the
  // one above it was refused; a manager that still will not close is
  // unloaded and loaded again (a session given its DSM_Entry has nothing to
  // unload and only forgets the conversation). Every operation ends here.
  void ReturnToRest();

  // Nest: the owner is disabled by the outermost show and restored by the
  // matching hide, so it ends as it was before the first.
  void ShowBusyWindow();
  void HideBusyWindow();
  // ShowBusyWindow now, HideBusyWindow when the scope ends.
  class [[nodiscard]] BusyWindowScope {
  public:
    explicit BusyWindowScope(ScannerSession &session) : session_(session) {
      session_.ShowBusyWindow();
    }
    ~BusyWindowScope() { session_.HideBusyWindow(); }
    BusyWindowScope(const BusyWindowScope &) = delete;
    BusyWindowScope &operator=(const BusyWindowScope &) = delete;

  private:
    ScannerSession &session_;
  };
  void CreateProxyWindow();
  void DestroyProxyWindow();
  // Closing the proxy window while a page is awaited asks to cancel the
  // scan, as the source's MSG_CLOSEDSREQ does: true when a wait took the
  // request. CloseRequested tells whether the running wait has one.
  bool RequestClose() { return reentry_.RequestClose(); }
  bool CloseRequested() const { return reentry_.CloseRequested(); }
  // An acquisition, source selection or profile lookup is under way.
  bool OperationRunning() const { return reentry_.OperationRunning(); }

  // Capability negotiation; the setters need state 4 exactly.
  bool SetCapOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 item);
  bool SetPixelType(TW_UINT16 pixelType);
  bool SetXResolution(std::int32_t dpi);
  bool SetYResolution(std::int32_t dpi);
  bool SetResolution(std::int32_t dpi);
  bool SetContrast(std::int32_t contrast);
  std::int32_t MapBrightness(std::int32_t brightness);
  bool SetBrightness(std::int32_t pixelType, std::int32_t brightness);
  bool SetImageLayout(const ScanFrame &frame);
  bool SetImageLayout(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
  // State 4 or more; out holds at least TwainItemSize(itemType) bytes.
  bool GetCapCurrent(TW_UINT16 cap, TW_UINT16 itemType, void *out);

  // Acquisition (twain/acquire.cpp): the page, a packed DIB in a movable
  // global block, handed to the caller's owner, or empty. A bitmap handle
  // from the source is turned into such a block; anything else that is not
  // a usable packed DIB is given back and counts as a failed scan. Empty,
  // doing nothing, while another operation of this session is running.
  [[nodiscard]] GlobalBlock AcquirePage(std::int32_t pixelType, std::uint32_t resolution,
                                        std::uintptr_t frame, std::int32_t brightness,
                                        std::int32_t contrast, bool showUI);
  // The same; outcome tells a failure from a cancel when no page came.
  [[nodiscard]] GlobalBlock AcquirePage(std::int32_t pixelType, std::uint32_t resolution,
                                        std::uintptr_t frame, std::int32_t brightness,
                                        std::int32_t contrast, bool showUI,
                                        AcquireOutcome &outcome);
  // imageHandle after the wait: the value of the transfer's image, which
  // stays the session's (TakeImage).
  HGLOBAL AcquireImage(bool showUI);
  void WaitForTransfer();

  // Capability profile (twain/profile_cache.cpp). GetScannerProfile gives
  // false while another operation of this session is running.
  bool GetScannerProfile(std::uint32_t wantedId, ScannerProfile &profile);
  void LookupScannerProfile(ScannerProfile &profile);
  void QueryControllableUI(ScannerProfile &profile);
  void QueryPixelTypes(ScannerProfile &profile);
  void QueryUnits(ScannerProfile &profile);
  void QueryNativeResolutionAndSize(ScannerProfile &profile);
  void QueryResolution(ScannerProfile &profile);

  // Fields, in the protocol's order of use.
  bool available;
  TW_IDENTITY appIdentity;
  SessionState state;
  DSMENTRYPROC dsmEntry;
  UniqueModule dsmModule;
  HWND ownerWindow;
  UniqueWindow proxyWindow;
  std::uint32_t scannerId;
  TW_IDENTITY sourceIdentity;
  TW_USERINTERFACE userInterface;
  bool transferDone;
  TW_PENDINGXFERS pendingTransfers;
  TW_IMAGEINFO imageInfo;
  // The value of the image handle the last completed transfer delivered; the
  // session never frees what it names (the image itself is owned, below).
  HGLOBAL imageHandle;
  BOOL ownerWasEnabled;

private:
  // Brings the session back to rest when the scope ends, on every road out
  // of an operation.
  class [[nodiscard]] RestAtEnd {
  public:
    explicit RestAtEnd(ScannerSession &session) : session_(session) {}
    ~RestAtEnd() { session_.ReturnToRest(); }
    RestAtEnd(const RestAtEnd &) = delete;
    RestAtEnd &operator=(const RestAtEnd &) = delete;

  private:
    ScannerSession &session_;
  };
  // The last resort of ReturnToRest.
  void ReloadManager();
  // The operation guard, the busy window's nesting and the proxy window's
  // close request: the session pumps messages inside its operations, so a
  // queued click could otherwise start a second one on top of the first.
  ReentryGuard reentry_;
  // The image of the last completed transfer, until taken.
  TransferredImage transferred_;
  // SelectSource without the operation check: also a step of OpenSource.
  std::uint32_t SelectSourceNow(std::uint32_t wantedId, bool userSelect);
  std::wstring managerFile_;
  // The full path the manager library was loaded from.
  std::wstring managerPath_;
  // Return codes an acquisition keeps to tell a failure from a cancel
  // (kNoCall until the call is made).
  TW_UINT16 lastReturnCode_ = kNoCall;
  TW_UINT16 enableReturnCode_ = kNoCall;
  TW_UINT16 transferReturnCode_ = kNoCall;

  void Construct(HWND owner, DSMENTRYPROC managerEntry, bool entryGiven);
  bool Call(bool toSource, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  // Asks the open source for a capability's container (MSG_GET or
  // MSG_GETCURRENT) and lets read see its kind and bytes; false when the call
  // failed or the container could not be read. Whatever came back is freed.
  using ContainerReader =
      std::function<void(TW_UINT16 conType, const std::uint8_t *bytes, std::size_t size)>;
  bool ReadSourceContainer(TW_UINT16 msg, TW_UINT16 cap, TW_UINT16 conType,
                           const ContainerReader &read);
  // Walks the open manager's source list until match accepts an identity
  // (left in identity); false at the end of the list.
  bool FindListedSource(const std::function<bool(const TW_IDENTITY &)> &match,
                        TW_IDENTITY &identity);
};

// Registers "ZVTWAIN_Proxy_Window" once per process.
void RegisterProxyWindowClass();
LRESULT CALLBACK ProxyWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The proxy window's caption for a thread locale: Chinese, German or English.
const wchar_t *ProxyWindowCaption(LCID locale);

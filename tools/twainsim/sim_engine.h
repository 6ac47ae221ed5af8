// A simulated TWAIN source manager with its sources, answering DSM_Entry
// calls from a SimConfig. It keeps the TWAIN states of the manager and of the
// open source, records every call, hands out containers and images in global
// memory like a real source, and keeps account of them so that leaks show.
//
// Notifications (MSG_XFERREADY, MSG_CLOSEDSREQ) travel through the thread's
// message queue: a message posted, or a timer armed, on the window the
// application gave as parent. MSG_PROCESSEVENT recognises them.
//
// The engine is single-threaded, like the application side it talks to.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tools/twainsim/sim_config.h"
#include "tools/twainsim/sim_record.h"

namespace twainsim {

// One DSM_Entry call as the engine saw and answered it.
struct SimCall {
  bool toSource = false;
  TW_UINT32 originId = 0;
  TW_UINT32 destinationId = 0;
  TW_UINT32 dg = 0;
  TW_UINT16 dat = 0;
  TW_UINT16 msg = 0;
  TW_UINT16 rc = TWRC_FAILURE; // the answer
  TW_UINT16 conditionCode = TWCC_SUCCESS;
  // DAT_CAPABILITY: the capability. MSG_SET: the container the application
  // sent (ConType, and for a one value its item type and item). MSG_GET and
  // MSG_GETCURRENT: the ConType returned.
  TW_UINT16 cap = 0;
  TW_UINT16 conType = 0;
  TW_UINT16 itemType = 0;
  TW_UINT32 item = 0;
  TW_FRAME frame = {};            // DAT_IMAGELAYOUT MSG_SET
  TW_UINT16 eventMessage = 0;     // DAT_EVENT: the TWMessage returned
  TW_UINT16 count = 0;            // DAT_PENDINGXFERS: the Count returned
  TW_UINT16 showUI = 0;           // DAT_USERINTERFACE
  HWND window = nullptr;          // DAT_PARENT: the window; DAT_USERINTERFACE: hParent
  TW_HANDLE handle = nullptr;     // container or image handed out, if any
  std::string productName;        // DAT_IDENTITY: the identity passed or returned
  // The call in the form every recorder of the project writes
  // (tools/twainsim/sim_record.h), the same as the virtual scanner's trace.
  CallRecord record;

  // "DSM OPENDSM", "DS SET ICAP_XRESOLUTION", "DS IMAGELAYOUT SET",
  // "DS ENABLEDS", "DS IMAGENATIVEXFER GET", ...
  std::string Name() const;
};

// The values a source holds for what the application may set.
struct SimSettings {
  TW_UINT16 pixelType = TWPT_BW;
  double xResolution = 0;
  double yResolution = 0;
  double brightness = 0;
  double contrast = 0;
  double threshold = 128;
  bool frameSet = false;
  TW_FRAME frame = {};
};

class SimEngine {
public:
  explicit SimEngine(SimConfig config);
  ~SimEngine();
  SimEngine(const SimEngine &) = delete;
  SimEngine &operator=(const SimEngine &) = delete;

  // The DSM_Entry of the manager and its sources.
  TW_UINT16 Entry(TW_IDENTITY *origin, TW_IDENTITY *destination, TW_UINT32 dg, TW_UINT16 dat,
                  TW_UINT16 msg, TW_MEMREF data);

  SimConfig &Config() { return config_; }
  // Replaces the rules, each counted afresh (Config().rules keeps the
  // counts of the rules it replaces).
  void SetRules(std::vector<SimRule> rules) {
    config_.rules = std::move(rules);
    ruleUses_.clear();
  }
  const std::vector<SimCall> &Calls() const { return calls_; }
  // Names of the recorded calls; MSG_PROCESSEVENT calls about messages that
  // were not the source's are left out unless asked for.
  std::vector<std::string> CallNames(bool withForeignEvents = false) const;
  // The recorded calls as records, every MSG_PROCESSEVENT included.
  std::vector<CallRecord> Records() const;
  void ClearCalls() { calls_.clear(); }
  // Calls made in a TWAIN state that does not allow them (answered
  // TWRC_FAILURE / TWCC_SEQERROR).
  int SequenceErrors() const { return sequenceErrors_; }

  // TWAIN state as the engine sees it: 2 or 3 for the manager, 4 to 7 for
  // the open source (3 when none is open).
  int ManagerState() const { return managerOpen_ ? 3 : 2; }
  int SourceState() const { return openSource_ < 0 ? 3 : sourceState_; }
  int OpenSourceIndex() const { return openSource_; }
  // The settings of a source (index into the configuration) as the
  // application left them. Each MSG_OPENDS starts again from the
  // configured capabilities.
  const SimSettings &Settings(int sourceIndex = 0) const;
  // The open source's capabilities as changed by MSG_SET.
  const std::vector<SimCapability> &OpenCapabilities() const { return caps_; }
  HWND ParentWindow() const { return parent_; }

  // Memory accounting. Containers the source handed to the application and
  // the application has not freed; containers the application sent with
  // MSG_SET and did not free; images handed out and not freed. Freed blocks
  // are recognised through GlobalFlags / GlobalSize; a handle value the
  // engine sees again for a new block counts as freed before.
  std::size_t LiveContainers() const;
  std::size_t LiveApplicationContainers() const;
  std::size_t LiveImages() const;
  std::size_t ContainersHandedOut() const { return containers_.size(); }
  std::size_t ImagesHandedOut() const { return images_.size(); }
  std::size_t ApplicationContainersSeen() const { return appContainers_.size(); }

  // Exact accounting, while FreeLedger::Process() watches the program (see
  // sim_ledger.h): of the containers and images this engine's sources handed
  // out, and the containers the application sent, those it has not given
  // back, and the frees beyond the first of any of them.
  std::size_t NotFreed() const;
  std::size_t FreedTwice() const;

  // The window message the engine posts for a notification.
  static UINT NotifyMessage();

private:
  // A call the current state does not allow: counted, and refused.
  TW_UINT16 SequenceError(SimCall &call);
  TW_UINT16 Manager(SimCall &call, TW_IDENTITY *origin, TW_UINT16 dat, TW_UINT16 msg,
                    TW_MEMREF data);
  TW_UINT16 Source(SimCall &call, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 Capability(SimCall &call, TW_UINT16 msg, TW_CAPABILITY *capability);
  TW_UINT16 SetCapability(SimCall &call, SimCapability &cap, TW_CAPABILITY *capability);
  TW_UINT16 ProcessEvent(SimCall &call, TW_EVENT *event);
  TW_UINT16 NativeTransfer(SimCall &call, TW_HANDLE *handle);
  void FillImageInfo(TW_IMAGEINFO *info) const;
  void Notify();
  void StopNotification();
  const SimRule *MatchRule(bool toSource, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                           TW_UINT16 cap);
  SimCapability *FindCap(TW_UINT16 cap);
  SimImageRequest ImageRequest() const;
  int FindSource(const TW_IDENTITY &identity) const;
  TW_IDENTITY ListedIdentity(int index) const;
  void SyncSettings();
  struct Tracked {
    TW_HANDLE handle;
    bool superseded;
    std::size_t record; // in the FreeLedger
  };
  enum class TrackAs { Handed, HandedGdiObject, Sent };
  void Track(std::vector<Tracked> &list, TW_HANDLE handle, TrackAs as);
  // The image a transfer hands over, as the behaviour says (a global block
  // or a DIB section); null when the provider made none.
  TW_HANDLE MakeImage(const SimBehaviour &behaviour);
  void QueueNotification(TW_UINT16 message);
  static std::size_t CountLive(const std::vector<Tracked> &list);

  SimConfig config_;
  std::vector<SimCall> calls_;
  std::vector<SimSettings> settings_;
  std::vector<SimCapability> caps_;
  SimSettings &Current();
  int sequenceErrors_ = 0;
  bool managerOpen_ = false;
  TW_UINT32 applicationId_ = 0;
  HWND parent_ = nullptr;
  int listCursor_ = 0;
  int openSource_ = -1;
  int sourceState_ = 3;
  HWND notifyWindow_ = nullptr;
  bool timerArmed_ = false;
  UINT_PTR timerId_ = 0;
  WPARAM notifyGeneration_ = 0;
  // Notifications raised and not yet taken by MSG_PROCESSEVENT, in order;
  // each has its posted message (or, for the first of a delayed one, the
  // timer).
  std::vector<TW_UINT16> queued_;
  int lateLeft_ = 0;
  std::size_t transfersAsked_ = 0;
  int imagesLeft_ = 0;
  int imagesTaken_ = 0;
  std::size_t endXferCalls_ = 0;
  std::vector<int> ruleUses_;
  std::vector<Tracked> containers_;
  std::vector<Tracked> appContainers_;
  std::vector<Tracked> images_;
};

// Whether a global handle still names an allocated block.
bool IsLiveGlobal(TW_HANDLE handle);

// The process-wide engine behind SimDsmEntry (null: every call fails).
void InstallEngine(SimEngine *engine);
SimEngine *InstalledEngine();
TW_UINT16 TW_CALLINGSTYLE SimDsmEntry(TW_IDENTITY *origin, TW_IDENTITY *destination, TW_UINT32 dg,
                                      TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

// The built-in chart: a packed DIB of the request's size (capped at
// maxSide pixels per side) and pixel type, with a border and a grey ramp.
TW_HANDLE MakeChartDib(const SimImageRequest &request, int maxSide);
// Applies the header faults of a behaviour to a delivered DIB in place.
void ApplyImageFaults(TW_HANDLE dib, const SimBehaviour &behaviour);
// The picture of a packed DIB as a top-down 24-bit DIB section with no
// resolution of its own, as Wine's gphoto2.ds hands its images; null when
// the DIB cannot be read. The DIB itself stays.
HBITMAP DibSectionFromDib(TW_HANDLE dib);

// Names for the recorded calls and for messages.
std::string DatName(TW_UINT16 dat);
std::string MsgName(TW_UINT16 msg);
std::string CapName(TW_UINT16 cap);

} // namespace twainsim

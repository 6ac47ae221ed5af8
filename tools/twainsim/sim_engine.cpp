#include "tools/twainsim/sim_engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tools/twainsim/sim_ledger.h"

namespace twainsim {

namespace {

constexpr UINT_PTR kNotifyTimerId = 0x5a51;
constexpr TW_UINT32 kFirstSourceId = 101;

SimEngine *g_engine = nullptr;

// Item sizes of the TWTY types, kept here rather than taken from the
// program so that the double does not share the program's mistakes.
std::size_t ItemSize(TW_UINT16 itemType) {
  static const std::size_t sizes[] = {1, 2, 4, 1, 2, 4, 2, 4, 16, 34, 66, 130, 256};
  return itemType < sizeof sizes / sizeof sizes[0] ? sizes[itemType] : 4;
}

void PutU16(std::vector<std::uint8_t> &b, std::size_t at, std::uint16_t v) {
  b[at] = std::uint8_t(v);
  b[at + 1] = std::uint8_t(v >> 8);
}

void PutU32(std::vector<std::uint8_t> &b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b[at + i] = std::uint8_t(v >> (8 * i));
}

void PutItem(std::vector<std::uint8_t> &b, std::size_t at, TW_UINT16 itemType, TW_UINT32 v) {
  const std::size_t n = std::min<std::size_t>(ItemSize(itemType), 4);
  for (std::size_t i = 0; i < n; ++i)
    b[at + i] = std::uint8_t(v >> (8 * i));
}

double NumericOf(TW_UINT16 itemType, TW_UINT32 bits) {
  switch (itemType) {
  case TWTY_INT8:
    return std::int8_t(bits & 0xff);
  case TWTY_INT16:
    return std::int16_t(bits & 0xffff);
  case TWTY_INT32:
    return std::int32_t(bits);
  case TWTY_UINT8:
    return bits & 0xff;
  case TWTY_UINT16:
  case TWTY_BOOL:
    return bits & 0xffff;
  case TWTY_FIX32:
    return double(std::int16_t(bits & 0xffff)) + double(bits >> 16) / 65536.0;
  default:
    return bits;
  }
}

TW_UINT32 BitsOf(TW_UINT16 itemType, double v) {
  if (itemType == TWTY_FIX32)
    return Fix32Bits(v);
  return TW_UINT32(std::int64_t(std::llround(v)));
}

bool SuccessLike(TW_UINT16 rc) {
  return rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS || rc == TWRC_XFERDONE ||
         rc == TWRC_DSEVENT;
}

std::vector<std::uint8_t> OneValueBytes(TW_UINT16 itemType, TW_UINT32 value) {
  std::vector<std::uint8_t> b(2 + std::max<std::size_t>(4, ItemSize(itemType)), 0);
  PutU16(b, 0, itemType);
  PutItem(b, 2, itemType, value);
  return b;
}

// The item an enumeration holds at index (0 past its end), the given range
// value, or anything else's first item.
TW_UINT32 ItemBits(const SimCapability &c, TW_UINT32 index, TW_UINT32 rangeValue) {
  switch (c.conType) {
  case TWON_ENUMERATION:
    return index < c.values.size() ? c.values[index] : 0;
  case TWON_RANGE:
    return rangeValue;
  default:
    return c.values.empty() ? 0 : c.values[0];
  }
}

TW_UINT32 CurrentBits(const SimCapability &c) {
  return ItemBits(c, c.currentIndex, c.rangeCurrent);
}

TW_UINT32 DefaultBits(const SimCapability &c) {
  return ItemBits(c, c.defaultIndex, c.rangeDefault);
}

// The container a source returns for MSG_GET (full) or MSG_GETCURRENT /
// MSG_GETDEFAULT (one value, unless the capability says otherwise).
std::vector<std::uint8_t> ContainerBytes(const SimCapability &c, TW_UINT16 msg,
                                         TW_UINT16 *conType) {
  if (!c.rawContainer.empty()) {
    *conType = c.rawConType;
    return c.rawContainer;
  }
  if (msg != MSG_GET && c.currentAsOneValue && c.conType != TWON_ARRAY) {
    *conType = TWON_ONEVALUE;
    return OneValueBytes(c.itemType, msg == MSG_GETDEFAULT ? DefaultBits(c) : CurrentBits(c));
  }
  *conType = c.conType;
  const std::size_t n = ItemSize(c.itemType);
  switch (c.conType) {
  case TWON_ENUMERATION: {
    std::vector<std::uint8_t> b(14 + n * c.values.size(), 0);
    PutU16(b, 0, c.itemType);
    PutU32(b, 2, TW_UINT32(c.values.size()));
    PutU32(b, 6, c.currentIndex);
    PutU32(b, 10, c.defaultIndex);
    for (std::size_t i = 0; i < c.values.size(); ++i)
      PutItem(b, 14 + i * n, c.itemType, c.values[i]);
    return b;
  }
  case TWON_ARRAY: {
    std::vector<std::uint8_t> b(6 + n * c.values.size(), 0);
    PutU16(b, 0, c.itemType);
    PutU32(b, 2, TW_UINT32(c.values.size()));
    for (std::size_t i = 0; i < c.values.size(); ++i)
      PutItem(b, 6 + i * n, c.itemType, c.values[i]);
    return b;
  }
  case TWON_RANGE: {
    std::vector<std::uint8_t> b(22, 0);
    PutU16(b, 0, c.itemType);
    PutU32(b, 2, c.rangeMin);
    PutU32(b, 6, c.rangeMax);
    PutU32(b, 10, c.rangeStep);
    PutU32(b, 14, c.rangeDefault);
    PutU32(b, 18, c.rangeCurrent);
    return b;
  }
  default:
    return OneValueBytes(c.itemType, CurrentBits(c));
  }
}

TW_HANDLE CopyToGlobal(const std::vector<std::uint8_t> &bytes) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, std::max<std::size_t>(bytes.size(), 1));
  if (h == nullptr)
    return nullptr;
  if (void *p = GlobalLock(h)) {
    if (!bytes.empty())
      std::memcpy(p, bytes.data(), bytes.size());
    GlobalUnlock(h);
    return h;
  }
  GlobalFree(h);
  return nullptr;
}

double Fix32Value(TW_FIX32 f) { return double(f.Whole) + double(f.Frac) / 65536.0; }

TW_FIX32 Fix32Of(double v) {
  const TW_UINT32 bits = Fix32Bits(v);
  TW_FIX32 f;
  f.Whole = TW_INT16(bits & 0xffff);
  f.Frac = TW_UINT16(bits >> 16);
  return f;
}

std::string TextOf(const char (&field)[34]) {
  return std::string(field, strnlen(field, sizeof field));
}

} // namespace

bool IsLiveGlobal(TW_HANDLE handle) {
  if (handle == nullptr)
    return false;
  return GlobalFlags(handle) != GMEM_INVALID_HANDLE && GlobalSize(handle) != 0;
}

const SimSettings &SimEngine::Settings(int sourceIndex) const {
  static const SimSettings none;
  if (sourceIndex < 0 || std::size_t(sourceIndex) >= settings_.size())
    return none;
  return settings_[std::size_t(sourceIndex)];
}

SimSettings &SimEngine::Current() {
  const std::size_t index = std::size_t(std::max(openSource_, 0));
  if (settings_.size() <= index)
    settings_.resize(index + 1);
  return settings_[index];
}

UINT SimEngine::NotifyMessage() {
  static const UINT message = RegisterWindowMessageW(L"ZVTWAINSIM_Notify");
  return message;
}

SimEngine::SimEngine(SimConfig config) : config_(std::move(config)) {}

SimEngine::~SimEngine() {
  StopNotification();
  if (g_engine == this)
    g_engine = nullptr;
}

void SimEngine::Track(std::vector<Tracked> &list, TW_HANDLE handle, TrackAs as) {
  // A handle value seen again names a new block: the old one was freed.
  for (auto *l : {&containers_, &appContainers_, &images_})
    for (Tracked &t : *l)
      if (t.handle == handle)
        t.superseded = true;
  FreeLedger &ledger = FreeLedger::Process();
  std::size_t record = FreeLedger::kNoRecord;
  if (as == TrackAs::Sent)
    record = ledger.LiveRecordOf(handle);
  else
    record = ledger.HandOut(handle, as == TrackAs::HandedGdiObject ? LedgerKind::HandedGdiObject
                                                               : LedgerKind::HandedBlock);
  list.push_back({handle, false, record});
}

std::size_t SimEngine::CountLive(const std::vector<Tracked> &list) {
  std::size_t n = 0;
  for (const Tracked &t : list)
    // A GDI object handed out lives until it is deleted; no global-memory
    // call may be asked about it.
    if (!t.superseded && (GetObjectType(t.handle) != 0 || IsLiveGlobal(t.handle)))
      ++n;
  return n;
}

std::size_t SimEngine::LiveContainers() const { return CountLive(containers_); }
std::size_t SimEngine::LiveApplicationContainers() const { return CountLive(appContainers_); }
std::size_t SimEngine::LiveImages() const { return CountLive(images_); }

std::size_t SimEngine::NotFreed() const {
  const FreeLedger &ledger = FreeLedger::Process();
  std::size_t n = 0;
  for (const auto *l : {&containers_, &appContainers_, &images_})
    for (const Tracked &t : *l)
      if (ledger.Frees(t.record) == 0)
        ++n;
  return n;
}

std::size_t SimEngine::FreedTwice() const {
  const FreeLedger &ledger = FreeLedger::Process();
  std::size_t n = 0;
  for (const auto *l : {&containers_, &appContainers_, &images_})
    for (const Tracked &t : *l)
      if (ledger.Frees(t.record) > 1)
        n += std::size_t(ledger.Frees(t.record) - 1);
  return n;
}

std::vector<std::string> SimEngine::CallNames(bool withForeignEvents) const {
  std::vector<std::string> names;
  for (const SimCall &c : calls_) {
    if (!withForeignEvents && c.dat == DAT_EVENT && c.rc != TWRC_DSEVENT)
      continue;
    names.push_back(c.Name());
  }
  return names;
}

std::vector<CallRecord> SimEngine::Records() const {
  std::vector<CallRecord> records;
  for (const SimCall &c : calls_)
    records.push_back(c.record);
  return records;
}

const SimRule *SimEngine::MatchRule(bool toSource, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                    TW_UINT16 cap) {
  ruleUses_.resize(config_.rules.size(), 0);
  for (std::size_t i = 0; i < config_.rules.size(); ++i) {
    const SimRule &r = config_.rules[i];
    if (r.toSource != toSource || r.dg != dg || r.dat != dat || r.msg != msg)
      continue;
    if (r.cap != kAnyCap && r.cap != cap)
      continue;
    if (r.times >= 0 && ruleUses_[i] >= r.times)
      continue;
    ++ruleUses_[i];
    return &r;
  }
  return nullptr;
}

TW_UINT16 SimEngine::Entry(TW_IDENTITY *origin, TW_IDENTITY *destination, TW_UINT32 dg,
                           TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  SimCall call;
  call.toSource = destination != nullptr;
  call.originId = origin != nullptr ? origin->Id : 0;
  call.destinationId = destination != nullptr ? destination->Id : 0;
  call.dg = dg;
  call.dat = dat;
  call.msg = msg;

  // What the application sent, recorded whatever the answer.
  if (data != nullptr) {
    if (dat == DAT_CAPABILITY) {
      auto *capability = static_cast<TW_CAPABILITY *>(data);
      call.cap = capability->Cap;
      if (msg == MSG_SET) {
        call.conType = capability->ConType;
        if (capability->hContainer != nullptr) {
          Track(appContainers_, capability->hContainer, TrackAs::Sent);
          const SIZE_T size = GlobalSize(capability->hContainer);
          if (const auto *p = static_cast<const std::uint8_t *>(GlobalLock(capability->hContainer))) {
            if (size >= 2)
              std::memcpy(&call.itemType, p, 2);
            if (size >= 6)
              std::memcpy(&call.item, p + 2, 4);
            GlobalUnlock(capability->hContainer);
          }
        }
      }
    } else if (dat == DAT_IMAGELAYOUT && msg == MSG_SET) {
      call.frame = static_cast<TW_IMAGELAYOUT *>(data)->Frame;
    } else if (dat == DAT_USERINTERFACE) {
      auto *ui = static_cast<TW_USERINTERFACE *>(data);
      call.showUI = ui->ShowUI;
      call.window = static_cast<HWND>(ui->hParent);
    } else if (dat == DAT_PARENT) {
      call.window = *static_cast<HWND *>(data);
    } else if (dat == DAT_IDENTITY && (msg == MSG_OPENDS || msg == MSG_CLOSEDS)) {
      call.productName = TextOf(static_cast<TW_IDENTITY *>(data)->ProductName);
    }
  }

  TW_UINT16 rc;
  const SimRule *rule = MatchRule(call.toSource, dg, dat, msg, call.cap);
  if (rule != nullptr && !SuccessLike(rule->rc)) {
    // A refusal: the call has no effect.
    rc = rule->rc;
    if (dat == DAT_EVENT && data != nullptr)
      static_cast<TW_EVENT *>(data)->TWMessage = MSG_NULL;
  } else {
    rc = call.toSource ? Source(call, dg, dat, msg, data) : Manager(call, origin, dat, msg, data);
    if (rule != nullptr)
      rc = rule->rc;
  }
  call.rc = rc;
  call.record = RecordTwainCall(dg, dat, msg, data, rc);
  calls_.push_back(call);
  return rc;
}

TW_IDENTITY SimEngine::ListedIdentity(int index) const {
  TW_IDENTITY id = config_.sources[std::size_t(index)].identity;
  if (id.Id == 0)
    id.Id = kFirstSourceId + TW_UINT32(index);
  return id;
}

int SimEngine::FindSource(const TW_IDENTITY &identity) const {
  const int count = int(config_.sources.size());
  if (identity.Id != 0) {
    for (int i = 0; i < count; ++i)
      if (ListedIdentity(i).Id == identity.Id)
        return i;
  }
  if (identity.ProductName[0] != 0) {
    for (int i = 0; i < count; ++i)
      if (std::strncmp(ListedIdentity(i).ProductName, identity.ProductName, 34) == 0)
        return i;
    return -1;
  }
  if (identity.Id != 0)
    return -1;
  return config_.defaultSource >= 0 && config_.defaultSource < count ? config_.defaultSource : -1;
}

TW_UINT16 SimEngine::SequenceError(SimCall &call) {
  ++sequenceErrors_;
  call.conditionCode = TWCC_SEQERROR;
  return TWRC_FAILURE;
}

TW_UINT16 SimEngine::Manager(SimCall &call, TW_IDENTITY *origin, TW_UINT16 dat, TW_UINT16 msg,
                             TW_MEMREF data) {
  if (call.dg != DG_CONTROL || data == nullptr) {
    call.conditionCode = TWCC_BADPROTOCOL;
    return TWRC_FAILURE;
  }
  if (dat == DAT_PARENT) {
    if (msg == MSG_OPENDSM) {
      if (managerOpen_)
        return SequenceError(call);
      if (config_.openDsmRc != TWRC_SUCCESS)
        return config_.openDsmRc;
      managerOpen_ = true;
      parent_ = call.window;
      if (origin != nullptr && origin->Id == 0)
        origin->Id = 1;
      applicationId_ = origin != nullptr ? origin->Id : 1;
      return TWRC_SUCCESS;
    }
    if (msg == MSG_CLOSEDSM) {
      if (!managerOpen_)
        return SequenceError(call);
      if (openSource_ >= 0) {
        if (!config_.closeDsmClosesSources)
          return SequenceError(call);
        // Like the real managers: the source the application left open is
        // shut down with the manager, whatever state it was in.
        ++sequenceErrors_;
        StopNotification();
        openSource_ = -1;
        sourceState_ = 3;
      }
      managerOpen_ = false;
      return TWRC_SUCCESS;
    }
  }
  if (dat == DAT_STATUS && msg == MSG_GET) {
    static_cast<TW_STATUS *>(data)->ConditionCode = TWCC_SUCCESS;
    return TWRC_SUCCESS;
  }
  if (dat != DAT_IDENTITY) {
    call.conditionCode = TWCC_BADPROTOCOL;
    return TWRC_FAILURE;
  }
  if (!managerOpen_)
    return SequenceError(call);
  auto *identity = static_cast<TW_IDENTITY *>(data);
  const int count = int(config_.sources.size());
  // The application gets a source's identity as listed; the record keeps
  // its name.
  auto handOut = [&](int index) {
    *identity = ListedIdentity(index);
    call.productName = TextOf(identity->ProductName);
    return TW_UINT16(TWRC_SUCCESS);
  };
  switch (msg) {
  case MSG_GETFIRST:
    listCursor_ = 0;
    [[fallthrough]];
  case MSG_GETNEXT:
    if (listCursor_ >= count)
      return TWRC_ENDOFLIST;
    return handOut(listCursor_++);
  case MSG_GETDEFAULT:
    if (config_.defaultSource < 0 || config_.defaultSource >= count) {
      call.conditionCode = TWCC_NODS;
      return TWRC_FAILURE;
    }
    return handOut(config_.defaultSource);
  case MSG_USERSELECT:
    if (config_.userSelect < 0 || config_.userSelect >= count)
      return TWRC_CANCEL;
    return handOut(config_.userSelect);
  case MSG_OPENDS: {
    if (openSource_ >= 0)
      return SequenceError(call);
    const int index = FindSource(*identity);
    if (index < 0) {
      call.conditionCode = TWCC_NODS;
      return TWRC_FAILURE;
    }
    const TW_UINT16 rc = config_.sources[std::size_t(index)].behaviour.openRc;
    if (rc != TWRC_SUCCESS)
      return rc;
    handOut(index);
    openSource_ = index;
    sourceState_ = 4;
    caps_ = config_.sources[std::size_t(index)].capabilities;
    Current() = SimSettings();
    SyncSettings();
    return TWRC_SUCCESS;
  }
  case MSG_CLOSEDS:
    if (openSource_ < 0 || sourceState_ != 4 || identity->Id != ListedIdentity(openSource_).Id)
      return SequenceError(call);
    StopNotification();
    openSource_ = -1;
    sourceState_ = 3;
    return TWRC_SUCCESS;
  default:
    call.conditionCode = TWCC_BADPROTOCOL;
    return TWRC_FAILURE;
  }
}

SimCapability *SimEngine::FindCap(TW_UINT16 cap) {
  for (SimCapability &c : caps_)
    if (c.cap == cap)
      return &c;
  return nullptr;
}

void SimEngine::SyncSettings() {
  if (const SimCapability *c = FindCap(ICAP_PIXELTYPE))
    Current().pixelType = TW_UINT16(CurrentBits(*c));
  if (const SimCapability *c = FindCap(ICAP_XRESOLUTION))
    Current().xResolution = NumericOf(c->itemType, CurrentBits(*c));
  if (const SimCapability *c = FindCap(ICAP_YRESOLUTION))
    Current().yResolution = NumericOf(c->itemType, CurrentBits(*c));
  else
    Current().yResolution = Current().xResolution;
  if (const SimCapability *c = FindCap(ICAP_BRIGHTNESS))
    Current().brightness = NumericOf(c->itemType, CurrentBits(*c));
  if (const SimCapability *c = FindCap(ICAP_CONTRAST))
    Current().contrast = NumericOf(c->itemType, CurrentBits(*c));
  if (const SimCapability *c = FindCap(ICAP_THRESHOLD))
    Current().threshold = NumericOf(c->itemType, CurrentBits(*c));
}

TW_UINT16 SimEngine::Source(SimCall &call, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                            TW_MEMREF data) {
  if (openSource_ < 0 || call.destinationId != ListedIdentity(openSource_).Id) {
    ++sequenceErrors_;
    call.conditionCode = TWCC_BADDEST;
    return TWRC_FAILURE;
  }
  if (data == nullptr) {
    call.conditionCode = TWCC_BADVALUE;
    return TWRC_FAILURE;
  }
  const SimBehaviour &behaviour = config_.sources[std::size_t(openSource_)].behaviour;

  if (dg == DG_CONTROL) {
    switch (dat) {
    case DAT_CAPABILITY:
      return Capability(call, msg, static_cast<TW_CAPABILITY *>(data));
    case DAT_USERINTERFACE:
      if (msg == MSG_ENABLEDS) {
        if (sourceState_ != 4)
          return SequenceError(call);
        const TW_UINT16 rc = behaviour.enableRc;
        if (rc == TWRC_FAILURE || rc == TWRC_CANCEL)
          return rc;
        sourceState_ = 5;
        imagesLeft_ = behaviour.imageCount;
        imagesTaken_ = 0;
        endXferCalls_ = 0;
        lateLeft_ = behaviour.lateTransfers;
        transfersAsked_ = 0;
        auto *ui = static_cast<TW_USERINTERFACE *>(data);
        notifyWindow_ = ui->hParent != nullptr ? static_cast<HWND>(ui->hParent) : parent_;
        Notify();
        return rc;
      }
      if (msg == MSG_DISABLEDS) {
        if (sourceState_ != 5)
          return SequenceError(call);
        StopNotification();
        sourceState_ = 4;
        return TWRC_SUCCESS;
      }
      break;
    case DAT_EVENT:
      if (msg == MSG_PROCESSEVENT) {
        if (sourceState_ < 5)
          return SequenceError(call);
        return ProcessEvent(call, static_cast<TW_EVENT *>(data));
      }
      break;
    case DAT_PENDINGXFERS: {
      auto *pending = static_cast<TW_PENDINGXFERS *>(data);
      if (msg == MSG_ENDXFER) {
        if (sourceState_ != 6 && sourceState_ != 7)
          return SequenceError(call);
        if (sourceState_ == 6 && imagesLeft_ > 0)
          --imagesLeft_; // the announced image is skipped
        TW_UINT16 count;
        if (!behaviour.endXferCounts.empty())
          count = behaviour.endXferCounts[std::min(endXferCalls_, behaviour.endXferCounts.size() - 1)];
        else if (imagesLeft_ > 0 && behaviour.countUnknown)
          count = 0xffff;
        else
          count = TW_UINT16(std::max(imagesLeft_, 0));
        ++endXferCalls_;
        pending->Count = count;
        call.count = count;
        sourceState_ = count != 0 ? 6 : 5;
        if (count == 0 && lateLeft_ > 0) {
          // One more image, although none was said to be pending.
          --lateLeft_;
          QueueNotification(MSG_XFERREADY);
          PostMessageW(notifyWindow_, NotifyMessage(), notifyGeneration_, 0);
        }
        return TWRC_SUCCESS;
      }
      if (msg == MSG_RESET) {
        if (sourceState_ != 6)
          return SequenceError(call);
        imagesLeft_ = 0;
        pending->Count = 0;
        call.count = 0;
        sourceState_ = 5;
        return TWRC_SUCCESS;
      }
      break;
    }
    case DAT_STATUS:
      static_cast<TW_STATUS *>(data)->ConditionCode = TWCC_SUCCESS;
      return TWRC_SUCCESS;
    default:
      break;
    }
  } else if (dg == DG_IMAGE) {
    switch (dat) {
    case DAT_IMAGEINFO:
      if (msg != MSG_GET)
        break;
      if (sourceState_ != 6 && sourceState_ != 7)
        return SequenceError(call);
      FillImageInfo(static_cast<TW_IMAGEINFO *>(data));
      return TWRC_SUCCESS;
    case DAT_IMAGELAYOUT: {
      auto *layout = static_cast<TW_IMAGELAYOUT *>(data);
      if (msg == MSG_SET) {
        if (sourceState_ != 4)
          return SequenceError(call);
        const TW_UINT16 rc = behaviour.imageLayoutSetRc;
        if (rc == TWRC_SUCCESS) {
          Current().frame = layout->Frame;
          Current().frameSet = true;
        }
        return rc;
      }
      if (msg == MSG_GET || msg == MSG_GETCURRENT || msg == MSG_GETDEFAULT) {
        const SimImageRequest r = ImageRequest();
        layout->Frame.Left = Fix32Of(r.left);
        layout->Frame.Top = Fix32Of(r.top);
        layout->Frame.Right = Fix32Of(r.right);
        layout->Frame.Bottom = Fix32Of(r.bottom);
        layout->DocumentNumber = layout->PageNumber = layout->FrameNumber = 1;
        return TWRC_SUCCESS;
      }
      break;
    }
    case DAT_IMAGENATIVEXFER:
      if (msg != MSG_GET)
        break;
      if (sourceState_ != 6)
        return SequenceError(call);
      return NativeTransfer(call, static_cast<TW_HANDLE *>(data));
    default:
      break;
    }
  }
  call.conditionCode = TWCC_BADPROTOCOL;
  return TWRC_FAILURE;
}

TW_UINT16 SimEngine::Capability(SimCall &call, TW_UINT16 msg, TW_CAPABILITY *capability) {
  SimCapability *c = FindCap(capability->Cap);
  const bool reading = msg == MSG_GET || msg == MSG_GETCURRENT || msg == MSG_GETDEFAULT;
  if (reading) {
    if (sourceState_ < 4)
      return TWRC_FAILURE;
    capability->hContainer = nullptr;
    if (c == nullptr) {
      call.conditionCode = TWCC_BADCAP;
      return TWRC_FAILURE;
    }
    if (c->getRc != TWRC_SUCCESS && !c->failureWithContainer) {
      call.conditionCode = TWCC_BUMMER;
      return c->getRc;
    }
    TW_UINT16 conType = TWON_ONEVALUE;
    const std::vector<std::uint8_t> bytes = ContainerBytes(*c, msg, &conType);
    TW_HANDLE h = CopyToGlobal(bytes);
    if (h == nullptr) {
      call.conditionCode = TWCC_LOWMEMORY;
      return TWRC_FAILURE;
    }
    Track(containers_, h, TrackAs::Handed);
    capability->ConType = conType;
    capability->hContainer = h;
    call.conType = conType;
    call.handle = h;
    return c->getRc;
  }
  if (msg == MSG_SET) {
    if (sourceState_ != 4)
      return SequenceError(call);
    if (c == nullptr) {
      call.conditionCode = TWCC_BADCAP;
      return TWRC_FAILURE;
    }
    return SetCapability(call, *c, capability);
  }
  call.conditionCode = TWCC_BADPROTOCOL;
  return TWRC_FAILURE;
}

TW_UINT16 SimEngine::SetCapability(SimCall &call, SimCapability &c, TW_CAPABILITY *capability) {
  if (c.setRc != TWRC_SUCCESS && c.setRc != TWRC_CHECKSTATUS)
    return c.setRc;
  if (capability->hContainer == nullptr || capability->ConType != TWON_ONEVALUE ||
      GlobalSize(capability->hContainer) < sizeof(TW_ONEVALUE)) {
    call.conditionCode = TWCC_BADVALUE;
    return TWRC_FAILURE;
  }
  if (c.setRc == TWRC_CHECKSTATUS)
    return TWRC_CHECKSTATUS; // keeps its own value
  const double wanted = NumericOf(call.itemType, call.item);
  TW_UINT16 rc = TWRC_SUCCESS;
  switch (c.conType) {
  case TWON_ENUMERATION: {
    if (c.values.empty())
      return TWRC_FAILURE;
    std::size_t best = 0;
    double bestDistance = -1;
    for (std::size_t i = 0; i < c.values.size(); ++i) {
      const double d = std::fabs(NumericOf(c.itemType, c.values[i]) - wanted);
      if (bestDistance < 0 || d < bestDistance) {
        best = i;
        bestDistance = d;
      }
    }
    c.currentIndex = TW_UINT32(best);
    if (bestDistance != 0)
      rc = TWRC_CHECKSTATUS;
    break;
  }
  case TWON_RANGE: {
    const double min = NumericOf(c.itemType, c.rangeMin);
    const double max = NumericOf(c.itemType, c.rangeMax);
    const double v = std::min(std::max(wanted, min), max);
    c.rangeCurrent = BitsOf(c.itemType, v);
    if (v != wanted)
      rc = TWRC_CHECKSTATUS;
    break;
  }
  case TWON_ONEVALUE:
    if (c.values.empty())
      c.values.push_back(0);
    c.values[0] = BitsOf(c.itemType, wanted);
    break;
  default:
    break;
  }
  SyncSettings();
  return rc;
}

void SimEngine::QueueNotification(TW_UINT16 message) { queued_.push_back(message); }

void SimEngine::Notify() {
  const SimBehaviour &behaviour = config_.sources[std::size_t(openSource_)].behaviour;
  StopNotification();
  if (behaviour.outcome == SimOutcome::Silent)
    return;
  const TW_UINT16 message =
      behaviour.outcome == SimOutcome::Deliver ? MSG_XFERREADY : MSG_CLOSEDSREQ;
  for (int i = 0; i < std::max(1, behaviour.notifyTimes); ++i)
    QueueNotification(message);
  if (message == MSG_XFERREADY && behaviour.closeRequestWithTransfer)
    QueueNotification(MSG_CLOSEDSREQ);
  if (behaviour.notifyDelayMs == 0) {
    for (std::size_t i = 0; i < queued_.size(); ++i)
      PostMessageW(notifyWindow_, NotifyMessage(), notifyGeneration_, 0);
  } else {
    // The first comes with the timer, the others are posted then.
    timerId_ = SetTimer(notifyWindow_, kNotifyTimerId, behaviour.notifyDelayMs, nullptr);
    timerArmed_ = timerId_ != 0;
  }
}

void SimEngine::StopNotification() {
  if (timerArmed_)
    KillTimer(notifyWindow_, timerId_);
  timerArmed_ = false;
  queued_.clear();
  // A notification still in the queue no longer matches.
  ++notifyGeneration_;
}

TW_UINT16 SimEngine::ProcessEvent(SimCall &call, TW_EVENT *event) {
  event->TWMessage = MSG_NULL;
  const MSG *m = static_cast<const MSG *>(event->pEvent);
  if (m == nullptr)
    return TWRC_NOTDSEVENT;
  bool ours = false;
  if (m->message == NotifyMessage() && m->wParam == notifyGeneration_ && !queued_.empty()) {
    ours = true;
  } else if (m->message == WM_TIMER && timerArmed_ && m->hwnd == notifyWindow_ &&
             m->wParam == timerId_) {
    KillTimer(notifyWindow_, timerId_);
    timerArmed_ = false;
    ours = !queued_.empty();
    for (std::size_t i = 1; i < queued_.size(); ++i)
      PostMessageW(notifyWindow_, NotifyMessage(), notifyGeneration_, 0);
  }
  if (!ours)
    return TWRC_NOTDSEVENT;
  event->TWMessage = queued_.front();
  queued_.erase(queued_.begin());
  if (event->TWMessage == MSG_XFERREADY && sourceState_ == 5)
    sourceState_ = 6;
  call.eventMessage = event->TWMessage;
  return TWRC_DSEVENT;
}

SimImageRequest SimEngine::ImageRequest() const {
  const SimSettings &settings = Settings(openSource_);
  SimImageRequest r;
  if (settings.frameSet) {
    r.left = Fix32Value(settings.frame.Left);
    r.top = Fix32Value(settings.frame.Top);
    r.right = Fix32Value(settings.frame.Right);
    r.bottom = Fix32Value(settings.frame.Bottom);
  } else {
    r.right = 8.5;
    r.bottom = 11.0;
    for (const SimCapability &c : caps_) {
      if (c.cap == ICAP_PHYSICALWIDTH)
        r.right = NumericOf(c.itemType, CurrentBits(c));
      if (c.cap == ICAP_PHYSICALHEIGHT)
        r.bottom = NumericOf(c.itemType, CurrentBits(c));
    }
  }
  r.xResolution = settings.xResolution;
  r.yResolution = settings.yResolution;
  r.pixelType = settings.pixelType;
  r.brightness = settings.brightness;
  r.threshold = settings.threshold;
  r.imageIndex = imagesTaken_;
  r.source = openSource_ >= 0 ? &config_.sources[std::size_t(openSource_)] : nullptr;
  return r;
}

void SimEngine::FillImageInfo(TW_IMAGEINFO *info) const {
  const SimBehaviour &behaviour = config_.sources[std::size_t(openSource_)].behaviour;
  const SimImageRequest r = ImageRequest();
  std::memset(info, 0, sizeof *info);
  if (behaviour.bitmapImage) {
    info->XResolution = Fix32Of(-1);
    info->YResolution = Fix32Of(-1);
  } else if (!behaviour.zeroImageInfoResolution) {
    info->XResolution = Fix32Of(r.xResolution);
    info->YResolution = Fix32Of(r.yResolution);
  }
  info->ImageWidth = TW_INT32(std::lround((r.right - r.left) * r.xResolution));
  info->ImageLength = TW_INT32(std::lround((r.bottom - r.top) * r.yResolution));
  const bool colour = r.pixelType != TWPT_BW && r.pixelType != TWPT_GRAY;
  info->SamplesPerPixel = colour ? 3 : 1;
  const TW_INT16 bits = r.pixelType == TWPT_BW ? 1 : 8;
  for (int i = 0; i < info->SamplesPerPixel; ++i)
    info->BitsPerSample[i] = bits;
  info->BitsPerPixel = TW_INT16(bits * info->SamplesPerPixel);
  info->Planar = 0;
  info->PixelType = TW_INT16(r.pixelType);
  info->Compression = 0;
}

TW_HANDLE SimEngine::MakeImage(const SimBehaviour &behaviour) {
  const SimImageRequest request = ImageRequest();
  TW_HANDLE dib = config_.imageProvider ? config_.imageProvider(request)
                                        : MakeChartDib(request, config_.maxImageSide);
  if (dib == nullptr)
    return nullptr;
  ApplyImageFaults(dib, behaviour);
  if (!behaviour.bitmapImage)
    return dib;
  HBITMAP bitmap = DibSectionFromDib(dib);
  GlobalFree(dib);
  return bitmap;
}

TW_UINT16 SimEngine::NativeTransfer(SimCall &call, TW_HANDLE *handle) {
  const SimBehaviour &behaviour = config_.sources[std::size_t(openSource_)].behaviour;
  const std::vector<TW_UINT16> &answers = behaviour.nativeXferAnswers;
  const TW_UINT16 rc = answers.empty() ? behaviour.nativeXferRc
                                       : answers[std::min(transfersAsked_, answers.size() - 1)];
  ++transfersAsked_;
  if (rc == TWRC_XFERDONE || behaviour.imageWithAnyAnswer) {
    TW_HANDLE image = nullptr;
    if (!(rc == TWRC_XFERDONE && behaviour.doneWithoutImage)) {
      image = MakeImage(behaviour);
      if (image == nullptr) {
        call.conditionCode = TWCC_LOWMEMORY;
        return TWRC_FAILURE;
      }
      // Given back by the call of its kind: DeleteObject for a GDI object.
      Track(images_, image, GetObjectType(image) != 0 ? TrackAs::HandedGdiObject : TrackAs::Handed);
    }
    *handle = image;
    call.handle = image;
  }
  if (rc == TWRC_XFERDONE || rc == TWRC_CANCEL) {
    sourceState_ = 7;
    if (imagesLeft_ > 0)
      --imagesLeft_;
    if (rc == TWRC_XFERDONE)
      ++imagesTaken_;
  }
  return rc;
}

void InstallEngine(SimEngine *engine) { g_engine = engine; }
SimEngine *InstalledEngine() { return g_engine; }

TW_UINT16 TW_CALLINGSTYLE SimDsmEntry(TW_IDENTITY *origin, TW_IDENTITY *destination, TW_UINT32 dg,
                                      TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (g_engine == nullptr)
    return TWRC_FAILURE;
  return g_engine->Entry(origin, destination, dg, dat, msg, data);
}

} // namespace twainsim

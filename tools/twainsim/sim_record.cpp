#include "tools/twainsim/sim_record.h"

#include <cstdio>
#include <cstring>

#include "tools/twainsim/sim_names.h"

namespace twainsim {

namespace {

struct Named {
  std::uint32_t value;
  const char *name;
};

std::string Hex(std::uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", unsigned(v));
  return text;
}

template <std::size_t N> std::string Lookup(const Named (&table)[N], std::uint32_t v) {
  for (const auto &entry : table)
    if (entry.value == v)
      return entry.name;
  return Hex(v);
}

const Named kGroups[] = {{DG_CONTROL, "DG_CONTROL"}, {DG_IMAGE, "DG_IMAGE"}, {4, "DG_AUDIO"}};

const Named kReturnCodes[] = {
    {TWRC_SUCCESS, "TWRC_SUCCESS"},   {TWRC_FAILURE, "TWRC_FAILURE"},
    {TWRC_CHECKSTATUS, "TWRC_CHECKSTATUS"}, {TWRC_CANCEL, "TWRC_CANCEL"},
    {TWRC_DSEVENT, "TWRC_DSEVENT"},   {TWRC_NOTDSEVENT, "TWRC_NOTDSEVENT"},
    {TWRC_XFERDONE, "TWRC_XFERDONE"}, {TWRC_ENDOFLIST, "TWRC_ENDOFLIST"},
};

std::string Prefixed(const char *prefix, const char *known, std::uint16_t v) {
  return known != nullptr ? prefix + std::string(known) : Hex(v);
}

double Fix32Of(const TW_FIX32 &f) { return f.Whole + f.Frac / 65536.0; }

std::string Decimals(double value, int places) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", places, value);
  return text;
}

// The item of a one-value MSG_SET, as the application sent it.
std::string SetValueOf(const TW_CAPABILITY &cap) {
  if (cap.ConType != TWON_ONEVALUE || cap.hContainer == nullptr ||
      GlobalSize(cap.hContainer) < sizeof(TW_ONEVALUE))
    return std::string();
  const void *block = GlobalLock(cap.hContainer);
  if (block == nullptr)
    return std::string();
  TW_ONEVALUE one;
  std::memcpy(&one, block, sizeof one);
  GlobalUnlock(cap.hContainer);
  switch (one.ItemType) {
  case TWTY_FIX32: {
    TW_FIX32 fix;
    std::memcpy(&fix, &one.Item, sizeof fix);
    return Decimals(Fix32Of(fix), 2);
  }
  case TWTY_INT16:
    return std::to_string(int(TW_INT16(one.Item)));
  case TWTY_INT32:
    return std::to_string(long(TW_INT32(one.Item)));
  default:
    return std::to_string(static_cast<unsigned long>(one.Item));
  }
}

std::string QuotedProduct(const TW_IDENTITY &identity) {
  return "\"" + std::string(identity.ProductName, strnlen(identity.ProductName, 34)) + "\"";
}

} // namespace

std::string GroupRecordName(TW_UINT32 dg) { return Lookup(kGroups, dg); }
std::string DatRecordName(TW_UINT16 dat) { return Prefixed("DAT_", KnownDatName(dat), dat); }
std::string MsgRecordName(TW_UINT16 msg) { return Prefixed("MSG_", KnownMsgName(msg), msg); }
std::string CapRecordName(TW_UINT16 cap) { return Prefixed("", KnownCapName(cap), cap); }
std::string ReturnCodeRecordName(TW_UINT16 rc) { return Lookup(kReturnCodes, rc); }

CallRecord RecordTwainCall(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data,
                           TW_UINT16 rc) {
  CallRecord record;
  record.call = GroupRecordName(dg) + " " + DatRecordName(dat) + " " + MsgRecordName(msg);
  record.result = ReturnCodeRecordName(rc);
  if ((dg != DG_CONTROL && dg != DG_IMAGE) || data == nullptr)
    return record;
  if (dat == DAT_CAPABILITY) {
    const auto *cap = static_cast<const TW_CAPABILITY *>(data);
    record.With("cap", CapRecordName(cap->Cap));
    if (msg == MSG_SET) {
      const std::string value = SetValueOf(*cap);
      if (!value.empty())
        record.With("value", value);
    }
  } else if (dat == DAT_IMAGELAYOUT && msg == MSG_SET) {
    const TW_FRAME &f = static_cast<const TW_IMAGELAYOUT *>(data)->Frame;
    record.With("frame", Decimals(Fix32Of(f.Left), 4) + "," + Decimals(Fix32Of(f.Top), 4) + "," +
                             Decimals(Fix32Of(f.Right), 4) + "," + Decimals(Fix32Of(f.Bottom), 4));
  } else if (dat == DAT_EVENT && rc == TWRC_DSEVENT) {
    record.With("event", MsgRecordName(static_cast<const TW_EVENT *>(data)->TWMessage));
  } else if (dat == DAT_PENDINGXFERS && rc == TWRC_SUCCESS) {
    record.With("count", std::to_string(static_cast<const TW_PENDINGXFERS *>(data)->Count));
  } else if (dat == DAT_USERINTERFACE && msg == MSG_ENABLEDS) {
    record.With("showUI", std::to_string(static_cast<const TW_USERINTERFACE *>(data)->ShowUI));
  } else if (dat == DAT_IDENTITY && (rc == TWRC_SUCCESS || msg == MSG_OPENDS)) {
    record.With("source", QuotedProduct(*static_cast<const TW_IDENTITY *>(data)));
  }
  return record;
}

} // namespace twainsim

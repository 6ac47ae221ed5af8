#include "tools/twainsim/sim_names.h"

#include <cstdio>
#include <string>

#include "tools/twainsim/sim_engine.h"

namespace twainsim {

namespace {

struct Named {
  std::uint16_t value;
  const char *name;
};

const Named kDats[] = {
    {DAT_NULL, "NULL"},
    {DAT_CAPABILITY, "CAPABILITY"},
    {DAT_EVENT, "EVENT"},
    {DAT_IDENTITY, "IDENTITY"},
    {DAT_PARENT, "PARENT"},
    {DAT_PENDINGXFERS, "PENDINGXFERS"},
    {DAT_SETUPMEMXFER, "SETUPMEMXFER"},
    {DAT_SETUPFILEXFER, "SETUPFILEXFER"},
    {DAT_STATUS, "STATUS"},
    {DAT_ENTRYPOINT, "ENTRYPOINT"},
    {DAT_USERINTERFACE, "USERINTERFACE"},
    {DAT_XFERGROUP, "XFERGROUP"},
    {DAT_IMAGEINFO, "IMAGEINFO"},
    {DAT_IMAGELAYOUT, "IMAGELAYOUT"},
    {DAT_IMAGEMEMXFER, "IMAGEMEMXFER"},
    {DAT_IMAGENATIVEXFER, "IMAGENATIVEXFER"},
    {DAT_IMAGEFILEXFER, "IMAGEFILEXFER"},
};

const Named kMsgs[] = {
    {MSG_NULL, "NULL"},
    {MSG_GET, "GET"},
    {MSG_GETCURRENT, "GETCURRENT"},
    {MSG_GETDEFAULT, "GETDEFAULT"},
    {MSG_GETFIRST, "GETFIRST"},
    {MSG_GETNEXT, "GETNEXT"},
    {MSG_SET, "SET"},
    {MSG_RESET, "RESET"},
    {MSG_QUERYSUPPORT, "QUERYSUPPORT"},
    {MSG_XFERREADY, "XFERREADY"},
    {MSG_CLOSEDSREQ, "CLOSEDSREQ"},
    {MSG_CLOSEDSOK, "CLOSEDSOK"},
    {MSG_DEVICEEVENT, "DEVICEEVENT"},
    {MSG_OPENDSM, "OPENDSM"},
    {MSG_CLOSEDSM, "CLOSEDSM"},
    {MSG_OPENDS, "OPENDS"},
    {MSG_CLOSEDS, "CLOSEDS"},
    {MSG_USERSELECT, "USERSELECT"},
    {MSG_DISABLEDS, "DISABLEDS"},
    {MSG_ENABLEDS, "ENABLEDS"},
    {MSG_ENABLEDSUIONLY, "ENABLEDSUIONLY"},
    {MSG_PROCESSEVENT, "PROCESSEVENT"},
    {MSG_ENDXFER, "ENDXFER"},
};

const Named kCaps[] = {
    {CAP_XFERCOUNT, "CAP_XFERCOUNT"},
    {CAP_UICONTROLLABLE, "CAP_UICONTROLLABLE"},
    {ICAP_COMPRESSION, "ICAP_COMPRESSION"},
    {ICAP_PIXELTYPE, "ICAP_PIXELTYPE"},
    {ICAP_UNITS, "ICAP_UNITS"},
    {ICAP_XFERMECH, "ICAP_XFERMECH"},
    {ICAP_BRIGHTNESS, "ICAP_BRIGHTNESS"},
    {ICAP_CONTRAST, "ICAP_CONTRAST"},
    {ICAP_PHYSICALWIDTH, "ICAP_PHYSICALWIDTH"},
    {ICAP_PHYSICALHEIGHT, "ICAP_PHYSICALHEIGHT"},
    {ICAP_XNATIVERESOLUTION, "ICAP_XNATIVERESOLUTION"},
    {ICAP_YNATIVERESOLUTION, "ICAP_YNATIVERESOLUTION"},
    {ICAP_XRESOLUTION, "ICAP_XRESOLUTION"},
    {ICAP_YRESOLUTION, "ICAP_YRESOLUTION"},
    {ICAP_THRESHOLD, "ICAP_THRESHOLD"},
    {ICAP_BITDEPTH, "ICAP_BITDEPTH"},
};

template <std::size_t N> const char *Lookup(const Named (&table)[N], std::uint16_t value) {
  for (const Named &entry : table)
    if (entry.value == value)
      return entry.name;
  return nullptr;
}

// A value without a name shows as its prefix and hex digits, so that
// recorded calls still tell unnamed values apart.
std::string NameOr(const char *known, const char *prefix, unsigned value) {
  if (known != nullptr)
    return known;
  char text[16];
  std::snprintf(text, sizeof text, "0x%04x", value);
  return prefix + std::string(text);
}

} // namespace

const char *KnownDatName(std::uint16_t dat) { return Lookup(kDats, dat); }
const char *KnownMsgName(std::uint16_t msg) { return Lookup(kMsgs, msg); }
const char *KnownCapName(std::uint16_t cap) { return Lookup(kCaps, cap); }

std::string DatName(TW_UINT16 dat) { return NameOr(KnownDatName(dat), "DAT_", dat); }
std::string MsgName(TW_UINT16 msg) { return NameOr(KnownMsgName(msg), "MSG_", msg); }
std::string CapName(TW_UINT16 cap) { return NameOr(KnownCapName(cap), "CAP_", cap); }

std::string SimCall::Name() const {
  std::string name = toSource ? "DS " : "DSM ";
  switch (dat) {
  case DAT_CAPABILITY:
    return name + MsgName(msg) + " " + CapName(cap);
  case DAT_PARENT:
  case DAT_IDENTITY:
  case DAT_USERINTERFACE:
  case DAT_PENDINGXFERS:
  case DAT_EVENT:
    return name + MsgName(msg);
  default:
    return name + DatName(dat) + " " + MsgName(msg);
  }
}

} // namespace twainsim

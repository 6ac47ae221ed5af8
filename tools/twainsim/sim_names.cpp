#include <cstdio>

#include "tools/twainsim/sim_engine.h"

namespace twainsim {

namespace {

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04x", value);
  return text;
}

} // namespace

std::string DatName(TW_UINT16 dat) {
  switch (dat) {
  case DAT_CAPABILITY: return "CAPABILITY";
  case DAT_EVENT: return "EVENT";
  case DAT_IDENTITY: return "IDENTITY";
  case DAT_PARENT: return "PARENT";
  case DAT_PENDINGXFERS: return "PENDINGXFERS";
  case DAT_STATUS: return "STATUS";
  case DAT_USERINTERFACE: return "USERINTERFACE";
  case DAT_IMAGEINFO: return "IMAGEINFO";
  case DAT_IMAGELAYOUT: return "IMAGELAYOUT";
  case DAT_IMAGEMEMXFER: return "IMAGEMEMXFER";
  case DAT_IMAGENATIVEXFER: return "IMAGENATIVEXFER";
  case DAT_IMAGEFILEXFER: return "IMAGEFILEXFER";
  default: return "DAT_" + Hex(dat);
  }
}

std::string MsgName(TW_UINT16 msg) {
  switch (msg) {
  case MSG_NULL: return "NULL";
  case MSG_GET: return "GET";
  case MSG_GETCURRENT: return "GETCURRENT";
  case MSG_GETDEFAULT: return "GETDEFAULT";
  case MSG_GETFIRST: return "GETFIRST";
  case MSG_GETNEXT: return "GETNEXT";
  case MSG_SET: return "SET";
  case MSG_RESET: return "RESET";
  case MSG_QUERYSUPPORT: return "QUERYSUPPORT";
  case MSG_XFERREADY: return "XFERREADY";
  case MSG_CLOSEDSREQ: return "CLOSEDSREQ";
  case MSG_CLOSEDSOK: return "CLOSEDSOK";
  case MSG_OPENDSM: return "OPENDSM";
  case MSG_CLOSEDSM: return "CLOSEDSM";
  case MSG_OPENDS: return "OPENDS";
  case MSG_CLOSEDS: return "CLOSEDS";
  case MSG_USERSELECT: return "USERSELECT";
  case MSG_DISABLEDS: return "DISABLEDS";
  case MSG_ENABLEDS: return "ENABLEDS";
  case MSG_ENABLEDSUIONLY: return "ENABLEDSUIONLY";
  case MSG_PROCESSEVENT: return "PROCESSEVENT";
  case MSG_ENDXFER: return "ENDXFER";
  default: return "MSG_" + Hex(msg);
  }
}

std::string CapName(TW_UINT16 cap) {
  switch (cap) {
  case CAP_XFERCOUNT: return "CAP_XFERCOUNT";
  case CAP_UICONTROLLABLE: return "CAP_UICONTROLLABLE";
  case ICAP_COMPRESSION: return "ICAP_COMPRESSION";
  case ICAP_PIXELTYPE: return "ICAP_PIXELTYPE";
  case ICAP_UNITS: return "ICAP_UNITS";
  case ICAP_XFERMECH: return "ICAP_XFERMECH";
  case ICAP_BRIGHTNESS: return "ICAP_BRIGHTNESS";
  case ICAP_CONTRAST: return "ICAP_CONTRAST";
  case ICAP_PHYSICALWIDTH: return "ICAP_PHYSICALWIDTH";
  case ICAP_PHYSICALHEIGHT: return "ICAP_PHYSICALHEIGHT";
  case ICAP_XNATIVERESOLUTION: return "ICAP_XNATIVERESOLUTION";
  case ICAP_YNATIVERESOLUTION: return "ICAP_YNATIVERESOLUTION";
  case ICAP_XRESOLUTION: return "ICAP_XRESOLUTION";
  case ICAP_YRESOLUTION: return "ICAP_YRESOLUTION";
  case ICAP_THRESHOLD: return "ICAP_THRESHOLD";
  case ICAP_BITDEPTH: return "ICAP_BITDEPTH";
  default: return "CAP_" + Hex(cap);
  }
}

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

#include "tools/vscanner/vscanner_trace.h"

#include <cstdio>

namespace vscanner {

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

const Named kGroups[] = {{1, "DG_CONTROL"}, {2, "DG_IMAGE"}, {4, "DG_AUDIO"}};

const Named kDats[] = {
    {0x0000, "DAT_NULL"},          {0x0001, "DAT_CAPABILITY"},     {0x0002, "DAT_EVENT"},
    {0x0003, "DAT_IDENTITY"},      {0x0004, "DAT_PARENT"},         {0x0005, "DAT_PENDINGXFERS"},
    {0x0006, "DAT_SETUPMEMXFER"},  {0x0007, "DAT_SETUPFILEXFER"},  {0x0008, "DAT_STATUS"},
    {0x0009, "DAT_USERINTERFACE"}, {0x000a, "DAT_XFERGROUP"},      {0x0101, "DAT_IMAGEINFO"},
    {0x0102, "DAT_IMAGELAYOUT"},   {0x0103, "DAT_IMAGEMEMXFER"},   {0x0104, "DAT_IMAGENATIVEXFER"},
    {0x0105, "DAT_IMAGEFILEXFER"},
};

const Named kMsgs[] = {
    {0x0000, "MSG_NULL"},         {0x0001, "MSG_GET"},          {0x0002, "MSG_GETCURRENT"},
    {0x0003, "MSG_GETDEFAULT"},   {0x0004, "MSG_GETFIRST"},     {0x0005, "MSG_GETNEXT"},
    {0x0006, "MSG_SET"},          {0x0007, "MSG_RESET"},        {0x0008, "MSG_QUERYSUPPORT"},
    {0x0101, "MSG_XFERREADY"},    {0x0102, "MSG_CLOSEDSREQ"},   {0x0103, "MSG_CLOSEDSOK"},
    {0x0104, "MSG_DEVICEEVENT"},  {0x0301, "MSG_OPENDSM"},      {0x0302, "MSG_CLOSEDSM"},
    {0x0401, "MSG_OPENDS"},       {0x0402, "MSG_CLOSEDS"},      {0x0403, "MSG_USERSELECT"},
    {0x0501, "MSG_DISABLEDS"},    {0x0502, "MSG_ENABLEDS"},     {0x0503, "MSG_ENABLEDSUIONLY"},
    {0x0601, "MSG_PROCESSEVENT"}, {0x0701, "MSG_ENDXFER"},
};

const Named kReturnCodes[] = {
    {0, "TWRC_SUCCESS"}, {1, "TWRC_FAILURE"},     {2, "TWRC_CHECKSTATUS"}, {3, "TWRC_CANCEL"},
    {4, "TWRC_DSEVENT"}, {5, "TWRC_NOTDSEVENT"},  {6, "TWRC_XFERDONE"},    {7, "TWRC_ENDOFLIST"},
};

const Named kCaps[] = {
    {0x0001, "CAP_XFERCOUNT"},          {0x100e, "CAP_UICONTROLLABLE"},
    {0x0100, "ICAP_COMPRESSION"},       {0x0101, "ICAP_PIXELTYPE"},
    {0x0102, "ICAP_UNITS"},             {0x0103, "ICAP_XFERMECH"},
    {0x1101, "ICAP_BRIGHTNESS"},        {0x1103, "ICAP_CONTRAST"},
    {0x1111, "ICAP_PHYSICALWIDTH"},     {0x1112, "ICAP_PHYSICALHEIGHT"},
    {0x1116, "ICAP_XNATIVERESOLUTION"}, {0x1117, "ICAP_YNATIVERESOLUTION"},
    {0x1118, "ICAP_XRESOLUTION"},       {0x1119, "ICAP_YRESOLUTION"},
    {0x1123, "ICAP_THRESHOLD"},         {0x112b, "ICAP_BITDEPTH"},
};

} // namespace

std::string DataGroupName(std::uint32_t dg) { return Lookup(kGroups, dg); }
std::string DatName(std::uint16_t dat) { return Lookup(kDats, dat); }
std::string MsgName(std::uint16_t msg) { return Lookup(kMsgs, msg); }
std::string ReturnCodeName(std::uint16_t rc) { return Lookup(kReturnCodes, rc); }
std::string CapabilityName(std::uint16_t cap) { return Lookup(kCaps, cap); }

std::string FormatTraceLine(const TraceCall &call) {
  std::string line = std::to_string(call.sequence) + " " + std::to_string(call.originId) + " -> ";
  line += call.hasDestination ? std::to_string(call.destinationId) : std::string("DSM");
  line += " " + DataGroupName(call.dg) + " " + DatName(call.dat) + " " + MsgName(call.msg);
  if (!call.detail.empty())
    line += " " + call.detail;
  line += " = " + ReturnCodeName(call.rc);
  return line;
}

} // namespace vscanner

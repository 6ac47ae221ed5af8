#include "tools/vscanner/vscanner_trace.h"

#include <cstdio>

#include "tools/twainsim/sim_names.h"

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

const Named kReturnCodes[] = {
    {0, "TWRC_SUCCESS"}, {1, "TWRC_FAILURE"},     {2, "TWRC_CHECKSTATUS"}, {3, "TWRC_CANCEL"},
    {4, "TWRC_DSEVENT"}, {5, "TWRC_NOTDSEVENT"},  {6, "TWRC_XFERDONE"},    {7, "TWRC_ENDOFLIST"},
};

// The data argument types, messages and capabilities have the simulator's
// names, with the prefixes a trace reader expects.
std::string Prefixed(const char *prefix, const char *known, std::uint16_t v) {
  return known != nullptr ? prefix + std::string(known) : Hex(v);
}

} // namespace

std::string DataGroupName(std::uint32_t dg) { return Lookup(kGroups, dg); }
std::string DatName(std::uint16_t dat) {
  return Prefixed("DAT_", twainsim::KnownDatName(dat), dat);
}
std::string MsgName(std::uint16_t msg) {
  return Prefixed("MSG_", twainsim::KnownMsgName(msg), msg);
}
std::string ReturnCodeName(std::uint16_t rc) { return Lookup(kReturnCodes, rc); }
std::string CapabilityName(std::uint16_t cap) {
  return Prefixed("", twainsim::KnownCapName(cap), cap);
}

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

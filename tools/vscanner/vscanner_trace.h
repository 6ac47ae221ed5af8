// One line of the virtual scanner's trace file per DSM_Entry call:
//   <seq> <origin id> -> <destination id or DSM> <record>
// where the record is the call as tools/twainsim/sim_record.h writes it,
// the same record the simulated manager keeps, for example
//   12 1 -> 2 DG_CONTROL DAT_CAPABILITY MSG_SET cap=ICAP_XRESOLUTION value=300.00 = TWRC_SUCCESS
//   20 1 -> 2 DG_CONTROL DAT_EVENT MSG_PROCESSEVENT event=MSG_XFERREADY = TWRC_DSEVENT
// Lines beginning with "#" are remarks (configuration warnings, what was not
// freed at MSG_CLOSEDS, the DLL's unloading). Plain code: no <windows.h>.
#pragma once

#include <cstdint>
#include <string>

#include "tests/support/call_record.h"

namespace vscanner {

struct TraceCall {
  std::uint32_t sequence = 0;
  std::uint32_t originId = 0;
  bool hasDestination = false;
  std::uint32_t destinationId = 0;
  CallRecord record;
};

// The line without its end-of-line.
std::string FormatTraceLine(const TraceCall &call);
// A call's line back into its parts; false for a remark, an empty line or
// anything else that is not a call's line.
bool ParseTraceLine(const std::string &line, TraceCall *call);

} // namespace vscanner

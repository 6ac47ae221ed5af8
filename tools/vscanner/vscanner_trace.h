// One line of the virtual scanner's trace file per DSM_Entry call:
//   <seq> <origin id> -> <destination id or DSM> <DG> <DAT> <MSG>[ <detail>] = <rc>
// for example
//   12 1 -> 2 DG_CONTROL DAT_CAPABILITY MSG_SET cap=ICAP_XRESOLUTION = TWRC_SUCCESS
//   20 1 -> 2 DG_CONTROL DAT_EVENT MSG_PROCESSEVENT event=MSG_XFERREADY = TWRC_DSEVENT
// Names come from the TWAIN standard; values without a name are shown as
// hex (0x1234). Plain code: no <windows.h>.
#pragma once

#include <cstdint>
#include <string>

namespace vscanner {

std::string DataGroupName(std::uint32_t dg);
std::string DatName(std::uint16_t dat);
std::string MsgName(std::uint16_t msg);
std::string ReturnCodeName(std::uint16_t rc);
std::string CapabilityName(std::uint16_t cap);

struct TraceCall {
  std::uint32_t sequence = 0;
  std::uint32_t originId = 0;
  bool hasDestination = false;
  std::uint32_t destinationId = 0;
  std::uint32_t dg = 0;
  std::uint16_t dat = 0;
  std::uint16_t msg = 0;
  std::string detail;  // e.g. "cap=ICAP_XRESOLUTION"; may be empty
  std::uint16_t rc = 0;
};

// The line without its end-of-line.
std::string FormatTraceLine(const TraceCall &call);

} // namespace vscanner

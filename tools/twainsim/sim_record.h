// The record of one TWAIN call (tests/support/call_record.h) as the
// simulated manager keeps it and the virtual scanner's trace writes it:
//
//   DG_CONTROL DAT_CAPABILITY MSG_SET cap=ICAP_XRESOLUTION value=300.00 = TWRC_SUCCESS
//   DG_IMAGE DAT_IMAGELAYOUT MSG_SET frame=0.0000,0.0000,8.2677,11.6929 = TWRC_SUCCESS
//   DG_CONTROL DAT_EVENT MSG_PROCESSEVENT event=MSG_XFERREADY = TWRC_DSEVENT
//
// Names are the TWAIN standard's; a value without a name shows as hex
// (0x1234). The details, where the call carries them: cap and, for a one
// value set, value (a TW_FIX32 with two decimals); frame, in inches with
// four decimals; event, the TWMessage of a source's event; count, the Count
// of a successful DAT_PENDINGXFERS call; showUI of MSG_ENABLEDS; source, the
// quoted product name of an identity handed over.
#pragma once

#include <string>

#include "tests/support/call_record.h"
#include "twain/twain.h"

namespace twainsim {

std::string GroupRecordName(TW_UINT32 dg);
std::string DatRecordName(TW_UINT16 dat);
std::string MsgRecordName(TW_UINT16 msg);
std::string CapRecordName(TW_UINT16 cap);
std::string ReturnCodeRecordName(TW_UINT16 rc);

// One call and its answer, read from its data once it has returned (the
// data must still be what the call was given and gave back).
CallRecord RecordTwainCall(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data,
                           TW_UINT16 rc);

} // namespace twainsim

// The TWAIN state numbers of the application's conversation with the source
// manager and one source, and the table that moves between them. Plain
// values: the table is exercised without any window or manager.
#pragma once

#include <cstdint>

#include "twain/twain.h"

enum SessionState : std::int32_t {
  StatePreSession = 1,    // manager library not loaded
  StateManagerLoaded = 2, // library loaded and DSM_Entry known; manager not open
  StateManagerOpen = 3,   // MSG_OPENDSM succeeded
  StateSourceOpen = 4,    // one source open; capabilities may be negotiated
  StateSourceEnabled = 5, // MSG_ENABLEDS; window messages are offered to the source
  StateTransferReady = 6, // MSG_XFERREADY seen, or further transfers pending
  StateTransferring = 7,  // a transfer ended with TWRC_XFERDONE or TWRC_CANCEL; MSG_ENDXFER due
};

// One DSM_Entry call as the state table sees it: to the manager (no
// destination) or to the open source, and what came back.
struct TwainExchange {
  bool toSource = false;
  TW_UINT32 group = 0;
  TW_UINT16 dat = 0;
  TW_UINT16 msg = 0;
  TW_UINT16 rc = TWRC_FAILURE;
  // Returned data the table looks at: TW_EVENT.TWMessage after
  // MSG_PROCESSEVENT, TW_PENDINGXFERS.Count after MSG_ENDXFER.
  TW_UINT16 eventMessage = MSG_NULL;
  TW_UINT16 pendingCount = 0;
};

struct TwainTransition {
  SessionState state;
  bool result;
  // MSG_OPENDS succeeded: the identity the manager completed becomes the
  // session's source identity.
  bool adoptSourceIdentity;
};

// The state after one call and the result the calling wrapper reports.
// Calls the table does not list keep the state and report rc == TWRC_SUCCESS.
TwainTransition ApplyTransition(SessionState state, const TwainExchange &call);

// The manager file must be 1.6.0.3 or newer (dwFileVersionMS in the high,
// dwFileVersionLS in the low 32 bits); 0, an unreadable version, is refused.
bool ManagerVersionAccepted(std::uint64_t fileVersion);

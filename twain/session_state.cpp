#include "twain/session_state.h"

TwainTransition ApplyTransition(SessionState state, const TwainExchange &call) {
  const bool ok = call.rc == TWRC_SUCCESS;
  TwainTransition t = {state, ok, false};
  if (!call.toSource) {
    if (call.group != DG_CONTROL || !ok)
      return t;
    if (call.dat == DAT_PARENT && call.msg == MSG_OPENDSM)
      t.state = StateManagerOpen;
    else if (call.dat == DAT_PARENT && call.msg == MSG_CLOSEDSM)
      t.state = StateManagerLoaded;
    else if (call.dat == DAT_IDENTITY && call.msg == MSG_OPENDS) {
      t.state = StateSourceOpen;
      t.adoptSourceIdentity = true;
    } else if (call.dat == DAT_IDENTITY && call.msg == MSG_CLOSEDS)
      t.state = StateManagerOpen;
    return t;
  }

  if (call.group == DG_CONTROL) {
    switch (call.dat) {
    case DAT_USERINTERFACE:
      if (call.msg == MSG_ENABLEDS) {
        // TWRC_CHECKSTATUS (and any other answer but these two) still
        // means the source is enabled.
        const bool refused = call.rc == TWRC_FAILURE || call.rc == TWRC_CANCEL;
        if (!refused)
          t.state = StateSourceEnabled;
        t.result = !refused;
      } else if (call.msg == MSG_DISABLEDS && ok) {
        t.state = StateSourceOpen;
      }
      break;
    case DAT_EVENT:
      if (call.msg == MSG_PROCESSEVENT) {
        if (call.eventMessage == MSG_XFERREADY)
          t.state = StateTransferReady;
        t.result = call.rc == TWRC_DSEVENT;
      }
      break;
    case DAT_PENDINGXFERS:
      if (call.msg == MSG_ENDXFER && ok)
        t.state = call.pendingCount != 0 ? StateTransferReady : StateSourceEnabled;
      else if (call.msg == MSG_RESET && ok)
        t.state = StateSourceEnabled;
      break;
    default:
      break;
    }
    return t;
  }

  if (call.group == DG_IMAGE && (call.dat == DAT_IMAGENATIVEXFER || call.dat == DAT_IMAGEFILEXFER) &&
      call.msg == MSG_GET) {
    if (call.rc == TWRC_XFERDONE || call.rc == TWRC_CANCEL)
      t.state = StateTransferring;
    else
      t.state = StateTransferReady;
    t.result = call.rc == TWRC_XFERDONE;
  }
  return t;
}

bool ManagerVersionAccepted(std::uint64_t fileVersion) {
  const std::uint32_t ms = std::uint32_t(fileVersion >> 32);
  const std::uint32_t ls = std::uint32_t(fileVersion);
  if (ms < 0x00010006u)
    return false;
  return !(ms == 0x00010006u && ls < 3);
}

#include "twain/window_calls.h"

bool CallMayOpenWindows(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg) {
  if (group == DG_CONTROL) {
    switch (dat) {
    case DAT_IDENTITY:
      // The manager's "Select Source" dialog; and opening a source loads and
      // starts its driver, which may ask which device to use, warm up its
      // lamp with a message, or (Windows' WIA bridge) show its own window.
      return msg == MSG_USERSELECT || msg == MSG_OPENDS;
    case DAT_USERINTERFACE:
      // The source's own dialog, or, told to show none, its progress window.
      return msg == MSG_ENABLEDS;
    case DAT_EVENT:
      // An enabled source does its work on the window messages it is
      // handed: starting the scan, its progress and error boxes.
      return msg == MSG_PROCESSEVENT;
    case DAT_PENDINGXFERS:
      // A sheet feeder goes on to the next page here, progress and all.
      return msg == MSG_ENDXFER;
    default:
      return false;
    }
  }
  if (group == DG_IMAGE && msg == MSG_GET) {
    // Sources that scan only when the image is asked for do it, with their
    // progress window, in the first of these calls.
    return dat == DAT_IMAGEINFO || dat == DAT_IMAGENATIVEXFER || dat == DAT_IMAGEFILEXFER ||
           dat == DAT_IMAGEMEMXFER;
  }
  // Opening and closing the manager, listing sources, capabilities, the
  // image layout, disabling and closing the source: nothing is shown.
  return false;
}

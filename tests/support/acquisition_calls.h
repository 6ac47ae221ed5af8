// The calls of one page's acquisition as the copier makes them, written once
// for every test that watches one: against the simulated manager, through
// the virtual scanner DLL, through the real TWAINDSM.DLL to the virtual
// scanner's data source, and behind the main dialog's Copy.
//
// From rest: the manager opened, the source looked up by its ScannerId and
// opened; the settings in the order the copier sends them; the source
// enabled without its own user interface; window messages offered to it
// until it announces the transfer; the image information and the native
// transfer; the end of the transfer; the source disabled and closed; the
// manager closed.
#pragma once

#include <string>

#include "support/call_sequence.h"

// What the page was asked for, as the records show it; an empty text is
// not looked at.
struct PageCalls {
  std::string pixelType;  // ICAP_PIXELTYPE's value: "0" black and white, "1" grey, "2" colour
  std::string resolution; // ICAP_XRESOLUTION and ICAP_YRESOLUTION: "300.00"
  std::string frame;      // DAT_IMAGELAYOUT's frame in inches: "0.0000,0.0000,8.2677,11.6929"
  // Black and white sets ICAP_THRESHOLD; the other modes read ICAP_BRIGHTNESS
  // and set it.
  bool threshold = false;
  std::string brightness; // the value set, threshold or brightness: "0.00"
};

// The manager opened and the source found and opened.
CallSequence ManagerAndSourceOpened();
// From the settings to the source closed.
CallSequence OnePage(const PageCalls &page);
CallSequence ManagerClosed();
// The three in a row.
CallSequence OnePageAcquisition(const PageCalls &page);

// The frame of a DAT_IMAGELAYOUT record in 1/100 mm, rounded: left, top,
// right, bottom. False when the record has no frame.
bool FrameInHundredthsMm(const CallRecord &record, int (&frame)[4]);

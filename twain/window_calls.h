// Which calls to the source manager may bring up a window of the manager or
// of a source. Plain values: the rule is tested anywhere.
#pragma once

#include "twain/twain.h"

// True for the calls in which a manager or source shows, or starts to show,
// a window of its own (see window_calls.cpp for each).
bool CallMayOpenWindows(TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg);

// A scanned page drawn onto a printer: one StretchDIBits of the whole
// bitmap first, and horizontal bands when the driver refuses that.
#pragma once

#include <windows.h>

#include "imaging/band_plan.h"
#include "imaging/dib.h"

// Draws the whole bitmap in `dib` into the rectangle (x, y, width, height)
// of `dc` (width and height above 0), with DIB_RGB_COLORS and SRCCOPY.
//
// The first try is one call with all of the bitmap. When the driver refuses
// it (GDI_ERROR, or 0: Microsoft documents 0 for a call that failed or
// copied no scan line, and Wine's GDI answers 0 when a driver cannot take
// the image), the page is drawn again in the bands of BandWalk under
// `limits`: each band handed over as a bitmap of its own (its rows, a
// header saying so) whose source rectangle is all of it. A source rectangle
// inside the page would not do: Microsoft documents the origin of a
// top-down bitmap as its top-left corner, yet GDI counts the source
// rectangle of a top-down bitmap from the bottom, except in a call that
// copies unstretched from (0, 0) (Wine's conformance tests show it on
// Windows, and Wine does the same). A refused band is halved and tried
// again.
//
// False when the bitmap is not sound, the lock fails, a band header cannot
// be allocated, or the driver refuses even a band of one row; the page then
// cannot be printed. `stretch` is the call made (StretchDIBits unless a
// caller routes it).
bool DrawDibPage(HGLOBAL dib, HDC dc, int x, int y, int width, int height,
                 StretchDIBitsProc stretch, const BandLimits &limits = kPrintBandLimits);

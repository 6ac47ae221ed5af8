// The GDI calls the copy job makes, reached through one table so that tests
// can count them, make one fail (no printer here ever refuses a page on
// request), stand in for a device's capabilities, and see where and how
// large the page is drawn.
#pragma once

#include <windows.h>

#include "imaging/dib.h"

struct PrintCalls {
  HDC(WINAPI *createDC)(LPCWSTR driver, LPCWSTR device, LPCWSTR output, const DEVMODEW *mode);
  int(WINAPI *startDoc)(HDC dc, const DOCINFOW *info);
  HDC(WINAPI *resetDC)(HDC dc, const DEVMODEW *mode);
  int(WINAPI *startPage)(HDC dc);
  int(WINAPI *endPage)(HDC dc);
  int(WINAPI *endDoc)(HDC dc);
  int(WINAPI *abortDoc)(HDC dc);
  BOOL(WINAPI *deleteDC)(HDC dc);
  int(WINAPI *messageBox)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
  // The drawing of a page.
  int(WINAPI *getDeviceCaps)(HDC dc, int index);
  BOOL(WINAPI *setViewportOrgEx)(HDC dc, int x, int y, POINT *previous);
  int(WINAPI *setStretchBltMode)(HDC dc, int mode);
  StretchDIBitsProc stretchDIBits;
};

// The real GDI and user32 calls.
const PrintCalls &RealPrintCalls();

// The table the copy job uses; RealPrintCalls() unless a test replaced it.
const PrintCalls &CurrentPrintCalls();
void SetPrintCalls(const PrintCalls *calls); // null restores the real ones

// The GDI document calls the copy job makes, reached through one table so
// that tests can count them and make one fail: no printer here ever refuses
// a page on request.
#pragma once

#include <windows.h>

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
};

// The real GDI and user32 calls.
const PrintCalls &RealPrintCalls();

// The table the copy job uses; RealPrintCalls() unless a test replaced it.
const PrintCalls &CurrentPrintCalls();
void SetPrintCalls(const PrintCalls *calls); // null restores the real ones

// Window utilities shared by every window of the program.
#pragma once

#include <windows.h>

#include <string>

// The whole text of a window (empty for none or no window).
std::wstring GetWindowTextString(HWND window);
// The whole text of a dialog's control.
std::wstring GetItemTextString(HWND dialog, int controlId);
// The window's class name, at most 255 characters (empty for no window).
std::wstring GetWindowClassName(HWND window);
// True when the window's class name is exactly `className` (case-sensitive).
bool HasWindowClass(HWND window, const wchar_t *className);
// The icon resource `name` of `module` at the small icon size of the system.
HICON LoadSmallIcon(HINSTANCE module, const wchar_t *name);
// Centres a window on its parent (or owner), or on the desktop without one.
void CenterWindow(HWND window);

// Focus memory of a dialog: which control had the focus (and, for an edit
// control, its selection) when the dialog was last deactivated, and the
// answer to a property sheet's query for a page's initial focus.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr wchar_t kFocusChildProperty[] = L"ZV_FocusChild";
constexpr wchar_t kFocusSelectionProperty[] = L"ZV_FocusChildSel";

// The record that "ZV_FocusChildSel" points at.
struct FocusSelection {
  std::uint32_t start;
  std::uint32_t end;
};

// Property-sheet notifications this reacts to.
constexpr UINT kQueryInitialFocus = static_cast<UINT>(-213); // PSN_QUERYINITIALFOCUS
constexpr UINT kPageLeaving = static_cast<UINT>(-201);       // PSN_KILLACTIVE

// Hand every message of the dialog here before handling it. Returns 1 when
// the message is answered (the dialog procedure returns TRUE at once), 0
// when the dialog goes on with it as usual.
std::int32_t TrackFocus(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Drops what is remembered for `window`: both properties and the record.
void ForgetFocus(HWND window);

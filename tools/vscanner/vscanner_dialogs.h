// The virtual scanner's two windows, built from dialog templates in memory
// (class "#32770", like any driver's dialog):
//   - the source manager's "Select Source" dialog for MSG_USERSELECT: a list
//     of the sources, OK and Cancel, modal, owned by the application's window;
//   - a source's own small modeless dialog for MSG_ENABLEDS with ShowUI:
//     Scan and Cancel.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace vscanner {

constexpr int kIdSourceList = 100;
constexpr int kIdScan = IDOK;       // the Scan button
constexpr int kIdScanCancel = IDCANCEL;
extern const wchar_t kSelectSourceCaption[];  // "Select Source"

// Shows the selection dialog modally; returns the chosen index (0-based) or
// -1 when the user cancelled or the dialog could not be shown.
int RunSourceSelectDialog(HINSTANCE instance, HWND owner, const std::vector<std::wstring> &names,
                          int initial);

// Creates the scan dialog (visible, not modal) owned by parent, captioned
// with the source's name. onChoice(true) runs on Scan, onChoice(false) on
// Cancel or when the user closes it; the dialog then disables its buttons
// until it is destroyed. Null when it cannot be created.
HWND CreateScanDialog(HINSTANCE instance, HWND parent, const std::wstring &caption,
                      std::function<void(bool scan)> onChoice);

// Destroys a dialog made by CreateScanDialog (null is fine).
void DestroyScanDialog(HWND dialog);

} // namespace vscanner

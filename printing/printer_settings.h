// The two printers of the copier, each with its device settings, and their
// selection through the system's print dialog.
#pragma once

#include <windows.h>

#include <commdlg.h>

#include <string>

constexpr int kPrinterCount = 2;
constexpr int kCopyPrinter = 0;
constexpr int kFaxPrinter = 1;

// Indexed by kCopyPrinter and kFaxPrinter. Each entry owns its hDevMode and
// hDevNames blocks; others lock and unlock them but never free them. An
// entry with lStructSize 0 has not been settled in this process.
extern PRINTDLGEXW PrinterSettings[kPrinterCount];

// Settles or changes entry `index`. On its first use in the process the
// stored printer is taken if it still opens, else the default printer, with
// nothing shown; later uses show the print dialog, modal to `owner` (which
// may be null). True when the entry now holds a printer taken or confirmed;
// false when the user cancelled or no printer could be obtained.
bool SelectPrinter(HWND owner, int index);

// Runs the print dialog (or, with PD_RETURNDEFAULT, the default-printer
// request) on an entry. S_OK when it ran, whatever the user chose: the
// choice is in dwResultAction.
HRESULT RunPrintDialog(PRINTDLGEXW &entry);

// The entry's device name: the device string of its DEVNAMES, else
// dmDeviceName of its DEVMODEW; empty with neither.
std::wstring GetPrinterDeviceName(const PRINTDLGEXW &entry);

// Frees the entry's blocks and sets every field to zero.
void ClearPrinterEntry(PRINTDLGEXW &entry);

// The print dialog SelectPrinter runs, RunPrintDialog unless a test put
// another in its place (say, one that finds no fax printer); null puts
// RunPrintDialog back.
using PrintDialogProc = HRESULT (*)(PRINTDLGEXW &entry);
void SetPrintDialogProc(PrintDialogProc proc);

// PrintDlgExW as found at run time; RunPrintDialog looks it up in
// comdlg32 and passes it here. Null means the platform has none.
using PrintDlgExProc = HRESULT(WINAPI *)(LPPRINTDLGEXW);
HRESULT RunPrintDialogWith(PRINTDLGEXW &entry, PrintDlgExProc printDlgEx);

// Whether a result of PrintDlgExW calls for the older PrintDlgW: not
// implemented, no usable owner window (the command-line copy has none), or
// arguments it will not take (Wine refuses PD_RETURNDEFAULT).
bool PrintDlgExNeedsFallback(HRESULT result);

#include "printing/printer_settings.h"

#include "common/unique_handle.h"
#include "imaging/global_memory.h"
#include "printing/settings_image.h"
#include "printing/settings_store.h"

PRINTDLGEXW PrinterSettings[kPrinterCount];

namespace {

PrintDialogProc g_printDialog = RunPrintDialog;

// A copy is always one whole page: nothing to select, no page numbers.
constexpr DWORD kDialogFlags =
    PD_NOSELECTION | PD_NOPAGENUMS | PD_HIDEPRINTTOFILE | PD_NOCURRENTPAGE;
// The flags only PrintDlgExW knows, cleared before PrintDlgW sees them.
constexpr DWORD kPrintDlgFlagMask =
    ~DWORD(PD_CURRENTPAGE | PD_NOCURRENTPAGE | PD_EXCLUSIONFLAGS | PD_USELARGETEMPLATE);

// Whether the entry's printer can still be opened with its stored settings.
// A name that opens the display is not a printer.
bool PrinterOpens(const PRINTDLGEXW &e) {
  const std::wstring name = GetPrinterDeviceName(e);
  if (name.empty())
    return false;
  GlobalLockGuard devMode(e.hDevMode);
  UniqueDC dc(CreateDCW(nullptr, name.c_str(), nullptr,
                       static_cast<const DEVMODEW *>(devMode.data())));
  return dc && GetDeviceCaps(dc.get(), TECHNOLOGY) != DT_RASDISPLAY;
}

// Owns a module loaded for one call; a module already loaded stays as it is.
class LoadedModule {
public:
  explicit LoadedModule(const wchar_t *name) {
    module_ = GetModuleHandleW(name);
    if (!module_) {
      loaded_.reset(LoadLibraryW(name));
      module_ = loaded_.get();
    }
  }
  HMODULE get() const { return module_; }

private:
  HMODULE module_ = nullptr;
  UniqueModule loaded_;
};

} // namespace

void ClearPrinterEntry(PRINTDLGEXW &e) {
  if (e.hDevMode)
    GlobalFree(e.hDevMode);
  if (e.hDevNames)
    GlobalFree(e.hDevNames);
  e = PRINTDLGEXW{};
}

std::wstring GetPrinterDeviceName(const PRINTDLGEXW &e) {
  std::u16string name;
  {
    GlobalLockGuard devNames(e.hDevNames);
    if (devNames)
      name = ReadDevNamesString(devNames.data(), devNames.size(),
                                DevNamesString::Device);
  }
  if (name.empty()) {
    GlobalLockGuard devMode(e.hDevMode);
    if (devMode)
      name = ReadDevModeDeviceName(devMode.data(), devMode.size());
  }
  return std::wstring(name.begin(), name.end());
}

bool PrintDlgExNeedsFallback(HRESULT result) {
  return result == E_NOTIMPL || result == E_HANDLE || result == E_INVALIDARG;
}

HRESULT RunPrintDialogWith(PRINTDLGEXW &e, PrintDlgExProc printDlgEx) {
  e.dwResultAction = PD_RESULT_CANCEL;
  if (printDlgEx) {
    const HRESULT result = printDlgEx(&e);
    if (!PrintDlgExNeedsFallback(result))
      return result;
    e.dwResultAction = PD_RESULT_CANCEL;
  }

  PRINTDLGW pd{};
  pd.lStructSize = sizeof(PRINTDLGW);
  pd.hwndOwner = e.hwndOwner;
  pd.hDevMode = e.hDevMode;
  pd.hDevNames = e.hDevNames;
  pd.hDC = e.hDC;
  pd.Flags = e.Flags & kPrintDlgFlagMask;
  pd.nCopies = static_cast<WORD>(e.nCopies);
  const BOOL chosen = PrintDlgW(&pd);
  // The dialog may have replaced (and freed) the blocks it was given, so
  // the entry takes back whatever it holds now, chosen or not.
  e.hDevMode = pd.hDevMode;
  e.hDevNames = pd.hDevNames;
  if (chosen) {
    e.hDC = pd.hDC;
    e.Flags = pd.Flags | PD_NOCURRENTPAGE;
    e.nCopies = pd.nCopies;
    e.dwResultAction = PD_RESULT_PRINT;
    return S_OK;
  }
  // Cancelled by the user, or failed; dwResultAction still says cancel.
  return CommDlgExtendedError() != 0 ? E_FAIL : S_OK;
}

HRESULT RunPrintDialog(PRINTDLGEXW &e) {
  LoadedModule comdlg(L"Comdlg32.dll");
  PrintDlgExProc printDlgEx = nullptr;
  if (comdlg.get()) {
    // Through void (*)(): GetProcAddress's type says nothing of the real one.
    printDlgEx = reinterpret_cast<PrintDlgExProc>(reinterpret_cast<void (*)()>(
        GetProcAddress(comdlg.get(), "PrintDlgExW")));
  }
  return RunPrintDialogWith(e, printDlgEx);
}

void SetPrintDialogProc(PrintDialogProc proc) { g_printDialog = proc ? proc : RunPrintDialog; }

bool SelectPrinter(HWND owner, int index) {
  if (index < 0 || index >= kPrinterCount)
    return false;
  PRINTDLGEXW &e = PrinterSettings[index];
  e.Flags &= ~DWORD(PD_RETURNDEFAULT);

  if (e.lStructSize == 0) {
    // A loaded entry has no DC, one copy and no default request.
    if (LoadPrinterSettings(index) && PrinterOpens(e))
      return true; // the stored printer is still there: nothing to show or save
    ClearPrinterEntry(e);
    e.lStructSize = sizeof(PRINTDLGEXW);
    e.Flags = PD_RETURNDEFAULT;
    e.nCopies = 1;
  }

  e.Flags = (e.Flags & PD_RETURNDEFAULT) | kDialogFlags;
  e.hwndOwner = owner;
  e.nStartPage = START_PAGE_GENERAL;

  if (g_printDialog(e) != S_OK)
    return false;
  if (e.dwResultAction != PD_RESULT_CANCEL || (e.Flags & PD_RETURNDEFAULT)) {
    SavePrinterSettings(index);
    return true;
  }
  return false;
}

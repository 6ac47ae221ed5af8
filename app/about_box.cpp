#include "app/about_box.h"

#include <windows.h>

#include "app/about_text.h"
#include "app/localized_texts.h"
#include "app/main_dialog.h"
#include "app/module_path.h"
#include "twain/scanner_report.h"

void ShowAboutBox(MainDialog &dialog) {
  const std::wstring path = GetModulePath(nullptr);
  const FileVersion version = GetFileVersion(path);
  // The date is read from the file again, as the day number of its version.
  std::wstring text = AboutText(version, VersionDayNumber(path));
  if (GetAsyncKeyState(VK_CONTROL) < 0 && dialog.Session() != nullptr)
    text = AboutTextWithReport(text, BuildScannerReport(*dialog.Session()));
  MessageBoxW(dialog.window, text.c_str(), kProgramCaption, MB_OK);
}

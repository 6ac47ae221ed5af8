#include "app/handover_plan.h"

#include "app/version_info.h"

std::wstring HandOverTarget(bool win64Build, bool scannerFound, const std::wstring &programPath) {
  if (!win64Build || scannerFound)
    return std::wstring();
  const std::wstring folder = FolderOfPath(programPath);
  if (folder.empty() || !IsFullPath(programPath))
    return std::wstring();
  if (SameIgnoringAsciiCase(programPath.substr(folder.size() + 1), kCopier32Name))
    return std::wstring();
  return JoinPath(folder, kCopier32Name);
}

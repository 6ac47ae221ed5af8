#include "app/module_path.h"

#include <vector>

#include "common/proc_address.h"
#include "common/unique_handle.h"

namespace {

// A folder from one of the GetXxxDirectoryW calls; empty when it fails.
template <typename Call> std::wstring FolderFrom(Call call) {
  wchar_t buffer[MAX_PATH + 1];
  const UINT length = call(buffer, UINT(sizeof buffer / sizeof buffer[0]));
  if (length == 0 || length >= sizeof buffer / sizeof buffer[0])
    return std::wstring();
  return std::wstring(buffer, length);
}

// The version library, loaded by full path from the system folder. It is
// not one of the DLLs Windows always takes from there (KnownDLLs): imported
// by name it would be looked for beside the program first, and a
// version.dll planted beside a portable copy would run with the program.
struct VersionLibrary {
  UniqueModule module;
  decltype(&GetFileVersionInfoSizeW) infoSize = nullptr;
  decltype(&GetFileVersionInfoW) info = nullptr;
  decltype(&VerQueryValueW) query = nullptr;
};

VersionLibrary LoadVersionLibrary() {
  VersionLibrary library;
  const std::wstring folder = SystemFolder();
  if (folder.empty())
    return library;
  const std::wstring path = JoinPath(folder, L"version.dll");
  library.module.reset(LoadLibraryW(path.c_str()));
  if (!library.module)
    return library;
  HMODULE module = library.module.get();
  library.infoSize = FindProc<decltype(library.infoSize)>(module, "GetFileVersionInfoSizeW");
  library.info = FindProc<decltype(library.info)>(module, "GetFileVersionInfoW");
  library.query = FindProc<decltype(library.query)>(module, "VerQueryValueW");
  return library;
}

// Loaded on first use and kept for the life of the process.
const VersionLibrary &Version() {
  static const VersionLibrary library = LoadVersionLibrary();
  return library;
}

} // namespace

std::wstring SystemFolder() { return FolderFrom(GetSystemDirectoryW); }
std::wstring SharedWindowsFolder() { return FolderFrom(GetSystemWindowsDirectoryW); }

std::wstring GetModulePath(HMODULE module) {
  std::vector<wchar_t> buffer(512);
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, buffer.data(), DWORD(buffer.size()));
    if (length == 0)
      return std::wstring();
    // A result that fills the whole buffer may have been cut: try again larger.
    if (length < buffer.size())
      return StripLongPathPrefix(std::wstring(buffer.data(), length));
    if (buffer.size() >= 0x8000 * 4)
      return std::wstring();
    buffer.resize(buffer.size() * 2);
  }
}

FileVersion GetFileVersion(const std::wstring &path) {
  const VersionLibrary &version = Version();
  if (version.infoSize == nullptr || version.info == nullptr || version.query == nullptr)
    return 0;
  DWORD ignored = 0;
  const DWORD size = version.infoSize(path.c_str(), &ignored);
  if (size == 0)
    return 0;
  std::vector<unsigned char> data(size);
  if (!version.info(path.c_str(), 0, size, data.data()))
    return 0;
  VS_FIXEDFILEINFO *info = nullptr;
  UINT infoLength = 0;
  if (!version.query(data.data(), L"\\", reinterpret_cast<void **>(&info), &infoLength) ||
      info == nullptr || infoLength < sizeof(VS_FIXEDFILEINFO))
    return 0;
  return (FileVersion(info->dwFileVersionMS) << 32) | info->dwFileVersionLS;
}

std::uint32_t VersionDayNumber(const std::wstring &path) {
  return VersionToDayNumber(GetFileVersion(path));
}

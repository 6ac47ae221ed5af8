#include "app/module_path.h"

#include <vector>

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
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0)
    return 0;
  std::vector<unsigned char> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data()))
    return 0;
  VS_FIXEDFILEINFO *info = nullptr;
  UINT infoLength = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void **>(&info), &infoLength) ||
      info == nullptr || infoLength < sizeof(VS_FIXEDFILEINFO))
    return 0;
  return (FileVersion(info->dwFileVersionMS) << 32) | info->dwFileVersionLS;
}

std::uint32_t VersionDayNumber(const std::wstring &path) {
  return VersionToDayNumber(GetFileVersion(path));
}

#include "app/version_info.h"

#include <cwchar>

std::wstring FormatVersion(FileVersion version) {
  wchar_t text[32];
  std::swprintf(text, sizeof text / sizeof text[0], L"%u.%u.%u.%u",
                unsigned((version >> 48) & 0xFFFF), unsigned((version >> 32) & 0xFFFF),
                unsigned((version >> 16) & 0xFFFF), unsigned(version & 0xFFFF));
  return text;
}

std::uint32_t VersionToDayNumber(FileVersion version) {
  if (version == 0)
    return 0;
  const std::uint32_t major = std::uint32_t(version >> 48) & 0xFFFF;
  const std::uint32_t minor = std::uint32_t(version >> 32) & 0xFFFF;
  const std::uint32_t build = std::uint32_t(version >> 16) & 0xFFFF;
  // Cannot overflow: 372 × (10 × 65535 + 65535 + 94) + 65535 < 2^32.
  return 372u * (10u * major + minor + 94u) + build;
}

std::wstring FormatDayNumber(std::uint32_t dayNumber, std::uint32_t style) {
  const unsigned day = dayNumber % 31 + 1;
  const unsigned month = (dayNumber % 372) / 31 + 1;
  const unsigned year = (dayNumber / 372 + 1896) % 10000;
  wchar_t text[32];
  switch (style) {
  case DayStyleDotted:
    std::swprintf(text, 32, L"%02u.%02u.%04u", day, month, year);
    break;
  case DayStyleIso:
    std::swprintf(text, 32, L"%04u-%02u-%02u", year, month, day);
    break;
  case DayStyleCompact:
    std::swprintf(text, 32, L"%04u%02u%02u", year, month, day);
    break;
  default:
    return std::wstring();
  }
  return text;
}

std::wstring StripLongPathPrefix(const std::wstring &path) {
  static const wchar_t uncPrefix[] = L"\\\\?\\UNC\\";
  static const wchar_t longPrefix[] = L"\\\\?\\";
  if (path.compare(0, 8, uncPrefix) == 0)
    return L"\\" + path.substr(7);
  if (path.compare(0, 4, longPrefix) == 0)
    return path.substr(4);
  return path;
}

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

} // namespace

bool IsFullPath(const std::wstring &path) {
  if (path.size() < 3)
    return false;
  if (IsSeparator(path[0]) && IsSeparator(path[1]))
    return !IsSeparator(path[2]);
  return IsAsciiLetter(path[0]) && path[1] == L':' && IsSeparator(path[2]);
}

std::wstring JoinPath(const std::wstring &folder, const std::wstring &name) {
  if (folder.empty())
    return name;
  if (IsSeparator(folder.back()))
    return folder + name;
  return folder + L"\\" + name;
}

std::wstring FolderOfPath(const std::wstring &path) {
  const std::size_t last = path.find_last_of(L"\\/");
  return last == std::wstring::npos ? std::wstring() : path.substr(0, last);
}

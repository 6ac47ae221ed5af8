#include "twain/scanner_report.h"

#include <windows.h>

#include <cwchar>

#include "app/module_path.h"
#include "twain/scanner_profile.h"
#include "twain/scanner_session.h"

namespace {

const wchar_t *const kPixelTypeNames[9] = {
    L"TWPT_BW",  L"TWPT_GRAY", L"TWPT_RGB",  L"TWPT_PALETTE", L"TWPT_CMY",
    L"TWPT_CMYK", L"TWPT_YUV",  L"TWPT_YUVK", L"TWPT_CIEXYZ",
};

const wchar_t *const kUnitNames[6] = {
    L"TWUN_INCHES", L"TWUN_CENTIMETERS", L"TWUN_PICAS",
    L"TWUN_POINTS", L"TWUN_TWIPS",       L"TWUN_PIXELS",
};

std::wstring Fixed(float value) {
  wchar_t buffer[64];
  std::swprintf(buffer, sizeof buffer / sizeof buffer[0], L"%f", double(value));
  return buffer;
}

// The identity text up to its first NUL, at most its 34 units.
std::wstring Text(const wchar_t (&units)[kIdentityTextUnits]) {
  std::size_t n = 0;
  while (n < kIdentityTextUnits && units[n] != 0)
    ++n;
  return std::wstring(units, n);
}

const wchar_t *Flag(bool value) { return value ? L"true" : L"false"; }

void Line(std::wstring &out, const wchar_t *label, const std::wstring &value) {
  out += label;
  out += value;
  out += L"\r\n";
}

} // namespace

std::wstring FormatManagerLines(FileVersion version, const std::wstring &path,
                                const std::wstring &managerFile) {
  std::wstring label = managerFile + L":";
  if (label.size() < 16)
    label.resize(16, L' ');
  std::wstring out;
  Line(out, label.c_str(), FormatVersion(version));
  Line(out, label.c_str(), path);
  return out;
}

std::wstring FormatProfileLines(const ScannerProfile &p) {
  std::wstring out;
  wchar_t hex[16];
  std::swprintf(hex, sizeof hex / sizeof hex[0], L"%X", unsigned(p.ScannerId));
  Line(out, L"ScannerId:      ", hex);
  Line(out, L"VersionMajor:   ", std::to_wstring(p.VersionMajor));
  Line(out, L"VersionMinor:   ", std::to_wstring(p.VersionMinor));
  Line(out, L"VersionInfo:    ", Text(p.VersionInfo));
  Line(out, L"ProtocolMajor:  ", std::to_wstring(p.ProtocolMajor));
  Line(out, L"ProtocolMinor:  ", std::to_wstring(p.ProtocolMinor));
  Line(out, L"Manufacturer:   ", Text(p.Manufacturer));
  Line(out, L"ProductFamily:  ", Text(p.ProductFamily));
  Line(out, L"ProductName:    ", Text(p.ProductName));
  Line(out, L"ControllableUI: ", Flag(p.ControllableUI));
  std::wstring names;
  for (int i = 0; i < 9; ++i)
    if (p.PixelTypes[i])
      names += std::wstring(kPixelTypeNames[i]) + L"  ";
  Line(out, L"PixelTypes:     ", names);
  names.clear();
  for (int i = 0; i < 6; ++i)
    if (p.Units[i])
      names += std::wstring(kUnitNames[i]) + L"  ";
  Line(out, L"Units:          ", names);
  Line(out, L"XNativeResolution: ", Fixed(p.XNativeResolution));
  Line(out, L"YNativeResolution: ", Fixed(p.YNativeResolution));
  Line(out, L"PhysicalWidth:     ", Fixed(p.PhysicalWidth));
  Line(out, L"PhysicalHeight:    ", Fixed(p.PhysicalHeight));
  Line(out, L"bResolutionArray:  ", Flag(p.bResolutionArray));
  Line(out, L"bResolutionRange:  ", Flag(p.bResolutionRange));
  Line(out, L"ResolutionDefault: ", Fixed(p.ResolutionDefault));
  for (std::uint32_t i = 0; i < p.ResolutionCount && p.ResolutionAt(i) != 0.0f; ++i)
    Line(out, (L"ResolutionArray[" + std::to_wstring(i) + L"]: ").c_str(),
         Fixed(p.ResolutionAt(i)));
  Line(out, L"ResolutionMin:     ", Fixed(p.ResolutionMin));
  Line(out, L"ResolutionMax:     ", Fixed(p.ResolutionMax));
  Line(out, L"ResolutionStep:    ", Fixed(p.ResolutionStep));
  return out;
}

std::wstring BuildScannerReport(ScannerSession &session) {
  // The report names the library the session loaded, and reads the version
  // of that very file: a TWAIN_32.DLL looked up by name could be another
  // one, and on the TWAINDSM.DLL road there is no TWAIN_32.DLL to speak of.
  const std::wstring &file = session.ManagerFile();
  std::wstring out;
  if (session.dsmModule.get() != nullptr && !file.empty()) {
    const std::wstring path = GetModulePath(session.dsmModule.get());
    out = FormatManagerLines(GetFileVersion(path), path, file);
  } else {
    out = FormatManagerLines(GetFileVersion(L"TWAIN_32.DLL"),
                             GetModulePath(GetModuleHandleW(L"TWAIN_32.DLL")));
  }
  out += std::wstring(63, L'-') + L"\r\n";
  ScannerProfile profile;
  session.GetScannerProfile(0, profile);
  out += FormatProfileLines(profile);
  return out;
}

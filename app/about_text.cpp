#include "app/about_text.h"

std::wstring AboutText(FileVersion version, std::uint32_t dayNumber) {
  return L"Zelvantor Copier\r\nVersion " + FormatVersion(version) + L"\r\nCopyright \u00a9 " +
         FormatDayNumber(dayNumber, DayStyleDotted) + L" Zelvantor";
}

std::wstring AboutTextWithReport(const std::wstring &about, const std::wstring &report) {
  return about + L"\r\n" + std::wstring(63, L'-') + L"\r\n" + report;
}

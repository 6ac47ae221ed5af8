// The about box's text, as plain strings: the product line, the version and
// the maker's line with the build date the version encodes; on request the
// scanner report below a separator.
#pragma once

#include <cstdint>
#include <string>

#include "app/version_info.h"

// "Zelvantor Copier\r\nVersion 1.6.201.1004\r\nCopyright © 16.07.2006 Zelvantor"
// for the program's own version and the day number decoded from it.
std::wstring AboutText(FileVersion version, std::uint32_t dayNumber);

// The about text, CR LF, 63 hyphens, CR LF, then the report.
std::wstring AboutTextWithReport(const std::wstring &about, const std::wstring &report);

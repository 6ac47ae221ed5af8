// The plain-text diagnostic report on the TWAIN installation and the current
// scanner that the about box appends when Control is held.
#pragma once

#include <string>

#include "app/version_info.h"

class ScannerProfile;
class ScannerSession;

// The two lines on the source manager library: its file version and path,
// labelled with its file name ("TWAIN_32.DLL:   " unless another is named;
// the label is padded to 16 characters).
std::wstring FormatManagerLines(FileVersion version, const std::wstring &path,
                                const std::wstring &managerFile = L"TWAIN_32.DLL");

// One line per profile field, each ending in "\r\n".
std::wstring FormatProfileLines(const ScannerProfile &profile);

// Manager lines (the manager library the session loaded, when that is not
// TWAIN_32.DLL; else TWAIN_32.DLL as the system finds it), a separator of 63
// hyphens, then the profile lines of the session's current scanner (looked
// up through the profile cache).
std::wstring BuildScannerReport(ScannerSession &session);

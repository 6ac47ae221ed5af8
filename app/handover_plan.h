// When the 64-bit copier hands the whole run to the 32-bit copier, and which
// file that is. Plain values: no Win32 call here, so the rule is tested
// anywhere.
//
// On 64-bit Windows most scanner drivers are still 32-bit TWAIN sources, and
// Windows' own bridge from WIA scanners to TWAIN is its 32-bit TWAIN_32.DLL:
// a 64-bit process can load neither. The x64 package therefore carries the
// 32-bit copier as well, beside the 64-bit one under a name of its own; a
// 64-bit copier that reaches no scanner starts it with its own command line
// and ends when it ends. The 32-bit copier then shows the no-scanner message
// itself if it finds no scanner either.
#pragma once

#include <string>

// The 32-bit copier's file name, beside the 64-bit zvcopier.exe.
constexpr wchar_t kCopier32Name[] = L"zvcopier32.exe";

// The full path of the 32-bit copier to hand over to, or empty when this run
// stays with this program: a 32-bit build, a scanner found, a program path
// that is not a full path (a failed call: the hand-over must never be a bare
// name that CreateProcessW would search for, the current directory among
// the places), or a program that is itself that file (it would start
// itself again and again).
std::wstring HandOverTarget(bool win64Build, bool scannerFound, const std::wstring &programPath);

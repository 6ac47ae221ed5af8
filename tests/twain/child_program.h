// The copier's side of a real source manager, played by a copy of this test
// program: the parent puts the copy in a folder of its own beside a
// manager, as a user's copier stands beside one, and runs it as a child
// that runs one test of its own; the parent then checks what the manager
// and the sources were asked.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/unique_handle.h"
#include "twain/acquire.h"

class ScannerSession;

namespace twaintest {

// The part the environment variable `flag` gives this process; empty in the
// parent.
std::wstring ChildPart(const wchar_t *flag);

// A new folder under the temporary folder, named after `tag` and this
// process, with a trailing backslash; RemoveFolder takes it and all it holds
// away again.
std::wstring MakeScratchFolder(const std::wstring &tag);
void RemoveFolder(const std::wstring &folder);

// Copies this program into `folder` as `name`.
bool CopySelfInto(const std::wstring &folder, const std::wstring &name);

// Runs `exe` (a copy of this program) from its own folder with only the
// tests of `filter` and `flag` set to `part`, sharing this process's output.
// Its exit code; 0xFFFFFFFF when it could not be started, 0xFFFFFFFE when it
// did not finish within timeoutMs (it is then ended).
DWORD RunChild(const std::wstring &exe, const std::wstring &filter, const wchar_t *flag,
               const wchar_t *part, DWORD timeoutMs);

// The copy job's scanner calls for one page at 100 % on a printer of
// `printerDpi`: the profile, the copy frame (A4), the resolution chosen for
// the mode, then the page.
GlobalBlock CopyJobPage(ScannerSession &session, std::int32_t mode, std::uint32_t printerDpi,
                        AcquireOutcome &outcome);

} // namespace twaintest

#include "tools/pe_imports/allowed_dlls.h"

#include <algorithm>
#include <cstring>

namespace {

// Each entry is on a clean Windows 10 (and on Windows 7, the oldest this
// program is built for) in the system folder. A DLL imported by name is
// looked for beside the program first, unless Windows takes it from
// elsewhere before that: the known DLLs (the KnownDLLs key of the Session
// Manager), which come from the system folder only, and side-by-side
// assemblies named in the program's manifest. Only those are listed, so that
// nothing a folder holds can stand in for one of them.
//
// Not listed, on purpose:
// - VERSION.dll: not a known DLL; the program loads it at run time by its
//   full path in the system folder (app/module_path.cpp).
// - zlib1.dll, libpng and the like: Wine puts them into every prefix, Windows
//   has none. libstdc++-6, libgcc_s_*, libwinpthread-1: MinGW's runtime,
//   linked in statically.
// - api-ms-win-*, ucrtbase, vcruntime*: not on Windows 7 as shipped.
// - winspool.drv, ole32 and the rest: nothing ships that needs them; one
//   that does gets its entry here, with its reason.
const char *const kAllowed[] = {
    "kernel32.dll", // processes, memory, files, modules: a known DLL
    "user32.dll",   // windows, dialogs, messages: a known DLL
    "gdi32.dll",    // drawing and printing: a known DLL
    "advapi32.dll", // the registry: a known DLL
    "comdlg32.dll", // the print dialog: a known DLL
    "shell32.dll",  // CommandLineToArgvW: a known DLL
    "shlwapi.dll",  // path and string helpers: a known DLL
    "msvcrt.dll",   // the C runtime MinGW-w64 builds on, Windows' own since 2000: a known DLL
    // The common controls are not a known DLL: they are safe only through
    // the side-by-side redirection of a manifest that asks for version 6,
    // which the loader follows before it looks in the program's folder.
    // ImportProblems holds every importer to carrying that manifest.
    "comctl32.dll",
};

constexpr char kCommonControlsAssembly[] = "Microsoft.Windows.Common-Controls";

std::string Lower(std::string text) {
  for (char &c : text)
    if (c >= 'A' && c <= 'Z')
      c = char(c - 'A' + 'a');
  return text;
}

bool Contains(const std::uint8_t *data, std::size_t size, const char *text) {
  const std::size_t length = std::strlen(text);
  const std::uint8_t *end = data + size;
  return std::search(data, end, text, text + length) != end;
}

} // namespace

bool IsAllowedImport(const std::string &dll) {
  const std::string name = Lower(dll);
  for (const char *allowed : kAllowed)
    if (name == allowed)
      return true;
  return false;
}

std::vector<std::string> ImportProblems(const PeImports &imports, const std::uint8_t *data,
                                        std::size_t size) {
  std::vector<std::string> problems;
  if (!imports.ok) {
    problems.push_back("not a readable Windows image: " + imports.error);
    return problems;
  }
  bool commonControls = false;
  auto look = [&](const std::string &dll, const char *how) {
    if (!IsAllowedImport(dll))
      problems.push_back(std::string(how) + " " + dll + ", which is not one of Windows' own " +
                         "DLLs that no folder can stand in for");
    commonControls = commonControls || Lower(dll) == "comctl32.dll";
  };
  for (const std::string &dll : imports.dlls)
    look(dll, "imports");
  for (const std::string &dll : imports.delayDlls)
    look(dll, "delay-loads");
  if (commonControls && !Contains(data, size, kCommonControlsAssembly))
    problems.push_back("imports COMCTL32.dll without a manifest naming " +
                       std::string(kCommonControlsAssembly) +
                       ", so it would be looked for beside the program");
  return problems;
}

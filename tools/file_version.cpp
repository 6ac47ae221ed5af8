// Prints the fixed file version of a file as "major.minor.build.revision",
// read through the version API as Windows itself reads it, for end-to-end
// tests that check an installed file.
//
//   file_version.exe PATH
//
// Exit code 0 with the version, 1 when the file has none.
#include <cstdio>

#include "app/module_path.h"
#include "app/version_info.h"

int wmain(int argc, wchar_t **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: file_version PATH\n");
    return 2;
  }
  const FileVersion version = GetFileVersion(argv[1]);
  if (version == 0)
    return 1;
  std::printf("%ls\n", FormatVersion(version).c_str());
  return 0;
}

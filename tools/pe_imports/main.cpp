// Checks what shipped programs import: for each file named, the DLLs of its
// import and delay-load directories, and whether each is one of Windows'
// own that no folder can stand in for (allowed_dlls.cpp).
//
//   pe_imports.exe FILE...
//
// Prints "FILE: DLL DLL ..." for each file and a line for each problem.
// Exit code 0 when every file may ship, 1 when one may not or cannot be
// read, 2 without files.
#include <cstdio>
#include <vector>

#include "tools/pe_imports/allowed_dlls.h"
#include "tools/pe_imports/pe_imports.h"

namespace {

bool ReadFile(const wchar_t *path, std::vector<std::uint8_t> &bytes) {
  std::FILE *file = _wfopen(path, L"rb");
  if (file == nullptr)
    return false;
  bytes.clear();
  std::uint8_t buffer[65536];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    bytes.insert(bytes.end(), buffer, buffer + got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  return !failed;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: pe_imports FILE...\n");
    return 2;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<std::uint8_t> bytes;
    if (!ReadFile(argv[i], bytes)) {
      std::printf("%ls: cannot be read\n", argv[i]);
      status = 1;
      continue;
    }
    const PeImports imports = ReadPeImports(bytes.data(), bytes.size());
    std::printf("%ls:", argv[i]);
    for (const std::string &dll : imports.dlls)
      std::printf(" %s", dll.c_str());
    for (const std::string &dll : imports.delayDlls)
      std::printf(" (delay) %s", dll.c_str());
    std::printf("\n");
    for (const std::string &problem : ImportProblems(imports, bytes.data(), bytes.size())) {
      std::printf("%ls: %s\n", argv[i], problem.c_str());
      status = 1;
    }
  }
  return status;
}

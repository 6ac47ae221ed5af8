// The DLLs a Windows program or DLL makes the loader find: the names in its
// import directory (loaded before it runs) and in its delay-load import
// directory (loaded on first use), read from the file's bytes as the PE/COFF
// format lays them out. Plain code: it runs on the build machine as well as
// under Wine, and is fuzzed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PeImports {
  bool ok = false;
  std::string error;                  // why the bytes are not a readable image
  bool pe32Plus = false;              // a 64-bit image
  std::vector<std::string> dlls;      // import directory, in its order
  std::vector<std::string> delayDlls; // delay-load import directory
};

// Reads the two directories of an image file. Anything that does not hold
// together (a header cut short, a table or name outside the file, a name
// without its end) makes the result not ok: a file this cannot read is not
// vouched for.
PeImports ReadPeImports(const std::uint8_t *data, std::size_t size);

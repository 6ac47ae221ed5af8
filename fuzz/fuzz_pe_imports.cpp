// Reading the import directories of any bytes, and judging what was read:
// no read outside the input, and a result that holds together.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "tools/pe_imports/allowed_dlls.h"
#include "tools/pe_imports/pe_imports.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const PeImports imports = ReadPeImports(data, size);
  FUZZ_CHECK(imports.ok == imports.error.empty());
  if (!imports.ok)
    FUZZ_CHECK(imports.dlls.empty() && imports.delayDlls.empty());
  for (const std::vector<std::string> *list : {&imports.dlls, &imports.delayDlls})
    for (const std::string &name : *list)
      FUZZ_CHECK(!name.empty() && name.size() <= 260 && name.find('\0') == std::string::npos);
  const std::vector<std::string> problems = ImportProblems(imports, data, size);
  FUZZ_CHECK(imports.ok || problems.size() == 1);
  if (imports.ok) {
    std::size_t refused = 0;
    for (const std::vector<std::string> *list : {&imports.dlls, &imports.delayDlls})
      for (const std::string &name : *list)
        refused += IsAllowedImport(name) ? 0 : 1;
    // One problem per refused name, and at most one for the manifest.
    FUZZ_CHECK(problems.size() == refused || problems.size() == refused + 1);
  }
  return 0;
}

// What a shipped program or DLL may import: the DLLs of Windows itself that
// every supported Windows has and that the loader cannot be made to take
// from the program's folder (see allowed_dlls.cpp for each). Plain code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/pe_imports/pe_imports.h"

// Whether a DLL name (any case) is on the list.
bool IsAllowedImport(const std::string &dll);

// What is wrong with one file's imports, a sentence each; empty when the
// file may ship. `data` is the whole file, for its manifest.
std::vector<std::string> ImportProblems(const PeImports &imports, const std::uint8_t *data,
                                        std::size_t size);

#include "support/test_paths.h"

#include "app/module_path.h"

std::wstring TestBinDir() {
  const std::wstring self = GetModulePath(nullptr);
  return self.substr(0, self.find_last_of(L"\\/") + 1);
}

std::wstring TestBinPath(const std::wstring &name) { return TestBinDir() + name; }

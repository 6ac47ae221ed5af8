// A function of a loaded module, with its real type. GetProcAddress's own
// type says nothing of it, so the cast goes through void (*)().
#pragma once

#include <windows.h>

template <typename Function> Function FindProc(HMODULE module, const char *name) {
  if (module == nullptr)
    return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// An owned registry key handle, closed when the owner goes out of scope.
#pragma once

#include <windows.h>

#include "common/unique_handle.h"

class RegistryKey {
public:
  RegistryKey() = default;

  // Opens the key, creating it (non-volatile) when it is missing. A key
  // already held is closed first. Returns the registry error code.
  LSTATUS Create(HKEY root, const wchar_t *path, REGSAM access);
  LSTATUS SetValue(const wchar_t *name, DWORD type, const void *data,
                   DWORD size);
  // With data null only the type and the stored size are reported.
  LSTATUS QueryValue(const wchar_t *name, DWORD *type, void *data,
                     DWORD *size);
  LSTATUS DeleteValue(const wchar_t *name);
  void Close();

  HKEY get() const { return key_.get(); }

private:
  UniqueRegistryKey key_;
};

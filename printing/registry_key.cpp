#include "printing/registry_key.h"

LSTATUS RegistryKey::Create(HKEY root, const wchar_t *path, REGSAM access) {
  Close();
  HKEY key = nullptr;
  const LSTATUS status = RegCreateKeyExW(root, path, 0, nullptr, 0, access,
                                         nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS)
    key_.reset(key);
  return status;
}

LSTATUS RegistryKey::SetValue(const wchar_t *name, DWORD type,
                              const void *data, DWORD size) {
  if (!key_)
    return ERROR_INVALID_HANDLE;
  return RegSetValueExW(key_.get(), name, 0, type,
                        static_cast<const BYTE *>(data), size);
}

LSTATUS RegistryKey::QueryValue(const wchar_t *name, DWORD *type, void *data,
                                DWORD *size) {
  if (!key_)
    return ERROR_INVALID_HANDLE;
  return RegQueryValueExW(key_.get(), name, nullptr, type,
                          static_cast<BYTE *>(data), size);
}

LSTATUS RegistryKey::DeleteValue(const wchar_t *name) {
  if (!key_)
    return ERROR_INVALID_HANDLE;
  return RegDeleteValueW(key_.get(), name);
}

void RegistryKey::Close() { key_.reset(); }

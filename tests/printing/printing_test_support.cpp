#include "printing_test_support.h"

#include "imaging/little_endian.h"
#include "printing/printer_settings.h"
#include "printing/settings_store.h"

#include <dlgs.h>
#include <winspool.h>

#include <algorithm>
#include <cstring>

namespace {

const wchar_t kRoot[] = L"Software\\Zelvantor";

bool KeyExists(const std::wstring &path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

} // namespace

KeyValues ReadKeyValues(const std::wstring &path, bool *exists) {
  KeyValues values;
  HKEY key = nullptr;
  const bool open = RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ,
                                  &key) == ERROR_SUCCESS;
  if (exists)
    *exists = open;
  if (!open)
    return values;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256, type = 0, size = 0;
    if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr,
                      &size) != ERROR_SUCCESS)
      break;
    StoredValue v;
    v.type = type;
    v.data.resize(size);
    nameLength = 256;
    RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                  v.data.empty() ? nullptr : v.data.data(), &size);
    values[name] = v;
  }
  RegCloseKey(key);
  return values;
}

bool ReadValue(const std::wstring &path, const wchar_t *name,
               StoredValue *value) {
  const KeyValues values = ReadKeyValues(path);
  auto it = values.find(name);
  if (it == values.end())
    return false;
  *value = it->second;
  return true;
}

void WriteValue(const std::wstring &path, const wchar_t *name, DWORD type,
                const Bytes &data) {
  WriteKeyValues(path, KeyValues{{name, StoredValue{type, data}}});
}

void WriteKeyValues(const std::wstring &path, const KeyValues &values) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0,
                            KEY_WRITE, nullptr, &key, nullptr));
  for (const auto &v : values)
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExW(key, v.first.c_str(), 0, v.second.type,
                             v.second.data.data(),
                             static_cast<DWORD>(v.second.data.size())));
  RegCloseKey(key);
}

void DeleteKeyTree(const std::wstring &path) {
  RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
  RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
}

HGLOBAL BlockFromBytes(const Bytes &bytes) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (h && !bytes.empty()) {
    std::memcpy(GlobalLock(h), bytes.data(), bytes.size());
    GlobalUnlock(h);
  }
  return h;
}

Bytes BlockBytes(HGLOBAL block) {
  Bytes bytes;
  if (!block)
    return bytes;
  const void *p = GlobalLock(block);
  if (p) {
    const auto *b = static_cast<const unsigned char *>(p);
    bytes.assign(b, b + GlobalSize(block));
    GlobalUnlock(block);
  }
  return bytes;
}

Bytes MakeDevMode(const std::wstring &device, std::uint16_t dmSize,
                  std::uint16_t dmDriverExtra, std::size_t size) {
  Bytes b(size ? size : std::size_t(dmSize) + dmDriverExtra, 0);
  for (std::size_t i = 0; i < device.size() && i < 32 && 2 * i + 1 < b.size(); ++i)
    WriteU16(&b[2 * i], device[i]);
  if (b.size() >= 72) {
    WriteU16(&b[64], 0x401);
    WriteU16(&b[68], dmSize);
    WriteU16(&b[70], dmDriverExtra);
  }
  for (std::size_t i = dmSize; i < b.size(); ++i)
    b[i] = static_cast<unsigned char>(0xA0 + i % 16); // the driver's bytes
  return b;
}

Bytes MakeDevNames(const std::wstring &driver, const std::wstring &device,
                   const std::wstring &port) {
  const std::wstring *strings[] = {&driver, &device, &port};
  std::size_t chars = 4;
  for (auto s : strings)
    chars += s->size() + 1;
  Bytes b(2 * chars, 0);
  std::size_t at = 4;
  for (std::size_t i = 0; i < 3; ++i) {
    WriteU16(&b[2 * i], static_cast<std::uint16_t>(at));
    for (wchar_t c : *strings[i])
      WriteU16(&b[2 * at++], c);
    ++at; // NUL
  }
  WriteU16(&b[6], 0);
  return b;
}

std::wstring DevNamesDevice(const Bytes &devNames) {
  if (devNames.size() < 8)
    return {};
  const std::size_t at = ReadU16(&devNames[2]);
  std::wstring s;
  for (std::size_t i = at; 2 * i + 1 < devNames.size(); ++i) {
    const wchar_t c = static_cast<wchar_t>(ReadU16(&devNames[2 * i]));
    if (!c)
      break;
    s.push_back(c);
  }
  return s;
}

std::wstring PrinterStateTest::Key(int index) { return PrinterKeyPath(index); }

void PrinterStateTest::SetUp() {
  hadRoot_ = KeyExists(kRoot);
  for (int i = 0; i < 2; ++i) {
    saved_[i] = ReadKeyValues(Key(i), &hadKey_[i]);
    DeleteKeyTree(Key(i));
    ClearPrinterEntry(PrinterSettings[i]);
  }
}

void PrinterStateTest::TearDown() {
  for (int i = 0; i < 2; ++i) {
    ClearPrinterEntry(PrinterSettings[i]);
    DeleteKeyTree(Key(i));
  }
  if (!hadRoot_) {
    DeleteKeyTree(kRoot);
    return;
  }
  for (int i = 0; i < 2; ++i)
    if (hadKey_[i])
      WriteKeyValues(Key(i), saved_[i]);
}

OwnerWindow::OwnerWindow() {
  hwnd_ = CreateWindowExW(0, L"STATIC", L"Printer test owner",
                          WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                          GetModuleHandleW(nullptr), nullptr);
}

OwnerWindow::~OwnerWindow() {
  if (hwnd_)
    DestroyWindow(hwnd_);
}

bool ChoosePrinter(HWND dialog, const std::wstring &printer) {
  HWND list = GetDlgItem(dialog, cmb4);
  if (!list)
    return false;
  const LRESULT item = SendMessageW(list, CB_FINDSTRINGEXACT, WPARAM(-1),
                                    reinterpret_cast<LPARAM>(printer.c_str()));
  if (item == CB_ERR)
    return false;
  SendMessageW(list, CB_SETCURSEL, item, 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(cmb4, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(list));
  return true;
}

std::wstring DefaultPrinter() {
  DWORD size = 0;
  GetDefaultPrinterW(nullptr, &size);
  if (!size)
    return {};
  std::wstring name(size, L'\0');
  if (!GetDefaultPrinterW(&name[0], &size))
    return {};
  name.resize(std::wcslen(name.c_str()));
  return name;
}

std::vector<std::wstring> InstalledPrinters() {
  std::vector<std::wstring> names;
  DWORD needed = 0, count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &count);
  if (!needed)
    return names;
  std::vector<BYTE> buffer(needed);
  if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, buffer.data(), needed,
                     &needed, &count))
    return names;
  const auto *info = reinterpret_cast<const PRINTER_INFO_4W *>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    names.push_back(info[i].pPrinterName);
  return names;
}

std::wstring SecondPrinter() {
  wchar_t name[256];
  const DWORD n = GetEnvironmentVariableW(L"ZV_FAX_PRINTER", name, 256);
  return n > 0 && n < 256 ? std::wstring(name, n) : L"ZelvantorFax";
}

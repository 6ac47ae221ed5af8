// Registry, global-memory and print-dialog helpers for the printer tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include "support/dialog_driver.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

using Bytes = std::vector<unsigned char>;

struct StoredValue {
  DWORD type = 0;
  Bytes data;
  bool operator==(const StoredValue &o) const {
    return type == o.type && data == o.data;
  }
};
using KeyValues = std::map<std::wstring, StoredValue>;

// The values of a key under HKEY_CURRENT_USER; *exists tells whether the
// key is there at all.
KeyValues ReadKeyValues(const std::wstring &path, bool *exists = nullptr);
bool ReadValue(const std::wstring &path, const wchar_t *name,
               StoredValue *value);
void WriteValue(const std::wstring &path, const wchar_t *name, DWORD type,
                const Bytes &data);
void WriteKeyValues(const std::wstring &path, const KeyValues &values);
void DeleteKeyTree(const std::wstring &path);

// A movable global block holding `bytes`; the bytes of a block.
HGLOBAL BlockFromBytes(const Bytes &bytes);
Bytes BlockBytes(HGLOBAL block);

// A DEVMODEW image: dmDeviceName, dmSpecVersion 0x401, dmSize and
// dmDriverExtra as given, `size` bytes in all (dmSize + dmDriverExtra unless
// told otherwise).
Bytes MakeDevMode(const std::wstring &device, std::uint16_t dmSize = 220,
                  std::uint16_t dmDriverExtra = 8, std::size_t size = 0);
// A DEVNAMES image with the three strings packed behind the header, as the
// print dialog builds it.
Bytes MakeDevNames(const std::wstring &driver, const std::wstring &device,
                   const std::wstring &port);
std::wstring DevNamesDevice(const Bytes &devNames);

// Removes the stored printers (keys 0 and 1) and empties both printer
// entries for a test, and puts back what the user had afterwards.
class PrinterStateTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  static std::wstring Key(int index);

private:
  bool hadRoot_ = false;
  bool hadKey_[2] = {};
  KeyValues saved_[2];
};

// A plain top-level window to own the print dialog.
class OwnerWindow {
public:
  OwnerWindow();
  ~OwnerWindow();
  OwnerWindow(const OwnerWindow &) = delete;
  OwnerWindow &operator=(const OwnerWindow &) = delete;
  HWND get() const { return hwnd_; }

private:
  HWND hwnd_ = nullptr;
};

// Picks `printer` in the print dialog's printer list, as a click would.
bool ChoosePrinter(HWND dialog, const std::wstring &printer);

std::wstring DefaultPrinter();
std::vector<std::wstring> InstalledPrinters();
// The second printer that the test environment installs beside the default.
std::wstring SecondPrinter();

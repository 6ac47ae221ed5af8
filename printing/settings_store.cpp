#include "printing/settings_store.h"

#include "imaging/global_memory.h"
#include "printing/printer_settings.h"
#include "printing/registry_key.h"
#include "printing/settings_image.h"

#include <commdlg.h>

namespace {

const wchar_t kImageValue[] = L"PRINTDLGEXW";
const wchar_t kDevModeValue[] = L"DEVMODEW";
const wchar_t kDevNamesValue[] = L"DEVNAMES";
// Written by older versions; removed by every save, never read.
const wchar_t kStaleDevModeSizeValue[] = L"DEVMODEW Size";

// The stored image is the structure of a 32-bit build, field for field.
static_assert(sizeof(void *) != 4 || sizeof(PRINTDLGEXW) == kPrintDialogImageSize,
              "PRINTDLGEXW of a 32-bit build is the stored image");

bool IsPrinterIndex(int index) { return index >= 0 && index < kPrinterCount; }

// A pointer or handle means nothing in another process, and a 64-bit one
// does not fit the stored layout: they are always stored as 0.
PrintDialogImage ImageForSave(const PRINTDLGEXW &e) {
  PrintDialogImage image;
  image.lStructSize = kPrintDialogImageSize;
  image.Flags = e.Flags & ~DWORD(PD_RETURNDEFAULT);
  image.Flags2 = e.Flags2;
  image.ExclusionFlags = e.ExclusionFlags;
  image.nPageRanges = e.nPageRanges;
  image.nMaxPageRanges = e.nMaxPageRanges;
  image.nMinPage = e.nMinPage;
  image.nMaxPage = e.nMaxPage;
  image.nCopies = 1;
  image.nPropertyPages = e.nPropertyPages;
  image.nStartPage = e.nStartPage;
  image.dwResultAction = e.dwResultAction;
  return image;
}

// Whatever the stored pointers and handles say, none of them may reach the
// print dialog: they are cleared, together with the counts of the arrays
// they would point to.
PRINTDLGEXW EntryFromImage(const PrintDialogImage &image) {
  PRINTDLGEXW e{};
  e.lStructSize = sizeof(PRINTDLGEXW);
  e.Flags = image.Flags & ~DWORD(PD_RETURNDEFAULT);
  e.Flags2 = image.Flags2;
  e.ExclusionFlags = image.ExclusionFlags;
  e.nMinPage = image.nMinPage;
  e.nMaxPage = image.nMaxPage;
  e.nCopies = 1;
  e.nStartPage = image.nStartPage;
  e.dwResultAction = image.dwResultAction;
  return e;
}

using MeasureBlock = std::size_t (*)(const void *block, std::size_t size);

// GetDevModeSize answers in 32 bits, the measure in the size type.
std::size_t MeasureDevMode(const void *block, std::size_t size) {
  return GetDevModeSize(block, size);
}

// Writes the measured part of a block, or deletes the value when there is
// no block or its measure does not fit inside it.
void WriteBlockValue(RegistryKey &key, const wchar_t *name, HGLOBAL handle,
                     MeasureBlock measure) {
  GlobalLockGuard lock(handle);
  if (lock) {
    const std::size_t size = measure(lock.data(), lock.size());
    if (size != 0 && size <= lock.size()) {
      key.SetValue(name, REG_BINARY, lock.data(), static_cast<DWORD>(size));
      return;
    }
  }
  key.DeleteValue(name);
}

// Reads a binary value into a new movable block. A value of 0 bytes is
// accepted and gives no block. Refused: a missing value, another type, fewer
// than minSize bytes, or a block whose own measure differs from its size.
bool ReadBlockValue(RegistryKey &key, const wchar_t *name, std::size_t minSize,
                    MeasureBlock measure, GlobalBlock *out) {
  DWORD type = 0, size = 0;
  if (key.QueryValue(name, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_BINARY)
    return false;
  if (size == 0)
    return true;
  GlobalBlock block = NewFilledBlock(size, [&](void *data) {
    DWORD readType = 0, read = size;
    return key.QueryValue(name, &readType, data, &read) == ERROR_SUCCESS &&
           readType == REG_BINARY && read == size && read >= minSize &&
           measure(data, read) == read;
  });
  if (!block)
    return false;
  *out = std::move(block);
  return true;
}

} // namespace

std::wstring PrinterKeyPath(int index) {
  return L"Software\\Zelvantor\\Copier\\" + std::to_wstring(index);
}

bool SavePrinterSettings(int index) {
  if (!IsPrinterIndex(index))
    return false;
  const PRINTDLGEXW &e = PrinterSettings[index];
  RegistryKey key;
  if (key.Create(HKEY_CURRENT_USER, PrinterKeyPath(index).c_str(), KEY_WRITE) !=
      ERROR_SUCCESS)
    return false;
  unsigned char image[kPrintDialogImageSize];
  WritePrintDialogImage(ImageForSave(e), image);
  key.SetValue(kImageValue, REG_BINARY, image, sizeof image);
  WriteBlockValue(key, kDevModeValue, e.hDevMode, MeasureDevMode);
  WriteBlockValue(key, kDevNamesValue, e.hDevNames, GetDevNamesSize);
  key.DeleteValue(kStaleDevModeSizeValue);
  return true;
}

bool LoadPrinterSettings(int index) {
  if (!IsPrinterIndex(index))
    return false;
  RegistryKey key;
  if (key.Create(HKEY_CURRENT_USER, PrinterKeyPath(index).c_str(), KEY_READ) !=
      ERROR_SUCCESS)
    return false;

  unsigned char bytes[kPrintDialogImageSize];
  DWORD type = 0, size = sizeof bytes;
  PrintDialogImage image;
  if (key.QueryValue(kImageValue, &type, bytes, &size) != ERROR_SUCCESS ||
      type != REG_BINARY || !ReadPrintDialogImage(bytes, size, &image))
    return false;

  GlobalBlock devMode, devNames;
  if (!ReadBlockValue(key, kDevModeValue, kMinStoredDevModeSize, MeasureDevMode,
                      &devMode) ||
      !ReadBlockValue(key, kDevNamesValue, kMinDevNamesSize, GetDevNamesSize,
                      &devNames))
    return false;

  // Accepted: the entry takes the image and the blocks, and gives up the
  // blocks it held before.
  PRINTDLGEXW &e = PrinterSettings[index];
  ClearPrinterEntry(e);
  e = EntryFromImage(image);
  e.hDevMode = devMode.release();
  e.hDevNames = devNames.release();
  return true;
}

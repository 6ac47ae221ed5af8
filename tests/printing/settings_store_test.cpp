// Storing the printer entries in Wine's real registry.
#include "printing_test_support.h"

#include "printing/printer_settings.h"
#include "printing/settings_image.h"
#include "printing/settings_store.h"

#include <cstring>

namespace {

const Bytes kDevMode = MakeDevMode(L"Stored Printer");
const Bytes kDevNames = MakeDevNames(L"wineps.drv", L"Stored Printer", L"CUPS:Stored Printer");

Bytes ImageBytes(const PrintDialogImage &image) {
  unsigned char bytes[kPrintDialogImageSize];
  WritePrintDialogImage(image, bytes);
  return Bytes(bytes, bytes + sizeof bytes);
}

PrintDialogImage StoredImage() {
  PrintDialogImage image;
  image.lStructSize = 84;
  image.Flags = 0x0090000C;
  image.nCopies = 1;
  image.nStartPage = 0xFFFFFFFF;
  image.dwResultAction = 1;
  return image;
}

// An entry as the print dialog leaves it, with its own blocks.
void FillEntry(PRINTDLGEXW &e, const Bytes &devMode, const Bytes &devNames) {
  ClearPrinterEntry(e);
  e.lStructSize = sizeof(PRINTDLGEXW);
  e.hwndOwner = GetDesktopWindow();
  e.hDevMode = devMode.empty() ? nullptr : BlockFromBytes(devMode);
  e.hDevNames = devNames.empty() ? nullptr : BlockFromBytes(devNames);
  e.Flags = PD_RETURNDEFAULT | 0x0090000C;
  e.nCopies = 5;
  e.nStartPage = START_PAGE_GENERAL;
  e.dwResultAction = PD_RESULT_APPLY;
}

class SettingsStore : public PrinterStateTest {};

} // namespace

TEST_F(SettingsStore, SaveWritesThe32BitImageAndBothBlocks) {
  PRINTDLGEXW &e = PrinterSettings[1];
  FillEntry(e, kDevMode, kDevNames);
  ASSERT_TRUE(SavePrinterSettings(1));

  const KeyValues values = ReadKeyValues(Key(1));
  ASSERT_EQ(3u, values.size());
  const StoredValue &image = values.at(L"PRINTDLGEXW");
  EXPECT_EQ(DWORD(REG_BINARY), image.type);
  PrintDialogImage read;
  ASSERT_TRUE(ReadPrintDialogImage(image.data.data(), image.data.size(), &read));
  EXPECT_EQ(84u, read.lStructSize);
  EXPECT_EQ(0u, read.hwndOwner);
  EXPECT_EQ(0u, read.hDevMode);
  EXPECT_EQ(0u, read.hDevNames);
  EXPECT_EQ(0u, read.hDC);
  EXPECT_EQ(0x0090000Cu, read.Flags); // without PD_RETURNDEFAULT
  EXPECT_EQ(1u, read.nCopies);
  EXPECT_EQ(0xFFFFFFFFu, read.nStartPage);
  EXPECT_EQ(2u, read.dwResultAction);
  EXPECT_EQ((StoredValue{REG_BINARY, kDevMode}), values.at(L"DEVMODEW"));
  EXPECT_EQ((StoredValue{REG_BINARY, kDevNames}), values.at(L"DEVNAMES"));
  // The entry itself is not changed by saving it.
  EXPECT_EQ(5u, e.nCopies);
  EXPECT_EQ(DWORD(PD_RETURNDEFAULT | 0x0090000C), e.Flags);
}

TEST_F(SettingsStore, LoadReadsBackWhatWasSaved) {
  PRINTDLGEXW &e = PrinterSettings[0];
  FillEntry(e, kDevMode, kDevNames);
  e.hDC = reinterpret_cast<HDC>(0x1234); // never requested; must not survive
  ASSERT_TRUE(SavePrinterSettings(0));
  e.hDC = nullptr;
  ClearPrinterEntry(e);

  ASSERT_TRUE(LoadPrinterSettings(0));
  EXPECT_EQ(sizeof(PRINTDLGEXW), e.lStructSize);
  EXPECT_EQ(nullptr, e.hwndOwner);
  EXPECT_EQ(nullptr, e.hDC);
  EXPECT_EQ(1u, e.nCopies);
  EXPECT_EQ(0x0090000Cu, e.Flags);
  EXPECT_EQ(START_PAGE_GENERAL, e.nStartPage);
  EXPECT_EQ(DWORD(PD_RESULT_APPLY), e.dwResultAction);
  EXPECT_EQ(kDevMode, BlockBytes(e.hDevMode));
  EXPECT_EQ(kDevNames, BlockBytes(e.hDevNames));
  EXPECT_EQ(L"Stored Printer", GetPrinterDeviceName(e));
  EXPECT_EQ(nullptr, PrinterSettings[1].hDevMode); // the other entry untouched
}

TEST_F(SettingsStore, LoadClearsStoredPointersAndHandles) {
  // Another build, or damage, left numbers in every field.
  PrintDialogImage image;
  std::uint32_t n = 0x11111111;
  for (std::uint32_t *f :
       {&image.lStructSize, &image.hwndOwner, &image.hDevMode, &image.hDevNames,
        &image.hDC, &image.Flags, &image.Flags2, &image.ExclusionFlags,
        &image.nPageRanges, &image.nMaxPageRanges, &image.lpPageRanges,
        &image.nMinPage, &image.nMaxPage, &image.nCopies, &image.hInstance,
        &image.lpPrintTemplateName, &image.lpCallback, &image.nPropertyPages,
        &image.lphPropertyPages, &image.nStartPage, &image.dwResultAction}) {
    *f = n;
    n += 0x01010101;
  }
  image.Flags |= PD_RETURNDEFAULT;
  WriteValue(Key(0), L"PRINTDLGEXW", REG_BINARY, ImageBytes(image));
  WriteValue(Key(0), L"DEVMODEW", REG_BINARY, kDevMode);
  WriteValue(Key(0), L"DEVNAMES", REG_BINARY, kDevNames);

  ASSERT_TRUE(LoadPrinterSettings(0));
  const PRINTDLGEXW &e = PrinterSettings[0];
  EXPECT_EQ(sizeof(PRINTDLGEXW), e.lStructSize);
  EXPECT_EQ(nullptr, e.hwndOwner);
  EXPECT_EQ(nullptr, e.hDC);
  EXPECT_EQ(nullptr, e.lpPageRanges);
  EXPECT_EQ(0u, e.nPageRanges);
  EXPECT_EQ(0u, e.nMaxPageRanges);
  EXPECT_EQ(nullptr, e.hInstance);
  EXPECT_EQ(nullptr, e.lpPrintTemplateName);
  EXPECT_EQ(nullptr, e.lpCallback);
  EXPECT_EQ(0u, e.nPropertyPages);
  EXPECT_EQ(nullptr, e.lphPropertyPages);
  EXPECT_EQ(1u, e.nCopies);
  EXPECT_EQ(0u, e.Flags & PD_RETURNDEFAULT);
  // Plain numbers are taken over as stored.
  EXPECT_EQ(image.Flags & ~DWORD(PD_RETURNDEFAULT), e.Flags);
  EXPECT_EQ(image.nMinPage, e.nMinPage);
  EXPECT_EQ(image.nStartPage, e.nStartPage);
  EXPECT_EQ(image.dwResultAction, e.dwResultAction);
  EXPECT_EQ(kDevMode, BlockBytes(e.hDevMode));
}

// One stored value: absent, or a type and bytes.
struct ValueSpec {
  bool present;
  DWORD type;
  Bytes data;
};
ValueSpec Binary(const Bytes &b) { return {true, REG_BINARY, b}; }
ValueSpec Typed(DWORD type, const Bytes &b) { return {true, type, b}; }
const ValueSpec kAbsent{false, 0, {}};

TEST_F(SettingsStore, LoadAcceptsOnlySoundValues) {
  const Bytes image = ImageBytes(StoredImage());
  Bytes devNamesOutside = kDevNames;
  devNamesOutside[4] = 200; // output offset beyond the block
  Bytes devNamesUnterminated = kDevNames;
  devNamesUnterminated[devNamesUnterminated.size() - 2] = 'x';
  Bytes devNamesPadded = kDevNames;
  devNamesPadded.resize(kDevNames.size() + 4, 0);

  struct Case {
    const char *what;
    ValueSpec image, devMode, devNames;
    bool accepted;
  } cases[] = {
      {"sound values", Binary(image), Binary(kDevMode), Binary(kDevNames), true},
      {"PRINTDLGEXW of 83 bytes", Binary(Bytes(image.begin(), image.end() - 1)),
       Binary(kDevMode), Binary(kDevNames), false},
      {"PRINTDLGEXW of 85 bytes", Binary([&] { Bytes b = image; b.push_back(0); return b; }()),
       Binary(kDevMode), Binary(kDevNames), false},
      {"PRINTDLGEXW as REG_DWORD", Typed(REG_DWORD, Bytes{84, 0, 0, 0}),
       Binary(kDevMode), Binary(kDevNames), false},
      {"PRINTDLGEXW of 84 bytes as REG_DWORD", Typed(REG_DWORD, image),
       Binary(kDevMode), Binary(kDevNames), false},
      {"no PRINTDLGEXW", kAbsent, Binary(kDevMode), Binary(kDevNames), false},
      {"no DEVMODEW", Binary(image), kAbsent, Binary(kDevNames), false},
      {"DEVMODEW as REG_SZ", Binary(image), Typed(REG_SZ, kDevMode),
       Binary(kDevNames), false},
      {"DEVMODEW of 219 bytes, sizes agreeing", Binary(image),
       Binary(MakeDevMode(L"P", 211, 8)), Binary(kDevNames), false},
      {"DEVMODEW of 220 bytes without extra", Binary(image),
       Binary(MakeDevMode(L"P", 220, 0)), Binary(kDevNames), true},
      {"DEVMODEW of 228 bytes claiming 220", Binary(image),
       Binary(MakeDevMode(L"P", 220, 0, 228)), Binary(kDevNames), false},
      {"DEVMODEW of 228 bytes claiming 236", Binary(image),
       Binary(MakeDevMode(L"P", 220, 16, 228)), Binary(kDevNames), false},
      {"DEVMODEW of 0 bytes", Binary(image), Binary({}), Binary(kDevNames), true},
      {"no DEVNAMES", Binary(image), Binary(kDevMode), kAbsent, false},
      {"DEVNAMES as REG_DWORD", Binary(image), Binary(kDevMode),
       Typed(REG_DWORD, kDevNames), false},
      {"DEVNAMES of 7 bytes", Binary(image), Binary(kDevMode),
       Binary(Bytes{4, 0, 4, 0, 4, 0, 0}), false},
      {"DEVNAMES offset outside the block", Binary(image), Binary(kDevMode),
       Binary(devNamesOutside), false},
      {"DEVNAMES string without NUL", Binary(image), Binary(kDevMode),
       Binary(devNamesUnterminated), false},
      {"DEVNAMES longer than its strings", Binary(image), Binary(kDevMode),
       Binary(devNamesPadded), false},
      {"DEVNAMES of 0 bytes", Binary(image), Binary(kDevMode), Binary({}), true},
  };
  const Bytes oldDevMode = MakeDevMode(L"Before");
  const Bytes oldDevNames = MakeDevNames(L"d", L"Before", L"p");
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    DeleteKeyTree(Key(0));
    const ValueSpec *specs[] = {&c.image, &c.devMode, &c.devNames};
    const wchar_t *names[] = {L"PRINTDLGEXW", L"DEVMODEW", L"DEVNAMES"};
    for (int i = 0; i < 3; ++i)
      if (specs[i]->present)
        WriteValue(Key(0), names[i], specs[i]->type, specs[i]->data);

    // The entry holds another printer; a refused load must leave it so.
    PRINTDLGEXW &e = PrinterSettings[0];
    FillEntry(e, oldDevMode, oldDevNames);
    const PRINTDLGEXW before = e;

    EXPECT_EQ(c.accepted, LoadPrinterSettings(0));
    if (c.accepted) {
      EXPECT_EQ(sizeof(PRINTDLGEXW), e.lStructSize);
      EXPECT_EQ(c.devMode.data, BlockBytes(e.hDevMode));
      EXPECT_EQ(c.devNames.data, BlockBytes(e.hDevNames));
      EXPECT_EQ(c.devMode.data.empty(), e.hDevMode == nullptr);
      EXPECT_EQ(c.devNames.data.empty(), e.hDevNames == nullptr);
    } else {
      EXPECT_EQ(0, std::memcmp(&before, &e, sizeof e));
      EXPECT_EQ(oldDevMode, BlockBytes(e.hDevMode));
      EXPECT_EQ(oldDevNames, BlockBytes(e.hDevNames));
    }
    EXPECT_EQ(nullptr, PrinterSettings[1].hDevMode);
    ClearPrinterEntry(e);
  }
}

TEST_F(SettingsStore, FirstLoadCreatesTheEmptyKeys) {
  for (int index : {0, 1}) {
    SCOPED_TRACE(index);
    bool exists = true;
    ReadKeyValues(Key(index), &exists);
    ASSERT_FALSE(exists);
    EXPECT_FALSE(LoadPrinterSettings(index));
    const KeyValues values = ReadKeyValues(Key(index), &exists);
    EXPECT_TRUE(exists);
    EXPECT_TRUE(values.empty());
    EXPECT_EQ(0u, PrinterSettings[index].lStructSize);
  }
}

TEST_F(SettingsStore, SaveRemovesTheOldSizeValueAndValuesWithoutBlocks) {
  WriteValue(Key(0), L"DEVMODEW Size", REG_DWORD, Bytes{228, 0, 0, 0});
  WriteValue(Key(0), L"DEVMODEW", REG_BINARY, kDevMode);
  WriteValue(Key(0), L"DEVNAMES", REG_BINARY, kDevNames);

  FillEntry(PrinterSettings[0], {}, {});
  ASSERT_TRUE(SavePrinterSettings(0));
  KeyValues values = ReadKeyValues(Key(0));
  EXPECT_EQ(1u, values.size());
  EXPECT_EQ(1u, values.count(L"PRINTDLGEXW"));
  // Saved without a DEVMODEW block, the entry never loads again.
  EXPECT_FALSE(LoadPrinterSettings(0));

  WriteValue(Key(0), L"DEVMODEW Size", REG_DWORD, Bytes{228, 0, 0, 0});
  FillEntry(PrinterSettings[0], kDevMode, kDevNames);
  ASSERT_TRUE(SavePrinterSettings(0));
  values = ReadKeyValues(Key(0));
  EXPECT_EQ(0u, values.count(L"DEVMODEW Size"));
  EXPECT_EQ(3u, values.size());
}

TEST_F(SettingsStore, SaveNeverReadsBeyondABlock) {
  // A DEVMODEW block shorter than its own fields claim, and a DEVNAMES block
  // whose string runs off its end: neither is stored, old values go.
  WriteValue(Key(0), L"DEVMODEW", REG_BINARY, kDevMode);
  WriteValue(Key(0), L"DEVNAMES", REG_BINARY, kDevNames);
  Bytes shortDevMode = MakeDevMode(L"Short", 220, 8, 100);
  Bytes cutDevNames = kDevNames;
  cutDevNames.resize(cutDevNames.size() - 2);
  FillEntry(PrinterSettings[0], shortDevMode, cutDevNames);
  ASSERT_TRUE(SavePrinterSettings(0));
  const KeyValues values = ReadKeyValues(Key(0));
  EXPECT_EQ(0u, values.count(L"DEVMODEW"));
  EXPECT_EQ(0u, values.count(L"DEVNAMES"));
  EXPECT_EQ(1u, values.count(L"PRINTDLGEXW"));
}

TEST_F(SettingsStore, ThePrintersKeysAreIndependent) {
  FillEntry(PrinterSettings[0], kDevMode, kDevNames);
  ASSERT_TRUE(SavePrinterSettings(0));
  WriteValue(Key(0), L"DEVMODEW Size", REG_DWORD, Bytes{1, 0, 0, 0});
  const KeyValues copyKey = ReadKeyValues(Key(0));

  FillEntry(PrinterSettings[1], MakeDevMode(L"Fax", 220, 0),
            MakeDevNames(L"drv", L"Fax", L"FAX:"));
  ASSERT_TRUE(SavePrinterSettings(1));
  EXPECT_EQ(copyKey, ReadKeyValues(Key(0)));

  const KeyValues faxKey = ReadKeyValues(Key(1));
  ClearPrinterEntry(PrinterSettings[1]);
  ASSERT_TRUE(LoadPrinterSettings(1));
  EXPECT_EQ(L"Fax", GetPrinterDeviceName(PrinterSettings[1]));
  ASSERT_TRUE(SavePrinterSettings(0));
  EXPECT_EQ(faxKey, ReadKeyValues(Key(1)));
}

TEST_F(SettingsStore, OnlyTheTwoPrinterIndexes) {
  FillEntry(PrinterSettings[0], kDevMode, kDevNames);
  for (int index : {-1, 2, 10}) {
    SCOPED_TRACE(index);
    EXPECT_FALSE(SavePrinterSettings(index));
    EXPECT_FALSE(LoadPrinterSettings(index));
    EXPECT_FALSE(SelectPrinter(nullptr, index));
    bool exists = true;
    ReadKeyValues(PrinterKeyPath(index), &exists);
    EXPECT_FALSE(exists);
  }
}

// Choosing printers with Wine's real print dialog and the CUPS PDF printers
// of the test environment; the NoPrinter tests run in a Wine prefix that
// sees no printer at all.
#include "printing_test_support.h"

#include "imaging/global_memory.h"
#include "imaging/little_endian.h"
#include "printing/printer_settings.h"
#include "printing/settings_image.h"
#include "printing/settings_store.h"

#include <algorithm>
#include <cstring>

namespace {

// Answers any dialog with Cancel: for calls that must show none, so that a
// fault fails the test instead of hanging it.
void Cancel(HWND dialog) { PressButton(dialog, IDCANCEL); }

PrintDialogImage StoredImage(int index) {
  StoredValue v;
  PrintDialogImage image;
  if (ReadValue(PrinterKeyPath(index), L"PRINTDLGEXW", &v))
    ReadPrintDialogImage(v.data.data(), v.data.size(), &image);
  return image;
}

std::wstring StoredDevice(int index) {
  StoredValue v;
  return ReadValue(PrinterKeyPath(index), L"DEVNAMES", &v) ? DevNamesDevice(v.data)
                                                           : L"";
}

void MarkKey(int index) {
  // Every save deletes this value: while it is there, nothing was saved.
  WriteValue(PrinterKeyPath(index), L"DEVMODEW Size", REG_DWORD, Bytes{1, 0, 0, 0});
}

bool Marked(int index) {
  StoredValue v;
  return ReadValue(PrinterKeyPath(index), L"DEVMODEW Size", &v);
}

// A process restart, as far as the printer entries go.
void Restart() {
  for (PRINTDLGEXW &e : PrinterSettings)
    ClearPrinterEntry(e);
}

class PrinterSelection : public PrinterStateTest {
protected:
  void SetUp() override {
    PrinterStateTest::SetUp();
    defaultPrinter_ = DefaultPrinter();
    ASSERT_FALSE(defaultPrinter_.empty()) << "the test environment installs a default printer";
  }
  std::wstring defaultPrinter_;
};

} // namespace

TEST_F(PrinterSelection, FirstStartTakesTheDefaultPrinterForBothEntries) {
  OwnerWindow owner;
  DialogDriver watch(Cancel);
  ASSERT_TRUE(SelectPrinter(owner.get(), 0));
  ASSERT_TRUE(SelectPrinter(owner.get(), 1));
  EXPECT_EQ(0, watch.DialogsSeen());

  for (int index : {0, 1}) {
    SCOPED_TRACE(index);
    const PRINTDLGEXW &e = PrinterSettings[index];
    EXPECT_EQ(defaultPrinter_, GetPrinterDeviceName(e));
    EXPECT_EQ(sizeof(PRINTDLGEXW), e.lStructSize);
    EXPECT_NE(0u, e.Flags & PD_RETURNDEFAULT);
    ASSERT_NE(nullptr, e.hDevMode);
    ASSERT_NE(nullptr, e.hDevNames);

    const KeyValues values = ReadKeyValues(PrinterKeyPath(index));
    ASSERT_EQ(3u, values.size());
    for (const auto &v : values)
      EXPECT_EQ(DWORD(REG_BINARY), v.second.type);
    const PrintDialogImage image = StoredImage(index);
    EXPECT_EQ(84u, image.lStructSize);
    EXPECT_EQ(0u, image.hwndOwner);
    EXPECT_EQ(0u, image.hDevMode);
    EXPECT_EQ(0u, image.Flags & PD_RETURNDEFAULT);
    EXPECT_EQ(0x0090000Cu, image.Flags & 0x0090000Cu);
    EXPECT_EQ(1u, image.nCopies);
    EXPECT_EQ(0xFFFFFFFFu, image.nStartPage);

    const Bytes devMode = BlockBytes(e.hDevMode);
    const std::size_t devModeSize = GetDevModeSize(devMode.data(), devMode.size());
    ASSERT_GE(devModeSize, kMinStoredDevModeSize);
    EXPECT_EQ(Bytes(devMode.begin(), devMode.begin() + devModeSize),
              values.at(L"DEVMODEW").data);
    EXPECT_EQ(defaultPrinter_, StoredDevice(index));
  }
}

TEST_F(PrinterSelection, FirstStartWithoutOwnerTakesTheDefaultPrinter) {
  // The command-line copy has no window to own a dialog.
  DialogDriver watch(Cancel);
  ASSERT_TRUE(SelectPrinter(nullptr, 0));
  EXPECT_EQ(0, watch.DialogsSeen());
  EXPECT_EQ(defaultPrinter_, GetPrinterDeviceName(PrinterSettings[0]));
  EXPECT_EQ(defaultPrinter_, StoredDevice(0));
  bool exists = true;
  ReadKeyValues(PrinterKeyPath(1), &exists);
  EXPECT_FALSE(exists); // the fax printer was not asked for
}

TEST_F(PrinterSelection, StoredPrinterThatOpensIsTakenWithoutDialogOrWrite) {
  ASSERT_TRUE(SelectPrinter(nullptr, 0));
  {
    // Landscape, stored: the next start must bring it back.
    GlobalLockGuard lock(PrinterSettings[0].hDevMode);
    auto *dm = static_cast<DEVMODEW *>(lock.data());
    dm->dmFields |= DM_ORIENTATION;
    dm->dmOrientation = DMORIENT_LANDSCAPE;
  }
  ASSERT_TRUE(SavePrinterSettings(0));
  Restart();
  MarkKey(0);
  const KeyValues stored = ReadKeyValues(PrinterKeyPath(0));

  OwnerWindow owner;
  DialogDriver watch(Cancel);
  ASSERT_TRUE(SelectPrinter(owner.get(), 0));
  EXPECT_EQ(0, watch.DialogsSeen());
  EXPECT_EQ(stored, ReadKeyValues(PrinterKeyPath(0)));
  EXPECT_TRUE(Marked(0));

  const PRINTDLGEXW &e = PrinterSettings[0];
  EXPECT_EQ(defaultPrinter_, GetPrinterDeviceName(e));
  EXPECT_EQ(sizeof(PRINTDLGEXW), e.lStructSize);
  EXPECT_EQ(nullptr, e.hDC);
  EXPECT_EQ(1u, e.nCopies);
  EXPECT_EQ(0u, e.Flags & PD_RETURNDEFAULT);
  GlobalLockGuard lock(e.hDevMode);
  ASSERT_TRUE(lock);
  EXPECT_EQ(DMORIENT_LANDSCAPE, static_cast<DEVMODEW *>(lock.data())->dmOrientation);
}

TEST_F(PrinterSelection, StoredPrinterThatNoLongerOpensIsReplacedByTheDefault) {
  ASSERT_TRUE(SelectPrinter(nullptr, 0));
  const Bytes image = ReadKeyValues(PrinterKeyPath(0)).at(L"PRINTDLGEXW").data;
  const Bytes devMode = ReadKeyValues(PrinterKeyPath(0)).at(L"DEVMODEW").data;

  struct Case {
    const wchar_t *what;
    std::wstring device; // in DEVNAMES and dmDeviceName
    bool withDevNames;
  } cases[] = {
      {L"a removed printer", L"ZelvantorGone", true},
      {L"the display", L"DISPLAY", true},
      {L"no name at all", L"", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Restart();
    DeleteKeyTree(PrinterKeyPath(0));
    Bytes gone = devMode;
    std::fill(gone.begin(), gone.begin() + 64, 0);
    for (std::size_t i = 0; i < c.device.size(); ++i)
      WriteU16(&gone[2 * i], c.device[i]);
    WriteValue(PrinterKeyPath(0), L"PRINTDLGEXW", REG_BINARY, image);
    WriteValue(PrinterKeyPath(0), L"DEVMODEW", REG_BINARY, gone);
    WriteValue(PrinterKeyPath(0), L"DEVNAMES", REG_BINARY,
               c.withDevNames ? MakeDevNames(L"wineps.drv", c.device, L"CUPS:" + c.device)
                              : Bytes{});
    MarkKey(0);
    ASSERT_TRUE(LoadPrinterSettings(0)); // the data itself is sound
    ASSERT_EQ(c.device, GetPrinterDeviceName(PrinterSettings[0]));
    Restart();

    OwnerWindow owner;
    DialogDriver watch(Cancel);
    ASSERT_TRUE(SelectPrinter(owner.get(), 0));
    EXPECT_EQ(0, watch.DialogsSeen());
    EXPECT_EQ(defaultPrinter_, GetPrinterDeviceName(PrinterSettings[0]));
    EXPECT_FALSE(Marked(0)); // saved
    EXPECT_EQ(defaultPrinter_, StoredDevice(0));
  }
}

TEST_F(PrinterSelection, BrowseThenCancelChangesNothing) {
  ASSERT_TRUE(SelectPrinter(nullptr, 0));
  ASSERT_TRUE(SelectPrinter(nullptr, 1));
  MarkKey(0);
  const KeyValues stored[] = {ReadKeyValues(PrinterKeyPath(0)),
                              ReadKeyValues(PrinterKeyPath(1))};
  const Bytes devMode = BlockBytes(PrinterSettings[0].hDevMode);
  const Bytes devNames = BlockBytes(PrinterSettings[0].hDevNames);

  OwnerWindow owner;
  {
    DialogDriver driver(Cancel);
    EXPECT_FALSE(SelectPrinter(owner.get(), 0));
    EXPECT_EQ(1, driver.DialogsSeen());
  }
  const PRINTDLGEXW &e = PrinterSettings[0];
  EXPECT_EQ(DWORD(PD_RESULT_CANCEL), e.dwResultAction);
  EXPECT_EQ(defaultPrinter_, GetPrinterDeviceName(e));
  EXPECT_EQ(devMode, BlockBytes(e.hDevMode));
  EXPECT_EQ(devNames, BlockBytes(e.hDevNames));
  EXPECT_EQ(stored[0], ReadKeyValues(PrinterKeyPath(0)));
  EXPECT_EQ(stored[1], ReadKeyValues(PrinterKeyPath(1)));
}

TEST_F(PrinterSelection, ConfirmedDialogStoresTheNewChoice) {
  const std::wstring second = SecondPrinter();
  const auto installed = InstalledPrinters();
  ASSERT_NE(installed.end(), std::find(installed.begin(), installed.end(), second))
      << "the test environment installs a second printer";
  ASSERT_NE(second, defaultPrinter_);

  ASSERT_TRUE(SelectPrinter(nullptr, 0));
  ASSERT_TRUE(SelectPrinter(nullptr, 1));
  MarkKey(0);
  const KeyValues faxKey = ReadKeyValues(PrinterKeyPath(1));

  OwnerWindow owner;
  bool chosen = false;
  {
    DialogDriver driver([&](HWND dialog) {
      chosen = ChoosePrinter(dialog, second);
      PressButton(dialog, chosen ? IDOK : IDCANCEL);
    });
    EXPECT_TRUE(SelectPrinter(owner.get(), 0));
    EXPECT_EQ(1, driver.DialogsSeen());
  }
  ASSERT_TRUE(chosen);
  const PRINTDLGEXW &e = PrinterSettings[0];
  EXPECT_EQ(DWORD(PD_RESULT_PRINT), e.dwResultAction);
  EXPECT_EQ(second, GetPrinterDeviceName(e));
  EXPECT_FALSE(Marked(0));
  EXPECT_EQ(second, StoredDevice(0));
  EXPECT_EQ(1u, StoredImage(0).dwResultAction);
  EXPECT_EQ(faxKey, ReadKeyValues(PrinterKeyPath(1)));

  // The choice survives a restart and is taken without a dialog.
  Restart();
  DialogDriver watch(Cancel);
  ASSERT_TRUE(SelectPrinter(owner.get(), 0));
  ASSERT_TRUE(SelectPrinter(owner.get(), 1));
  EXPECT_EQ(0, watch.DialogsSeen());
  EXPECT_EQ(second, GetPrinterDeviceName(PrinterSettings[0]));
  EXPECT_EQ(defaultPrinter_, GetPrinterDeviceName(PrinterSettings[1]));
}

TEST_F(PrinterSelection, WithoutPrintDlgExTheOlderDialogDoesTheWork) {
  // As on a platform without PrintDlgExW: the real PrintDlgW, with the
  // flags and the result mapped back.
  PRINTDLGEXW &e = PrinterSettings[0];
  e.lStructSize = sizeof(PRINTDLGEXW);
  e.Flags = PD_RETURNDEFAULT | 0x0090000C;
  e.nCopies = 1;
  e.nStartPage = START_PAGE_GENERAL;
  e.dwResultAction = 7;
  ASSERT_EQ(S_OK, RunPrintDialogWith(e, nullptr));
  EXPECT_EQ(DWORD(PD_RESULT_PRINT), e.dwResultAction);
  EXPECT_NE(0u, e.Flags & PD_NOCURRENTPAGE);
  EXPECT_EQ(defaultPrinter_, GetPrinterDeviceName(e));

  OwnerWindow owner;
  e.hwndOwner = owner.get();
  struct Case {
    int button;
    DWORD result;
  } cases[] = {{IDOK, PD_RESULT_PRINT}, {IDCANCEL, PD_RESULT_CANCEL}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.button);
    e.Flags = 0x0090000C;
    DialogDriver driver([&](HWND dialog) { PressButton(dialog, c.button); });
    EXPECT_EQ(S_OK, RunPrintDialogWith(e, nullptr));
    EXPECT_EQ(c.result, e.dwResultAction);
    EXPECT_EQ(1, driver.DialogsSeen());
    EXPECT_EQ(defaultPrinter_, GetPrinterDeviceName(e));
  }
}

TEST_F(PrinterSelection, DefaultRequestSucceedsWherePrintDlgExRefusesIt) {
  // Wine's PrintDlgExW answers E_HANDLE without an owner window and
  // E_INVALIDARG when page numbers are enabled without page ranges; the
  // older dialog must then take the default printer instead.
  OwnerWindow owner;
  struct Case {
    const char *what;
    HWND owner;
    DWORD flags;
  } cases[] = {
      {"no owner window", nullptr, PD_RETURNDEFAULT | 0x0090000C},
      {"page numbers without ranges", owner.get(), PD_RETURNDEFAULT},
      {"as SelectPrinter asks", owner.get(), PD_RETURNDEFAULT | 0x0090000C},
  };
  DialogDriver watch(Cancel);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    PRINTDLGEXW &e = PrinterSettings[0];
    ClearPrinterEntry(e);
    e.lStructSize = sizeof(PRINTDLGEXW);
    e.hwndOwner = c.owner;
    e.Flags = c.flags;
    e.nCopies = 1;
    e.nStartPage = START_PAGE_GENERAL;
    EXPECT_EQ(S_OK, RunPrintDialog(e));
    EXPECT_NE(nullptr, e.hDevMode);
    EXPECT_EQ(defaultPrinter_, GetPrinterDeviceName(e));
  }
  EXPECT_EQ(0, watch.DialogsSeen());
}

TEST(PrintDlgExFallback, OnlyTheResultsThatCallForTheOlderDialog) {
  struct Case {
    HRESULT result;
    bool fallback;
  } cases[] = {
      {E_NOTIMPL, true},      {E_HANDLE, true},  {E_INVALIDARG, true},
      {S_OK, false},          {S_FALSE, false},  {E_FAIL, false},
      {E_OUTOFMEMORY, false}, {E_POINTER, false},
      {HRESULT_FROM_WIN32(ERROR_CANCELLED), false},
  };
  for (const Case &c : cases)
    EXPECT_EQ(c.fallback, PrintDlgExNeedsFallback(c.result)) << std::hex << c.result;
}

TEST(PrinterDeviceName, FromDevNamesElseDmDeviceName) {
  const Bytes alpha = MakeDevNames(L"wineps.drv", L"Alpha", L"CUPS:Alpha");
  const Bytes emptyDevice = MakeDevNames(L"wineps.drv", L"", L"CUPS:Alpha");
  Bytes outside = alpha;
  outside[2] = 250; // device offset beyond the block
  const Bytes beta = MakeDevMode(L"Beta");
  const Bytes longName = MakeDevMode(std::wstring(40, L'L'));

  struct Case {
    const char *what;
    Bytes devNames, devMode;
    std::wstring expected;
  } cases[] = {
      {"device string of DEVNAMES", alpha, beta, L"Alpha"},
      {"DEVNAMES alone", alpha, {}, L"Alpha"},
      {"empty device string", emptyDevice, beta, L"Beta"},
      {"device offset outside DEVNAMES", outside, beta, L"Beta"},
      {"no DEVNAMES", {}, beta, L"Beta"},
      {"dmDeviceName fills all 32 characters", {}, longName, std::wstring(32, L'L')},
      {"neither block", {}, {}, L""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    PRINTDLGEXW e{};
    e.hDevNames = c.devNames.empty() ? nullptr : BlockFromBytes(c.devNames);
    e.hDevMode = c.devMode.empty() ? nullptr : BlockFromBytes(c.devMode);
    EXPECT_EQ(c.expected, GetPrinterDeviceName(e));
    // The blocks are unlocked again.
    if (e.hDevNames) {
      EXPECT_EQ(0u, GlobalFlags(e.hDevNames) & GMEM_LOCKCOUNT);
    }
    if (e.hDevMode) {
      EXPECT_EQ(0u, GlobalFlags(e.hDevMode) & GMEM_LOCKCOUNT);
    }
    ClearPrinterEntry(e);
  }
}

// Run only in a prefix that sees no printer (see run_without_printer.sh).
class NoPrinter : public PrinterStateTest {
protected:
  void SetUp() override {
    PrinterStateTest::SetUp();
    ASSERT_TRUE(InstalledPrinters().empty()) << "this prefix must see no printer";
  }
};

TEST_F(NoPrinter, SelectPrinterFailsAndTheEntryHoldsNoBlocks) {
  OwnerWindow owner;
  DialogDriver watch(Cancel);
  struct Case {
    HWND owner;
    int index;
  } cases[] = {{nullptr, 0}, {owner.get(), 0}, {owner.get(), 1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.index);
    Restart();
    EXPECT_FALSE(SelectPrinter(c.owner, c.index));
    EXPECT_EQ(nullptr, PrinterSettings[c.index].hDevMode);
    EXPECT_EQ(nullptr, PrinterSettings[c.index].hDevNames);
    EXPECT_TRUE(GetPrinterDeviceName(PrinterSettings[c.index]).empty());
    EXPECT_TRUE(ReadKeyValues(PrinterKeyPath(c.index)).empty()); // nothing saved
  }
  EXPECT_EQ(0, watch.DialogsSeen());
}

TEST_F(NoPrinter, AStoredPrinterIsKeptForWhenItComesBack) {
  const std::wstring name = L"ZelvantorPDF";
  PrintDialogImage image;
  image.lStructSize = 84;
  image.Flags = 0x0090000C;
  image.nCopies = 1;
  unsigned char bytes[kPrintDialogImageSize];
  WritePrintDialogImage(image, bytes);
  WriteValue(PrinterKeyPath(0), L"PRINTDLGEXW", REG_BINARY, Bytes(bytes, bytes + 84));
  WriteValue(PrinterKeyPath(0), L"DEVMODEW", REG_BINARY, MakeDevMode(name));
  WriteValue(PrinterKeyPath(0), L"DEVNAMES", REG_BINARY,
             MakeDevNames(L"wineps.drv", name, L"CUPS:" + name));
  const KeyValues stored = ReadKeyValues(PrinterKeyPath(0));

  DialogDriver watch(Cancel);
  EXPECT_FALSE(SelectPrinter(nullptr, 0));
  EXPECT_EQ(0, watch.DialogsSeen());
  EXPECT_EQ(nullptr, PrinterSettings[0].hDevMode);
  EXPECT_EQ(nullptr, PrinterSettings[0].hDevNames);
  EXPECT_EQ(stored, ReadKeyValues(PrinterKeyPath(0)));
}

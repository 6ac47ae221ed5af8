// What an exception leaves behind. The standard library throws
// std::bad_alloc when memory runs out; the copy job and the session hold
// every handle and state pair in owners and scope guards, so whichever
// allocation fails, the exception unwinds to a session at rest, an owner
// enabled, the scanner selection as it was and every block given back.
//
// This program's operator new fails on request: the n-th allocation of one
// copy, for every n until a copy makes no allocation that could fail. The
// simulated manager and the stand-in printer are the test's own and never
// fail.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <new>

#include "app/localized_texts.h"
#include "copyjob/copy_job.h"
#include "copyjob/print_calls.h"
#include "printing/printer_settings.h"
#include "tools/twainsim/sim_engine.h"
#include "tools/twainsim/sim_ledger.h"
#include "twain/scanner_profile.h"
#include "twain/scanner_session.h"

namespace {

// Allocations left before the one that fails; -1: none fails.
long g_allocationsBeforeFailure = -1;
// Inside the test's own stand-ins nothing fails.
int g_standIn = 0;
bool g_failed = false;

struct StandIn {
  StandIn() { ++g_standIn; }
  ~StandIn() { --g_standIn; }
};

} // namespace

void *operator new(std::size_t size) {
  if (g_allocationsBeforeFailure >= 0 && g_standIn == 0 && g_allocationsBeforeFailure-- == 0) {
    g_failed = true;
    throw std::bad_alloc();
  }
  if (void *p = HeapAlloc(GetProcessHeap(), 0, size != 0 ? size : 1))
    return p;
  throw std::bad_alloc();
}
void operator delete(void *p) noexcept {
  if (p != nullptr)
    HeapFree(GetProcessHeap(), 0, p);
}
void operator delete(void *p, std::size_t) noexcept { operator delete(p); }

namespace {

twainsim::SimEngine *g_engine = nullptr;
TW_UINT16 WINAPI SimEntry(TW_IDENTITY *o, TW_IDENTITY *d, TW_UINT32 dg, TW_UINT16 dat,
                          TW_UINT16 msg, TW_MEMREF data) {
  const StandIn standIn;
  return g_engine->Entry(o, d, dg, dat, msg, data);
}

// A printer that takes every page and keeps nothing.
int g_boxes = 0;
int g_pages = 0;
HDC WINAPI StubCreateDC(LPCWSTR, LPCWSTR, LPCWSTR, const DEVMODEW *) {
  return CreateCompatibleDC(nullptr);
}
int WINAPI StubOne(HDC) { return 1; }
int WINAPI StubStartDoc(HDC, const DOCINFOW *) { return 1; }
HDC WINAPI StubResetDC(HDC dc, const DEVMODEW *) { return dc; }
int WINAPI StubEndPage(HDC) { return ++g_pages; }
int WINAPI StubMessageBox(HWND, LPCWSTR, LPCWSTR, UINT) {
  ++g_boxes;
  return IDOK;
}
int WINAPI StubDeviceCaps(HDC, int index) {
  return index == LOGPIXELSX || index == LOGPIXELSY ? 300 : 0;
}
BOOL WINAPI StubViewport(HDC, int, int, POINT *) { return TRUE; }
int WINAPI StubStretchMode(HDC, int) { return 1; }
int WINAPI StubStretch(HDC, int, int, int, int, int, int, int, int height, const void *,
                       const BITMAPINFO *, UINT, DWORD) {
  return height;
}
const PrintCalls kStubPrinter = {StubCreateDC,   StubStartDoc,   StubResetDC,     StubOne,
                                 StubEndPage,    StubOne,        StubOne,         DeleteDC,
                                 StubMessageBox, StubDeviceCaps, StubViewport,    StubStretchMode,
                                 StubStretch};

twainsim::SimSource Scanner(const char *name) {
  twainsim::SimScannerModel model;
  model.resolutions = {50, 75};
  model.resolutionDefault = 50;
  twainsim::SimSource source;
  source.identity = twainsim::MakeIdentity("Zelvantor", "Test", name);
  source.capabilities = twainsim::MakeCapabilities(model);
  return source;
}

TEST(ExceptionPaths, EveryFailedAllocationOfACopyUnwindsToRest) {
  ModuleInstance = GetModuleHandleW(nullptr);
  SetThreadLocale(MAKELCID(0x0409, SORT_DEFAULT));
  LoadLocalizedTexts();
  if (PrinterSettings[0].hDevNames == nullptr && PrinterSettings[0].hDevMode == nullptr)
    SelectPrinter(nullptr, 0); // a device name to look up; no page reaches it
  ASSERT_TRUE(twainsim::FreeLedger::Process().Watch(GetModuleHandleW(nullptr)));
  HWND owner = CreateWindowExW(0, L"STATIC", L"ZV sweep owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                               100, 100, 600, 400, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, owner);
  twainsim::SimConfig config;
  // A scanner no other test has profiled: its first lookups allocate.
  config.sources.push_back(Scanner("Sweep Flatbed A"));
  config.sources.push_back(Scanner("Sweep Flatbed B"));
  config.defaultSource = 1;
  auto engine = std::make_unique<twainsim::SimEngine>(config);
  g_engine = engine.get();
  auto session = std::make_unique<ScannerSession>(owner, &SimEntry);
  ASSERT_TRUE(session->IsAvailable());
  // The scanner the dialog shows stays chosen, whatever the lookup did to
  // reach another one.
  const std::uint32_t chosen = ScannerIdOf(config.sources[0].identity);
  ASSERT_EQ(chosen, session->SelectSource(chosen, false));
  SetPrintCalls(&kStubPrinter);

  CopyParameters params;
  params.copies = 1;
  params.scale = 10000;
  params.mode = 0;
  params.OneDocumentPerCopy = 0;
  int failures = 0;
  for (long n = 0; n < 2000; ++n) {
    SCOPED_TRACE(n);
    g_failed = false;
    g_boxes = g_pages = 0;
    g_allocationsBeforeFailure = n;
    bool threw = false;
    try {
      RunCopyJob(*session, PrinterSettings[0], params);
    } catch (const std::bad_alloc &) {
      threw = true;
    }
    g_allocationsBeforeFailure = -1;
    if (!g_failed) {
      // Every allocation of a copy has had its turn; this one went through.
      EXPECT_FALSE(threw);
      EXPECT_EQ(1, g_pages);
      break;
    }
    ++failures;
    EXPECT_EQ(StateManagerLoaded, session->state);
    EXPECT_EQ(2, engine->ManagerState());
    EXPECT_EQ(3, engine->SourceState());
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_FALSE(IsWindowVisible(session->proxyWindow.get()));
    EXPECT_FALSE(session->OperationRunning());
    EXPECT_EQ(chosen, session->scannerId);
    EXPECT_EQ(0u, engine->NotFreed());
    EXPECT_EQ(0u, engine->FreedTwice());
  }
  EXPECT_LT(0, failures) << "no allocation was made to fail";
  SetPrintCalls(nullptr);

  // No profile half read was kept for the rest of the process.
  ScannerProfile profile;
  ASSERT_TRUE(session->GetScannerProfile(0, profile));
  EXPECT_TRUE(profile.bResolutionArray);
  EXPECT_EQ(2u, profile.ResolutionCount);
  session->Shutdown();
  session.reset();
  g_engine = nullptr;
  DestroyWindow(owner);
}

} // namespace

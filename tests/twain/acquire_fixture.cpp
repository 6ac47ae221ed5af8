#include "twain/acquire_fixture.h"

#include <cstring>

#include "imaging/global_memory.h"
#include "tools/twainsim/sim_ledger.h"

using namespace twainsim;

namespace {

TW_IDENTITY VirtualScannerIdentity(const char *productName) {
  return MakeIdentity("Zelvantor", "Virtual Scanner", productName, "1.0");
}

// The engine's own name without its "DS " or "DSM "; an event names what
// the source made of it.
std::string Describe(const SimCall &c) {
  if (c.dat == DAT_EVENT)
    return "PROCESSEVENT " + MsgName(c.eventMessage);
  const std::string name = c.Name();
  return name.substr(name.find(' ') + 1);
}

int g_enableMessages = 0;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ENABLE)
    ++g_enableMessages;
  return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

TW_IDENTITY GreyscaleForBwIdentity() { return VirtualScannerIdentity("ZV Greyscale 1-bit TzGuxPPT"); }
TW_IDENTITY UnqueriedIdentityA() { return VirtualScannerIdentity("ZV Skipped TpUUzBPP"); }
TW_IDENTITY UnqueriedIdentityB() { return VirtualScannerIdentity("ZV Skipped TuQirPPP"); }

SimSource SourceWithIdentity(const TW_IDENTITY &identity) {
  SimSource source;
  source.identity = identity;
  source.capabilities = MakeCapabilities(SimScannerModel{});
  return source;
}

SimSource Flatbed(const std::string &productName) {
  return SourceWithIdentity(VirtualScannerIdentity(productName.c_str()));
}

SimConfig OneSource(SimSource source) {
  SimConfig config;
  config.sources.push_back(std::move(source));
  return config;
}

SimSession::SimSession(SimConfig config, HWND owner) : engine(std::move(config)) {
  // Every free of this test program is counted from now on.
  WatchFrees();
  InstallEngine(&engine);
  session = std::make_unique<ScannerSession>(owner, &SimDsmEntry);
  engine.ClearCalls();
}

SimSession::~SimSession() {
  session.reset();
  InstallEngine(nullptr);
}

std::vector<std::string> SimSession::Calls() const {
  std::vector<std::string> names;
  for (const SimCall &c : engine.Calls()) {
    if (c.dat == DAT_EVENT && c.rc != TWRC_DSEVENT)
      continue;
    names.push_back(Describe(c));
  }
  return names;
}

bool SimSession::Called(const std::string &name) const {
  for (const std::string &n : Calls())
    if (n == name)
      return true;
  return false;
}

bool SimSession::LastSet(TW_UINT16 cap, TW_UINT32 &item) const {
  bool found = false;
  for (const SimCall &c : engine.Calls())
    if (c.toSource && c.dat == DAT_CAPABILITY && c.msg == MSG_SET && c.cap == cap) {
      item = c.item;
      found = true;
    }
  return found;
}

::testing::AssertionResult SimSession::NothingLeaked(std::size_t keptImages) const {
  if (engine.LiveContainers() != 0)
    return ::testing::AssertionFailure()
           << engine.LiveContainers() << " source containers not freed";
  if (engine.LiveApplicationContainers() != 0)
    return ::testing::AssertionFailure()
           << engine.LiveApplicationContainers() << " application containers not freed";
  if (engine.LiveImages() != keptImages)
    return ::testing::AssertionFailure()
           << engine.LiveImages() << " images alive, expected " << keptImages;
  return EachGivenBackOnce(engine, keptImages);
}

void WatchFrees() {
  ASSERT_TRUE(FreeLedger::Process().Watch(GetModuleHandleW(nullptr)))
      << "the test program's imports of GlobalFree were not found";
}

::testing::AssertionResult EachGivenBackOnce(const SimEngine &engine, std::size_t kept) {
  if (!FreeLedger::Process().Watching())
    return ::testing::AssertionFailure() << "frees are not watched";
  if (engine.FreedTwice() != 0)
    return ::testing::AssertionFailure() << engine.FreedTwice() << " frees of blocks freed before";
  if (engine.NotFreed() != kept)
    return ::testing::AssertionFailure()
           << engine.NotFreed() << " blocks not given back, expected " << kept;
  return ::testing::AssertionSuccess();
}

void DrainQueue() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
    DispatchMessageW(&message);
}

const wchar_t kOwnerWindowClass[] = L"ZVTestOwner";

OwnerWindow::OwnerWindow(bool visible) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kOwnerWindowClass;
    RegisterClassExW(&wc);
    registered = true;
  }
  hwnd = CreateWindowExW(0, kOwnerWindowClass, L"ZV test owner", WS_OVERLAPPEDWINDOW, 100, 100,
                         600, 400, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (visible)
    ShowWindow(hwnd, SW_SHOW);
  DrainQueue();
  g_enableMessages = 0;
}

OwnerWindow::~OwnerWindow() {
  DestroyWindow(hwnd);
  DrainQueue();
}

int OwnerWindow::enableMessages() const { return g_enableMessages; }

namespace {

template <typename T> T Field(HGLOBAL block, std::size_t offset, T impossible) {
  GlobalLockGuard lock(block);
  if (!lock || lock.size() < offset + sizeof(T))
    return impossible;
  T v;
  std::memcpy(&v, lock.bytes() + offset, sizeof v);
  return v;
}

} // namespace

std::uint32_t FieldU32(HGLOBAL block, std::size_t offset) {
  return Field<std::uint32_t>(block, offset, 0xDEADBEEF);
}

std::uint16_t FieldU16(HGLOBAL block, std::size_t offset) {
  return Field<std::uint16_t>(block, offset, 0xBEEF);
}

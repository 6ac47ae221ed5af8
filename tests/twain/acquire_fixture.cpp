#include "twain/acquire_fixture.h"

#include <cstdio>
#include <cstring>

#include "imaging/global_memory.h"
#include "twain/scanner_profile.h"

using namespace twainsim;

namespace {

TW_IDENTITY VirtualScannerIdentity(const char *productName) {
  return MakeIdentity("Zelvantor", "Virtual Scanner", productName, "1.0");
}

std::string MsgText(TW_UINT16 msg) {
  switch (msg) {
  case MSG_GET: return "GET";
  case MSG_GETCURRENT: return "GETCURRENT";
  case MSG_GETDEFAULT: return "GETDEFAULT";
  case MSG_GETFIRST: return "GETFIRST";
  case MSG_GETNEXT: return "GETNEXT";
  case MSG_SET: return "SET";
  case MSG_RESET: return "RESET";
  case MSG_OPENDSM: return "OPENDSM";
  case MSG_CLOSEDSM: return "CLOSEDSM";
  case MSG_OPENDS: return "OPENDS";
  case MSG_CLOSEDS: return "CLOSEDS";
  case MSG_USERSELECT: return "USERSELECT";
  case MSG_DISABLEDS: return "DISABLEDS";
  case MSG_ENABLEDS: return "ENABLEDS";
  case MSG_PROCESSEVENT: return "PROCESSEVENT";
  case MSG_ENDXFER: return "ENDXFER";
  case MSG_XFERREADY: return "XFERREADY";
  case MSG_CLOSEDSREQ: return "CLOSEDSREQ";
  default: {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "MSG_%04X", msg);
    return buffer;
  }
  }
}

std::string CapText(TW_UINT16 cap) {
  switch (cap) {
  case CAP_UICONTROLLABLE: return "CAP_UICONTROLLABLE";
  case ICAP_PIXELTYPE: return "ICAP_PIXELTYPE";
  case ICAP_UNITS: return "ICAP_UNITS";
  case ICAP_BRIGHTNESS: return "ICAP_BRIGHTNESS";
  case ICAP_CONTRAST: return "ICAP_CONTRAST";
  case ICAP_PHYSICALWIDTH: return "ICAP_PHYSICALWIDTH";
  case ICAP_PHYSICALHEIGHT: return "ICAP_PHYSICALHEIGHT";
  case ICAP_XNATIVERESOLUTION: return "ICAP_XNATIVERESOLUTION";
  case ICAP_YNATIVERESOLUTION: return "ICAP_YNATIVERESOLUTION";
  case ICAP_XRESOLUTION: return "ICAP_XRESOLUTION";
  case ICAP_YRESOLUTION: return "ICAP_YRESOLUTION";
  case ICAP_THRESHOLD: return "ICAP_THRESHOLD";
  default: {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "CAP_%04X", cap);
    return buffer;
  }
  }
}

std::string Describe(const SimCall &c) {
  if (c.dg == DG_IMAGE) {
    std::string dat = c.dat == DAT_IMAGEINFO        ? "IMAGEINFO"
                      : c.dat == DAT_IMAGELAYOUT    ? "IMAGELAYOUT"
                      : c.dat == DAT_IMAGENATIVEXFER ? "IMAGENATIVEXFER"
                                                     : "DAT_" + std::to_string(c.dat);
    return dat + " " + MsgText(c.msg);
  }
  if (c.dat == DAT_CAPABILITY)
    return MsgText(c.msg) + " " + CapText(c.cap);
  if (c.dat == DAT_EVENT)
    return "PROCESSEVENT " + MsgText(c.eventMessage);
  return MsgText(c.msg);
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

std::uint32_t IdOf(const TW_IDENTITY &identity) {
  ScannerProfile profile;
  ProfileFromIdentity(identity, profile);
  return profile.ScannerId;
}

SimSession::SimSession(SimConfig config, HWND owner) : engine(std::move(config)) {
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
  return ::testing::AssertionSuccess();
}

OwnerWindow::OwnerWindow() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = OwnerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZVAcquireTestOwner";
    RegisterClassExW(&wc);
    registered = true;
  }
  hwnd = CreateWindowExW(0, L"ZVAcquireTestOwner", L"Owner", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200,
                         nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ShowWindow(hwnd, SW_SHOWNA);
  g_enableMessages = 0;
}

OwnerWindow::~OwnerWindow() { DestroyWindow(hwnd); }

int OwnerWindow::enableMessages() const { return g_enableMessages; }

std::uint32_t FieldU32(HGLOBAL block, std::size_t offset) {
  GlobalLockGuard lock(block);
  if (!lock || lock.size() < offset + 4)
    return 0xDEADBEEF;
  std::uint32_t v;
  std::memcpy(&v, lock.bytes() + offset, 4);
  return v;
}

std::uint16_t FieldU16(HGLOBAL block, std::size_t offset) {
  GlobalLockGuard lock(block);
  if (!lock || lock.size() < offset + 2)
    return 0xBEEF;
  std::uint16_t v;
  std::memcpy(&v, lock.bytes() + offset, 2);
  return v;
}

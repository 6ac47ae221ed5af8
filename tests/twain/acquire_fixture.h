// A ScannerSession talking to the in-process simulated source manager, and
// the small helpers the session, acquisition, profile and report tests share.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/twainsim/sim_engine.h"
#include "twain/scanner_profile.h"
#include "twain/scanner_session.h"

// Identities with a chosen ScannerId (their last characters were solved
// for): the scanner whose black-and-white pages are made from greyscale and
// the two whose capabilities are never read.
TW_IDENTITY GreyscaleForBwIdentity(); // 0xA510B7A9
TW_IDENTITY UnqueriedIdentityA();     // 0x5E04618C
TW_IDENTITY UnqueriedIdentityB();     // 0xFEE356DF

// A flatbed with the simulator's default data sheet under this product name.
twainsim::SimSource Flatbed(const std::string &productName);
twainsim::SimSource SourceWithIdentity(const TW_IDENTITY &identity);
// A configuration listing just this source.
twainsim::SimConfig OneSource(twainsim::SimSource source);

// The engine installed as the process's manager and a session built on it.
// The calls of the session's construction are cleared.
class SimSession {
public:
  explicit SimSession(twainsim::SimConfig config, HWND owner = nullptr);
  ~SimSession();
  twainsim::SimEngine engine;
  std::unique_ptr<ScannerSession> session;

  // The recorded calls in a compact form: "OPENDSM", "GETFIRST",
  // "SET ICAP_XRESOLUTION", "GET ICAP_BRIGHTNESS", "IMAGELAYOUT SET",
  // "PROCESSEVENT XFERREADY", "IMAGENATIVEXFER GET", ... Message offers the
  // source did not claim are left out.
  std::vector<std::string> Calls() const;
  bool Called(const std::string &name) const;
  // The item of the last MSG_SET of a capability (one value); false if none.
  bool LastSet(TW_UINT16 cap, TW_UINT32 &item) const;
  // Every container and image handed out in either direction was freed,
  // apart from `keptImages` images the test still owns.
  ::testing::AssertionResult NothingLeaked(std::size_t keptImages = 0) const;
};

// Counts every GlobalFree and DeleteObject of this test program from now on
// (twainsim::FreeLedger), so that a block freed twice or not at all shows.
void WatchFrees();
// Every container and image the engine's sources handed out, and every
// container the application sent, was given back exactly once, apart from
// `kept` the test still owns. Needs WatchFrees.
::testing::AssertionResult EachGivenBackOnce(const twainsim::SimEngine &engine,
                                             std::size_t kept = 0);

// Dispatches whatever the thread's queue holds.
void DrainQueue();

// A top-level window (600 x 400 at 100, 100) that owns sessions as the
// copier's dialog would, and counts the WM_ENABLE messages it gets. A hidden
// one stands for a dialog not yet shown.
extern const wchar_t kOwnerWindowClass[];
class OwnerWindow {
public:
  explicit OwnerWindow(bool visible = true);
  ~OwnerWindow();
  OwnerWindow(const OwnerWindow &) = delete;
  OwnerWindow &operator=(const OwnerWindow &) = delete;
  HWND hwnd = nullptr;
  int enableMessages() const;
};

// Little-endian field reads on a locked block; an impossible value when the
// block is too short.
std::uint32_t FieldU32(HGLOBAL block, std::size_t offset);
std::uint16_t FieldU16(HGLOBAL block, std::size_t offset);

// TWAIN_32.DLL of the virtual scanner: the simulated source manager and
// sources of tools/twainsim behind the standard DSM_Entry, configured by the
// INI file that ZV_VSCANNER_INI names (see vscanner_config.cpp).
//
// What this layer adds to the engine: the configuration (read again at each
// MSG_OPENDSM, so that a test may change it between sessions), the trace
// file, the manager's "Select Source" dialog for MSG_USERSELECT and the
// source's own Scan/Cancel dialog when MSG_ENABLEDS asks for its user
// interface.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tools/twainsim/sim_engine.h"
#include "tools/vscanner/vscanner_config.h"
#include "tools/vscanner/vscanner_dialogs.h"
#include "tools/vscanner/vscanner_sim.h"
#include "tools/vscanner/vscanner_trace.h"

namespace vscanner {
namespace {

HINSTANCE g_instance = nullptr;

// Appends lines to the trace file. Each line opens, writes and closes the
// file: a reader sees every call at once, even if the process dies, and a
// test may delete the file between two sessions without the DLL holding on
// to the old one.
class TraceFile {
public:
  void Open(const std::wstring &path) { path_ = path; }

  void Line(const std::string &text) const {
    if (path_.empty())
      return;
    HANDLE file = CreateFileW(path_.c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
      return;
    const std::string line = text + "\r\n";
    DWORD written = 0;
    WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr);
    CloseHandle(file);
  }

private:
  std::wstring path_;
};

struct Manager {
  Config config;
  std::wstring iniFolder;
  std::unique_ptr<twainsim::SimEngine> engine;
  TraceFile trace;
  std::uint32_t sequence = 0;
  // The source's own dialog while it is enabled with its user interface,
  // and what is needed to let the engine announce the user's choice.
  HWND scanDialog = nullptr;
  int uiSource = -1;  // index of the source whose dialog is shown
  TW_IDENTITY uiOrigin{};
  TW_IDENTITY uiDestination{};
  TW_USERINTERFACE uiData{};
  int uiChoice = 0;   // 0 none yet, 1 Scan, 2 Cancel
  bool inEngine = false;
};

Manager &TheManager() {
  static Manager manager;
  return manager;
}

std::wstring EnvironmentValue(const wchar_t *name) {
  wchar_t small[1];
  const DWORD needed = GetEnvironmentVariableW(name, small, 0);
  if (needed == 0)
    return std::wstring();
  std::wstring value(needed, L'\0');
  const DWORD got = GetEnvironmentVariableW(name, &value[0], needed);
  value.resize(got < needed ? got : 0);
  return value;
}

// A configuration file is a few lines; anything larger is not one.
constexpr std::uint32_t kMaxIniBytes = 1u << 20;

// Reads the INI file (or takes the default flatbed) and starts a fresh
// engine on it. Only while the manager is closed.
void LoadConfiguration(Manager &m) {
  const std::wstring iniPath = EnvironmentValue(kIniVariable);
  std::vector<std::uint8_t> text;
  std::string problem;
  m.iniFolder.clear();
  if (iniPath.empty()) {
    m.config = DefaultConfig();
  } else if (ReadWholeFile(iniPath, kMaxIniBytes, text)) {
    m.config = ParseConfig(std::string(text.begin(), text.end()));
    const auto slash = iniPath.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
      m.iniFolder = iniPath.substr(0, slash);
  } else {
    m.config = DefaultConfig();
    problem = "configuration file not readable; playing the default flatbed";
  }
  m.trace.Open(WideFromUtf8(m.config.tracePath));
  if (!problem.empty())
    m.trace.Line("# " + problem);
  for (const auto &warning : m.config.warnings)
    m.trace.Line("# configuration " + warning);
  m.engine = std::make_unique<twainsim::SimEngine>(ToSimConfig(m.config, m.iniFolder));
}

std::string QuotedProduct(const TW_IDENTITY *identity) {
  if (!identity)
    return std::string();
  const char *name = identity->ProductName;
  std::size_t n = 0;
  while (n < sizeof identity->ProductName && name[n])
    ++n;
  return "\"" + std::string(name, n) + "\"";
}

// The value a one-value MSG_SET carries, as " value=N" (FIX32 with two
// decimals), so that a trace shows what the application asked for.
std::string SetValueOf(const TW_CAPABILITY &cap) {
  if (cap.ConType != TWON_ONEVALUE || cap.hContainer == nullptr)
    return std::string();
  const void *block = GlobalLock(cap.hContainer);
  if (block == nullptr)
    return std::string();
  TW_ONEVALUE one;
  std::memcpy(&one, block, sizeof one);
  GlobalUnlock(cap.hContainer);
  char text[32];
  switch (one.ItemType) {
  case TWTY_FIX32: {
    TW_FIX32 fix;
    std::memcpy(&fix, &one.Item, sizeof fix);
    std::snprintf(text, sizeof text, "%.2f", fix.Whole + fix.Frac / 65536.0);
    break;
  }
  case TWTY_INT16:
    std::snprintf(text, sizeof text, "%d", int(TW_INT16(one.Item)));
    break;
  case TWTY_INT32:
    std::snprintf(text, sizeof text, "%ld", long(TW_INT32(one.Item)));
    break;
  default:
    std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(one.Item));
    break;
  }
  return std::string(" value=") + text;
}

std::string DetailOf(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                     TW_MEMREF data, TW_UINT16 rc) {
  if (dg != DG_CONTROL && dg != DG_IMAGE)
    return std::string();
  if (dat == DAT_CAPABILITY && data) {
    const auto *cap = static_cast<const TW_CAPABILITY *>(data);
    return "cap=" + CapabilityName(cap->Cap) + (msg == MSG_SET ? SetValueOf(*cap) : "");
  }
  if (dat == DAT_EVENT && data && rc == TWRC_DSEVENT)
    return "event=" + MsgName(static_cast<TW_EVENT *>(data)->TWMessage);
  if (dat == DAT_PENDINGXFERS && data && rc == TWRC_SUCCESS)
    return "count=" + std::to_string(static_cast<TW_PENDINGXFERS *>(data)->Count);
  if (dat == DAT_USERINTERFACE && msg == MSG_ENABLEDS && data)
    return "showUI=" + std::to_string(static_cast<TW_USERINTERFACE *>(data)->ShowUI);
  if (dat == DAT_IDENTITY && data && (rc == TWRC_SUCCESS || msg == MSG_OPENDS))
    return "source=" + QuotedProduct(static_cast<TW_IDENTITY *>(data));
  return std::string();
}

void WriteTrace(Manager &m, TW_IDENTITY *origin, TW_IDENTITY *destination, TW_UINT32 dg,
               TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data, TW_UINT16 rc) {
  vscanner::TraceCall line;
  line.sequence = ++m.sequence;
  line.originId = origin ? origin->Id : 0;
  line.hasDestination = destination != nullptr;
  line.destinationId = destination ? destination->Id : 0;
  line.dg = dg;
  line.dat = dat;
  line.msg = msg;
  line.rc = rc;
  line.detail = DetailOf(dg, dat, msg, data, rc);
  m.trace.Line(FormatTraceLine(line));
}

TW_UINT16 UserSelect(Manager &m, TW_IDENTITY *origin, TW_IDENTITY *identity) {
  std::vector<std::wstring> names;
  for (const auto &setup : m.config.sources)
    names.push_back(WideFromUtf8(setup.productName));
  const int chosen = RunSourceSelectDialog(g_instance, m.engine->ParentWindow(), names,
                                           int(m.config.defaultSource));
  m.engine->Config().userSelect = chosen;
  return m.engine->Entry(origin, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, identity);
}

void CloseScanDialog(Manager &m) {
  HWND dialog = m.scanDialog;
  m.scanDialog = nullptr;
  m.uiSource = -1;
  m.uiChoice = 0;
  DestroyScanDialog(dialog);
}

TW_UINT16 CallEngine(Manager &m, TW_IDENTITY *origin, TW_IDENTITY *destination, TW_UINT32 dg,
                     TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  m.inEngine = true;
  const TW_UINT16 rc = m.engine->Entry(origin, destination, dg, dat, msg, data);
  m.inEngine = false;
  return rc;
}

// The user pressed Scan or Cancel in the source's dialog. The engine
// announces its notification when a source is enabled, so the source is
// enabled once more inside, with the outcome the user chose: Scan plays the
// configured behaviour (its delay included), Cancel asks the application
// to close the source (MSG_CLOSEDSREQ).
void DeliverUiChoice(Manager &m) {
  if (m.uiChoice == 0 || m.inEngine || !m.engine || m.uiSource < 0 || m.engine->SourceState() != 5 ||
      m.engine->OpenSourceIndex() != m.uiSource)
    return;
  auto &behaviour = m.engine->Config().sources[std::size_t(m.uiSource)].behaviour;
  const twainsim::SimBehaviour saved = behaviour;
  if (m.uiChoice == 2) {
    behaviour.outcome = twainsim::SimOutcome::CloseRequest;
    behaviour.notifyDelayMs = 0;
  }
  m.uiChoice = 0;
  TW_USERINTERFACE ui = m.uiData;
  CallEngine(m, &m.uiOrigin, &m.uiDestination, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
  CallEngine(m, &m.uiOrigin, &m.uiDestination, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  behaviour = saved;
}

// MSG_ENABLEDS: with ShowUI (or for a source whose interface cannot be
// hidden) the source stays quiet until the user answers its dialog.
TW_UINT16 EnableSource(Manager &m, TW_IDENTITY *origin, TW_IDENTITY *destination,
                       TW_USERINTERFACE *ui) {
  const int index = m.engine->OpenSourceIndex();
  const bool showUi = index >= 0 && ui &&
                      (ui->ShowUI || !m.config.sources[std::size_t(index)].uiControllable);
  if (!showUi)
    return CallEngine(m, origin, destination, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, ui);
  auto &behaviour = m.engine->Config().sources[std::size_t(index)].behaviour;
  const twainsim::SimOutcome outcome = behaviour.outcome;
  behaviour.outcome = twainsim::SimOutcome::Silent;
  const TW_UINT16 rc = CallEngine(m, origin, destination, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, ui);
  behaviour.outcome = outcome;
  if (m.engine->SourceState() != 5)
    return rc;
  CloseScanDialog(m);
  m.uiSource = index;
  m.uiOrigin = *origin;
  m.uiDestination = *destination;
  m.uiData = *ui;
  Manager *manager = &m;
  m.scanDialog = CreateScanDialog(g_instance, static_cast<HWND>(ui->hParent),
                                  WideFromUtf8(m.config.sources[std::size_t(index)].productName),
                                  [manager](bool scan) {
                                    manager->uiChoice = scan ? 1 : 2;
                                    DeliverUiChoice(*manager);
                                  });
  return rc;
}

TW_UINT16 Dispatch(Manager &m, TW_IDENTITY *origin, TW_IDENTITY *destination, TW_UINT32 dg,
                   TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (!origin)
    return TWRC_FAILURE;
  if (!destination && dg == DG_CONTROL && dat == DAT_PARENT && msg == MSG_OPENDSM &&
      (!m.engine || m.engine->ManagerState() == 2)) {
    CloseScanDialog(m);
    LoadConfiguration(m);
  }
  if (!m.engine)
    LoadConfiguration(m);
  if (dg == DG_CONTROL && !destination && dat == DAT_IDENTITY && msg == MSG_USERSELECT &&
      m.engine->ManagerState() == 3 && data)
    return UserSelect(m, origin, static_cast<TW_IDENTITY *>(data));
  if (destination && dg == DG_CONTROL && dat == DAT_USERINTERFACE && msg == MSG_ENABLEDS &&
      m.engine->SourceState() == 4)
    return EnableSource(m, origin, destination, static_cast<TW_USERINTERFACE *>(data));
  if (destination && dg == DG_CONTROL && dat == DAT_EVENT && msg == MSG_PROCESSEVENT && data &&
      m.scanDialog) {
    auto *event = static_cast<TW_EVENT *>(data);
    MSG *message = static_cast<MSG *>(event->pEvent);
    if (message && IsDialogMessageW(m.scanDialog, message)) {
      event->TWMessage = MSG_NULL;
      DeliverUiChoice(m);
      return TWRC_DSEVENT;
    }
  }
  const TW_UINT16 rc = CallEngine(m, origin, destination, dg, dat, msg, data);
  // The dialog goes with the enabled state.
  if (m.scanDialog && m.engine->SourceState() < 5)
    CloseScanDialog(m);
  DeliverUiChoice(m);
  return rc;
}

} // namespace
} // namespace vscanner

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    vscanner::g_instance = instance;
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // Unloaded by FreeLibrary: the dialog procedure goes with the DLL, so
    // its window must go first. At process exit nothing needs tidying.
    auto &m = vscanner::TheManager();
    vscanner::CloseScanDialog(m);
    m.engine.reset();
    // A trace reader sees that the application let the manager go.
    m.trace.Line("# unloaded");
  }
  return TRUE;
}

extern "C" TW_UINT16 TW_CALLINGSTYLE DSM_Entry(TW_IDENTITY *origin, TW_IDENTITY *destination,
                                               TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                               TW_MEMREF data) {
  auto &m = vscanner::TheManager();
  const TW_UINT16 rc = vscanner::Dispatch(m, origin, destination, dg, dat, msg, data);
  vscanner::WriteTrace(m, origin, destination, dg, dat, msg, data, rc);
  if (m.engine)
    m.engine->ClearCalls();  // the trace keeps the record; memory stays flat
  return rc;
}

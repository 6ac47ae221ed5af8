#include "tools/vscanner/vscanner_host.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/vscanner/vscanner_dialogs.h"
#include "tools/vscanner/vscanner_sim.h"
#include "tools/vscanner/vscanner_trace.h"

namespace vscanner {

namespace {
HINSTANCE g_instance = nullptr;
} // namespace

void SetModuleInstance(HINSTANCE instance) { g_instance = instance; }

void TraceFile::Line(const std::string &text) const {
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

void LoadConfiguration(Manager &m, const std::wstring &iniPath, bool onlyDefault) {
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
  if (onlyDefault && !m.config.sources.empty()) {
    const SourceSetup chosen = m.config.sources[m.config.defaultSource];
    m.config.sources.assign(1, chosen);
    m.config.defaultSource = 0;
  }
  m.engine = std::make_unique<twainsim::SimEngine>(ToSimConfig(m.config, m.iniFolder));
}

void WriteTrace(Manager &m, TW_IDENTITY *origin, TW_IDENTITY *destination, TW_UINT32 dg,
                TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data, TW_UINT16 rc) {
  vscanner::TraceCall line;
  line.sequence = ++m.sequence;
  line.originId = origin ? origin->Id : 0;
  line.hasDestination = destination != nullptr;
  line.destinationId = destination ? destination->Id : 0;
  line.record = twainsim::RecordTwainCall(dg, dat, msg, data, rc);
  m.trace.Line(FormatTraceLine(line));
}

namespace {

TW_UINT16 UserSelect(Manager &m, TW_IDENTITY *origin, TW_IDENTITY *identity) {
  std::vector<std::wstring> names;
  for (const auto &setup : m.config.sources)
    names.push_back(WideFromUtf8(setup.productName));
  const int chosen = RunSourceSelectDialog(g_instance, m.engine->ParentWindow(), names,
                                           int(m.config.defaultSource));
  m.engine->Config().userSelect = chosen;
  return m.engine->Entry(origin, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, identity);
}

} // namespace

void CloseScanDialog(Manager &m) {
  HWND dialog = m.scanDialog;
  m.scanDialog = nullptr;
  m.uiSource = -1;
  m.uiChoice = 0;
  DestroyScanDialog(dialog);
}

namespace {

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

} // namespace

TW_UINT16 Dispatch(Manager &m, TW_IDENTITY *origin, TW_IDENTITY *destination, TW_UINT32 dg,
                   TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (!origin)
    return TWRC_FAILURE;
  if (!m.engine)
    return TWRC_FAILURE;
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

} // namespace vscanner

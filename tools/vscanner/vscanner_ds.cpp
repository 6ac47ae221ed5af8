// The virtual scanner as a standalone TWAIN data source (a ".ds" file that a
// real source manager such as TWAINDSM.DLL finds under windows\twain_64 or
// twain_32 and talks to through DS_Entry).
//
// It plays one scanner: the default source of its INI file, which is
// "vscanner.ini" in the .ds file's own folder when there is one, else the
// file ZV_VSCANNER_INI names (the combined TWAIN_32.DLL's), else the
// default flatbed. Behind DS_Entry runs the same host as in TWAIN_32.DLL:
// the engine with its manager opened privately at MSG_OPENDS, so images,
// capabilities, dialogs and behaviours are the same.
//
// What the manager-side protocol adds:
//   - DAT_IDENTITY MSG_GET (the manager lists the source, possibly with no
//     origin), MSG_OPENDS and MSG_CLOSEDS come from the manager;
//   - the source declares DF_DS2, so the manager hands it its DSM_Entry
//     (DAT_ENTRYPOINT) before MSG_OPENDS; MSG_XFERREADY and MSG_CLOSEDSREQ
//     then go back through it as DG_CONTROL / DAT_NULL calls, as TWAIN 2
//     sources do. A manager that sends no entry point gets them in the
//     answer to MSG_PROCESSEVENT instead, the TWAIN 1 way;
//   - DAT_STATUS is answered with the condition of the last failed call
//     (the manager asks for it when MSG_OPENDS fails).
//
// The trace has one line per DS_Entry call, "<app id> -> <source id>", and
// one per notification sent, "<source id> -> <app id> ... DAT_NULL ...",
// and at MSG_CLOSEDS a comment line with what the application has not
// freed.
#include <windows.h>

#include <string>

#include "tools/vscanner/vscanner_host.h"
#include "tools/vscanner/vscanner_sim.h"

namespace vscanner {
namespace {

struct DataSource {
  bool open = false;
  TW_IDENTITY own{};           // as the manager knows it (its Id included)
  TW_IDENTITY application{};   // the manager's copy of the application's
  TW_IDENTITY hostOrigin{};    // origin of the calls into the engine
  TW_IDENTITY hostSource{};    // the engine's identity of the source
  DSMENTRYPROC managerEntry = nullptr;
  TW_UINT16 conditionCode = TWCC_SUCCESS;
};

HINSTANCE g_module = nullptr;

DataSource &TheSource() {
  static DataSource source;
  return source;
}

std::wstring IniPath() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
  if (n > 0 && n < MAX_PATH) {
    std::wstring beside(path, n);
    beside = beside.substr(0, beside.find_last_of(L"\\/") + 1) + L"vscanner.ini";
    if (GetFileAttributesW(beside.c_str()) != INVALID_FILE_ATTRIBUTES)
      return beside;
  }
  return EnvironmentValue(kIniVariable);
}

// The identity this source reports: the INI's texts and numbers, with the
// Id the manager gave it.
void FillIdentity(const Manager &m, TW_IDENTITY &identity) {
  const TW_UINT32 id = identity.Id;
  identity = IdentityOf(m.config.sources.front());
  identity.Id = id;
  identity.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_DS2;
}

TW_UINT16 Fail(DataSource &s, TW_UINT16 conditionCode) {
  s.conditionCode = conditionCode;
  return TWRC_FAILURE;
}

TW_UINT16 HostCall(Manager &m, DataSource &s, TW_IDENTITY *destination, TW_UINT16 dat,
                   TW_UINT16 msg, TW_MEMREF data) {
  return Dispatch(m, &s.hostOrigin, destination, DG_CONTROL, dat, msg, data);
}

TW_UINT16 OpenSource(Manager &m, DataSource &s, TW_IDENTITY *origin, TW_IDENTITY *identity) {
  if (s.open)
    return Fail(s, TWCC_SEQERROR);
  if (origin == nullptr || identity == nullptr)
    return Fail(s, TWCC_BADVALUE);
  CloseScanDialog(m);
  LoadConfiguration(m, IniPath(), true);
  if (m.config.sources.empty())
    return Fail(s, TWCC_NODS);
  s.hostOrigin = twainsim::MakeIdentity("Zelvantor", "Virtual Scanner", "DS host", "1.0");
  HWND noWindow = nullptr;
  if (HostCall(m, s, nullptr, DAT_PARENT, MSG_OPENDSM, &noWindow) != TWRC_SUCCESS)
    return Fail(s, TWCC_BUMMER);
  s.hostSource = TW_IDENTITY{};
  TW_UINT16 rc = HostCall(m, s, nullptr, DAT_IDENTITY, MSG_GETFIRST, &s.hostSource);
  if (rc == TWRC_SUCCESS)
    rc = HostCall(m, s, nullptr, DAT_IDENTITY, MSG_OPENDS, &s.hostSource);
  if (rc != TWRC_SUCCESS) {
    HostCall(m, s, nullptr, DAT_PARENT, MSG_CLOSEDSM, &noWindow);
    // Like a driver whose device is not there.
    return Fail(s, TWCC_OPERATIONERROR);
  }
  FillIdentity(m, *identity);
  s.own = *identity;
  s.application = *origin;
  s.open = true;
  s.conditionCode = TWCC_SUCCESS;
  return TWRC_SUCCESS;
}

TW_UINT16 CloseSource(Manager &m, DataSource &s) {
  if (!s.open)
    return Fail(s, TWCC_SEQERROR);
  CloseScanDialog(m);
  // What the application still holds of ours: containers it should have
  // freed, and images (a delivered page is the caller's until it prints).
  m.trace.Line("# not freed at MSG_CLOSEDS: containers=" +
               std::to_string(m.engine->LiveContainers()) +
               " images=" + std::to_string(m.engine->LiveImages()));
  HWND noWindow = nullptr;
  const TW_UINT16 rc = HostCall(m, s, nullptr, DAT_IDENTITY, MSG_CLOSEDS, &s.hostSource);
  if (rc != TWRC_SUCCESS)
    return Fail(s, TWCC_SEQERROR);  // still enabled: the application must disable first
  HostCall(m, s, nullptr, DAT_PARENT, MSG_CLOSEDSM, &noWindow);
  s.open = false;
  return TWRC_SUCCESS;
}

// A notification the engine has for the application goes through the
// manager when it gave us its entry; the event itself then carries nothing.
void SendNotification(Manager &m, DataSource &s, TW_EVENT *event) {
  const TW_UINT16 message = event->TWMessage;
  if (s.managerEntry == nullptr || (message != MSG_XFERREADY && message != MSG_CLOSEDSREQ))
    return;
  event->TWMessage = MSG_NULL;
  const TW_UINT16 rc = s.managerEntry(&s.own, &s.application, DG_CONTROL, DAT_NULL, message, nullptr);
  WriteTrace(m, &s.own, &s.application, DG_CONTROL, DAT_NULL, message, nullptr, rc);
}

TW_UINT16 SourceEntry(Manager &m, DataSource &s, TW_IDENTITY *origin, TW_UINT32 dg,
                      TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (dg == DG_CONTROL && dat == DAT_IDENTITY) {
    auto *identity = static_cast<TW_IDENTITY *>(data);
    switch (msg) {
    case MSG_GET:
      if (identity == nullptr)
        return Fail(s, TWCC_BADVALUE);
      if (!s.open)
        LoadConfiguration(m, IniPath(), true);
      if (m.config.sources.empty())
        return Fail(s, TWCC_NODS);
      if (s.open)
        identity->Id = s.own.Id;
      FillIdentity(m, *identity);
      return TWRC_SUCCESS;
    case MSG_OPENDS:
      return OpenSource(m, s, origin, identity);
    case MSG_CLOSEDS:
      return CloseSource(m, s);
    default:
      return Fail(s, TWCC_BADPROTOCOL);
    }
  }
  if (dg == DG_CONTROL && dat == DAT_ENTRYPOINT && msg == MSG_SET) {
    const auto *entry = static_cast<const TW_ENTRYPOINT *>(data);
    if (entry == nullptr || entry->Size < sizeof(TW_UINT32) + sizeof(DSMENTRYPROC))
      return Fail(s, TWCC_BADVALUE);
    s.managerEntry = entry->DSM_Entry;
    return TWRC_SUCCESS;
  }
  if (dg == DG_CONTROL && dat == DAT_STATUS && msg == MSG_GET) {
    if (data == nullptr)
      return Fail(s, TWCC_BADVALUE);
    static_cast<TW_STATUS *>(data)->ConditionCode = s.conditionCode;
    s.conditionCode = TWCC_SUCCESS;
    return TWRC_SUCCESS;
  }
  if (!s.open || !m.engine)
    return Fail(s, TWCC_SEQERROR);
  const TW_UINT16 rc = Dispatch(m, &s.hostOrigin, &s.hostSource, dg, dat, msg, data);
  if (rc == TWRC_FAILURE && !m.engine->Calls().empty())
    s.conditionCode = m.engine->Calls().back().conditionCode;
  if (dg == DG_CONTROL && dat == DAT_EVENT && msg == MSG_PROCESSEVENT && rc == TWRC_DSEVENT &&
      data != nullptr)
    SendNotification(m, s, static_cast<TW_EVENT *>(data));
  return rc;
}

} // namespace
} // namespace vscanner

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    vscanner::g_module = instance;
    vscanner::SetModuleInstance(instance);
    DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // Unloaded by FreeLibrary (the manager does so after listing it and
    // after MSG_CLOSEDS): the dialog procedure goes with the DLL, so its
    // window must go first.
    auto &m = vscanner::TheManager();
    vscanner::CloseScanDialog(m);
    m.engine.reset();
  }
  return TRUE;
}

extern "C" TW_UINT16 TW_CALLINGSTYLE DS_Entry(TW_IDENTITY *origin, TW_UINT32 dg, TW_UINT16 dat,
                                              TW_UINT16 msg, TW_MEMREF data) {
  auto &m = vscanner::TheManager();
  auto &s = vscanner::TheSource();
  const TW_UINT16 rc = vscanner::SourceEntry(m, s, origin, dg, dat, msg, data);
  TW_IDENTITY self = s.own;
  if (dg == DG_CONTROL && dat == DAT_IDENTITY && data != nullptr)
    self.Id = static_cast<TW_IDENTITY *>(data)->Id;
  vscanner::WriteTrace(m, origin, &self, dg, dat, msg, data, rc);
  if (m.engine)
    m.engine->ClearCalls();  // the trace keeps the record; memory stays flat
  return rc;
}

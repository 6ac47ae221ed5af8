#include "support/acquisition_calls.h"

#include <cmath>
#include <cstdio>

namespace {

const char kProcessEvent[] = "DG_CONTROL DAT_EVENT MSG_PROCESSEVENT";

// Details with a value; the empty ones are left out.
std::vector<std::pair<std::string, std::string>> Given(
    std::initializer_list<std::pair<std::string, std::string>> all) {
  std::vector<std::pair<std::string, std::string>> given;
  for (const auto &detail : all)
    if (!detail.second.empty())
      given.push_back(detail);
  return given;
}

ExpectedCall Set(const char *cap, const std::string &value) {
  return Call("DG_CONTROL DAT_CAPABILITY MSG_SET", Given({{"cap", cap}, {"value", value}}));
}

// Messages that were not the source's, offered to it all the same.
ExpectedCall ForeignEvents() { return AnyNumber(Call(kProcessEvent, {}, "TWRC_NOTDSEVENT")); }

} // namespace

CallSequence ManagerAndSourceOpened() {
  return {
      Call("DG_CONTROL DAT_PARENT MSG_OPENDSM", {}, "TWRC_SUCCESS"),
      Call("DG_CONTROL DAT_IDENTITY MSG_GETFIRST", {}, "TWRC_SUCCESS"),
      AnyNumber(Call("DG_CONTROL DAT_IDENTITY MSG_GETNEXT", {}, "TWRC_SUCCESS")),
      Call("DG_CONTROL DAT_IDENTITY MSG_OPENDS", {}, "TWRC_SUCCESS"),
  };
}

CallSequence OnePage(const PageCalls &page) {
  CallSequence calls = {
      Set("ICAP_XRESOLUTION", page.resolution),
      Set("ICAP_YRESOLUTION", page.resolution),
      Call("DG_IMAGE DAT_IMAGELAYOUT MSG_SET", Given({{"frame", page.frame}})),
      Set("ICAP_CONTRAST", "0.00"),
      Set("ICAP_PIXELTYPE", page.pixelType),
  };
  if (page.threshold) {
    calls.push_back(Set("ICAP_THRESHOLD", page.brightness));
  } else {
    calls.push_back(Call("DG_CONTROL DAT_CAPABILITY MSG_GET", {{"cap", "ICAP_BRIGHTNESS"}}));
    calls.push_back(Set("ICAP_BRIGHTNESS", page.brightness));
  }
  const CallSequence transfer = {
      Call("DG_CONTROL DAT_USERINTERFACE MSG_ENABLEDS", {{"showUI", "0"}}),
      ForeignEvents(),
      Call(kProcessEvent, {{"event", "MSG_XFERREADY"}}, "TWRC_DSEVENT"),
      Call("DG_IMAGE DAT_IMAGEINFO MSG_GET", {}, "TWRC_SUCCESS"),
      Call("DG_IMAGE DAT_IMAGENATIVEXFER MSG_GET", {}, "TWRC_XFERDONE"),
      Call("DG_CONTROL DAT_PENDINGXFERS MSG_ENDXFER", {{"count", "0"}}, "TWRC_SUCCESS"),
      ForeignEvents(),
      Call("DG_CONTROL DAT_USERINTERFACE MSG_DISABLEDS", {}, "TWRC_SUCCESS"),
      Call("DG_CONTROL DAT_IDENTITY MSG_CLOSEDS", {}, "TWRC_SUCCESS"),
  };
  calls.insert(calls.end(), transfer.begin(), transfer.end());
  return calls;
}

CallSequence ManagerClosed() { return {Call("DG_CONTROL DAT_PARENT MSG_CLOSEDSM", {}, "TWRC_SUCCESS")}; }

CallSequence OnePageAcquisition(const PageCalls &page) {
  return Concat({ManagerAndSourceOpened(), OnePage(page), ManagerClosed()});
}

bool FrameInHundredthsMm(const CallRecord &record, int (&frame)[4]) {
  if (!record.Has("frame"))
    return false;
  double inches[4];
  if (std::sscanf(record.Detail("frame").c_str(), "%lf,%lf,%lf,%lf", &inches[0], &inches[1],
                  &inches[2], &inches[3]) != 4)
    return false;
  for (int i = 0; i < 4; ++i)
    frame[i] = int(std::lround(inches[i] * 2540.0));
  return true;
}

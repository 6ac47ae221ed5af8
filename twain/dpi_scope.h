// The thread's DPI awareness while a scanner's windows may come up.
//
// The copier is per-monitor DPI aware (its manifest), so Windows does not
// scale its windows: it draws them at the monitor's DPI itself. Managers and
// sources are mostly DPI unaware, and a window they create on our thread
// would take our awareness and come up at 96 DPI, tiny on a 150-200 %
// display. Around the calls that may create such windows the thread is made
// DPI unaware, so that Windows scales what they create; each window keeps
// the awareness it was created with, and Windows switches the thread to it
// whenever that window's procedure runs.
#pragma once

#include <windows.h>

// SetThreadDpiAwarenessContext's type (user32, Windows 10 1607 and later).
using SetThreadDpiAwarenessContextCall = DPI_AWARENESS_CONTEXT(WINAPI *)(DPI_AWARENESS_CONTEXT);

// For its lifetime, sets the calling thread's DPI awareness to one Windows
// scales: unaware with GDI scaling where Windows has it (crisp text, from
// Windows 10 1809), else plainly unaware; and gives the thread back the
// awareness it had. Does nothing when not active, or where Windows lacks
// SetThreadDpiAwarenessContext: before Windows 10 1607 the awareness is the
// process's alone, and nothing can be done there.
class ScaledWindowsDpiScope {
public:
  explicit ScaledWindowsDpiScope(bool active);
  ~ScaledWindowsDpiScope();
  ScaledWindowsDpiScope(const ScaledWindowsDpiScope &) = delete;
  ScaledWindowsDpiScope &operator=(const ScaledWindowsDpiScope &) = delete;

private:
  SetThreadDpiAwarenessContextCall set_ = nullptr;
  DPI_AWARENESS_CONTEXT previous_ = nullptr;
};

// Tests: the call the scopes use in place of user32's (null stands for a
// Windows without it) until RestoreThreadDpiCall.
void ReplaceThreadDpiCall(SetThreadDpiAwarenessContextCall call);
void RestoreThreadDpiCall();

#include "twain/dpi_scope.h"

#include "common/proc_address.h"

namespace {

bool g_replaced = false;
SetThreadDpiAwarenessContextCall g_replacement = nullptr;

SetThreadDpiAwarenessContextCall User32Call() {
  // Looked up once: user32 is loaded for the life of the process.
  static const SetThreadDpiAwarenessContextCall call = FindProc<SetThreadDpiAwarenessContextCall>(
      GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext");
  return call;
}

SetThreadDpiAwarenessContextCall CurrentCall() {
  return g_replaced ? g_replacement : User32Call();
}

} // namespace

ScaledWindowsDpiScope::ScaledWindowsDpiScope(bool active) {
  if (!active)
    return;
  set_ = CurrentCall();
  if (set_ == nullptr)
    return;
  // Before Windows 10 1809 the GDI-scaled context is refused (null, and
  // the thread unchanged).
  previous_ = set_(DPI_AWARENESS_CONTEXT_UNAWARE_GDISCALED);
  if (previous_ == nullptr)
    previous_ = set_(DPI_AWARENESS_CONTEXT_UNAWARE);
}

ScaledWindowsDpiScope::~ScaledWindowsDpiScope() {
  if (previous_ != nullptr)
    set_(previous_);
}

void ReplaceThreadDpiCall(SetThreadDpiAwarenessContextCall call) {
  g_replaced = true;
  g_replacement = call;
}

void RestoreThreadDpiCall() {
  g_replaced = false;
  g_replacement = nullptr;
}

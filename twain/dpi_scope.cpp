#include "twain/dpi_scope.h"

namespace {

bool g_replaced = false;
SetThreadDpiAwarenessContextCall g_replacement = nullptr;

SetThreadDpiAwarenessContextCall User32Call() {
  // Looked up once: user32 is loaded for the life of the process.
  static const SetThreadDpiAwarenessContextCall call = [] {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    FARPROC entry =
        user32 != nullptr ? GetProcAddress(user32, "SetThreadDpiAwarenessContext") : nullptr;
    // Through void (*)(): GetProcAddress's type says nothing of the real one.
    return reinterpret_cast<SetThreadDpiAwarenessContextCall>(
        reinterpret_cast<void (*)()>(entry));
  }();
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

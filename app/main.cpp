#include <windows.h>

#include "app/startup.h"
#include "common/exception_boundary.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // The exit code is 0 on every road, this one included.
  return CatchAtBoundary(0, [&] { return RunCopier(instance); });
}

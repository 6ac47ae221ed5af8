// A DLL without a version resource, for path and version tests.
#include <windows.h>

extern "C" __declspec(dllexport) int PlainModuleAnswer() { return 42; }

// The copier's start-up: texts, the scanner probe, and the command-line copy.
#pragma once

#include <windows.h>

// The whole program after the entry point; the exit code, always 0.
int RunCopier(HINSTANCE instance);

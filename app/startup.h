// The copier's start-up: texts, the scanner probe, and the command-line copy.
#pragma once

#include <windows.h>

#include "common/unique_handle.h"

// The arguments after the program name: how many, and the first of them
// (null when there are none). Owns CommandLineToArgvW's array.
struct CommandLineArguments {
  int count = 0;
  LPWSTR *first = nullptr;
  LocalArgumentArray array;
};

CommandLineArguments GetCommandLineArguments();

// The whole program after the entry point; the exit code, always 0.
int RunCopier(HINSTANCE instance);

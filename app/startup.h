// The copier's start-up: texts, the scanner probe, and the command-line copy.
#pragma once

#include <windows.h>

#include "app/handover.h"
#include "common/unique_handle.h"

// The arguments after the program name: how many, and the first of them
// (null when there are none). Owns CommandLineToArgvW's array.
struct CommandLineArguments {
  int count = 0;
  LPWSTR *first = nullptr;
  LocalArgumentArray array;
};

CommandLineArguments GetCommandLineArguments();

// Start-up's scanner probe. True when a TWAIN source manager and a scanner
// can be reached and the program goes on. False when it ends: the user has
// been told that there is no scanner, or (64-bit build) the 32-bit copier
// beside the program has run in its place, started through `runCopier32`.
bool ProbeScanner(const ProcessRunner &runCopier32);

// The whole program after the entry point; the exit code, always 0.
int RunCopier(HINSTANCE instance);

// Starting the 32-bit copier in this one's place (see app/handover_plan.h
// for when), and waiting for it to end.
#pragma once

#include <functional>
#include <string>

#include "app/handover_plan.h"

// Whether this program is the 64-bit build, the one that hands over.
constexpr bool kWin64Build = sizeof(void *) == 8;

// Starts the program at the full path `application` with `commandLine` and
// returns once it has ended; false when it could not be started. Start-up
// takes it as a parameter, so that tests can stand in for the process.
using ProcessRunner =
    std::function<bool(const std::wstring &application, const std::wstring &commandLine)>;

// The real one: CreateProcessW with `application` as the application name
// (only a full path: a partial one would be completed from the current
// directory), then a wait that keeps this thread's messages
// served meanwhile: windows this thread has created must still answer
// messages sent to them (broadcasts, a program enumerating windows), or
// the sender hangs for as long as the other copier runs. The started
// program's exit code is not looked at.
bool RunProcessToEnd(const std::wstring &application, const std::wstring &commandLine);

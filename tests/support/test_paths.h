// Where test data and the built program are found at run time.
#pragma once

#include <string>

// The folder holding the test executable (and the program and helper DLLs
// beside it), with a trailing backslash.
std::wstring TestBinDir();
// TestBinDir() + name.
std::wstring TestBinPath(const std::wstring &name);

// The copier's start-up: texts, the scanner probe, and the command-line copy.
#pragma once

#include <windows.h>

// The arguments after the program name. Owns CommandLineToArgvW's array.
class CommandLineArguments {
public:
  CommandLineArguments();
  ~CommandLineArguments();
  CommandLineArguments(const CommandLineArguments &) = delete;
  CommandLineArguments &operator=(const CommandLineArguments &) = delete;

  int count() const { return count_; }
  LPWSTR *first() const { return count_ > 0 ? all_ + 1 : nullptr; }

private:
  LPWSTR *all_ = nullptr;
  int count_ = 0;
};

// The whole program after the entry point; the exit code, always 0.
int RunCopier(HINSTANCE instance);

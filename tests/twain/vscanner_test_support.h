// Helpers the virtual scanner DLL tests of the test programs share: texts
// for messages and INI lines, the trace file's lines and records, the
// process's own processor time.
#pragma once

#include <windows.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "tools/vscanner/vscanner_trace.h"

namespace twaintest {

// The test's paths and texts are ASCII; anything else shows as '?'.
inline std::string Narrow(const std::wstring &text) {
  std::string out;
  for (wchar_t c : text)
    out += char(c < 128 ? c : '?');
  return out;
}

// The lines of a text file without their line ends; none when it cannot be
// opened. The DLL may still be appending to it.
inline std::vector<std::string> ReadLines(const std::wstring &path) {
  std::vector<std::string> lines;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return lines;
  std::string all;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
    all.append(buffer, got);
  CloseHandle(file);
  std::istringstream in(all);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The calls a trace file holds, as records, its remarks left out.
inline std::vector<CallRecord> TraceRecords(const std::wstring &path) {
  std::vector<CallRecord> records;
  for (const std::string &line : ReadLines(path)) {
    vscanner::TraceCall call;
    if (vscanner::ParseTraceLine(line, &call))
      records.push_back(call.record);
  }
  return records;
}

// Kernel and user time of this process so far, in seconds: a wait that
// sleeps adds next to nothing.
inline double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto seconds = [](const FILETIME &t) {
    return double(std::uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

} // namespace twaintest

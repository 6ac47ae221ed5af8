#include "tools/vscanner/vscanner_trace.h"

#include <cstdlib>

namespace vscanner {

std::string FormatTraceLine(const TraceCall &call) {
  std::string line = std::to_string(call.sequence) + " " + std::to_string(call.originId) + " -> ";
  line += call.hasDestination ? std::to_string(call.destinationId) : std::string("DSM");
  return line + " " + FormatCallRecord(call.record);
}

namespace {

// A decimal number of the line's head, its end in `end`.
bool Number(const std::string &line, std::size_t &at, std::uint32_t &value) {
  std::size_t end = at;
  while (end < line.size() && line[end] >= '0' && line[end] <= '9')
    ++end;
  if (end == at || end - at > 9)
    return false;
  value = std::uint32_t(std::strtoul(line.substr(at, end - at).c_str(), nullptr, 10));
  at = end;
  return true;
}

bool Word(const std::string &line, std::size_t &at, const char *word) {
  const std::string w(word);
  if (line.compare(at, w.size(), w) != 0)
    return false;
  at += w.size();
  return true;
}

} // namespace

bool ParseTraceLine(const std::string &line, TraceCall *call) {
  TraceCall parsed;
  std::size_t at = 0;
  if (!Number(line, at, parsed.sequence) || !Word(line, at, " ") ||
      !Number(line, at, parsed.originId) || !Word(line, at, " -> "))
    return false;
  if (Word(line, at, "DSM")) {
    parsed.hasDestination = false;
  } else if (Number(line, at, parsed.destinationId)) {
    parsed.hasDestination = true;
  } else {
    return false;
  }
  if (!Word(line, at, " ") || !ParseCallRecord(line.substr(at), &parsed.record))
    return false;
  *call = std::move(parsed);
  return true;
}

} // namespace vscanner

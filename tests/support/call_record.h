// One recorded call, in the form every recorder of the project writes and
// every test reads: the simulated TWAIN manager's calls, the virtual
// scanner's trace lines, the messages a dialog handled, the print calls of
// a copy job. A call has a name, details as key=value pairs in the order
// they were recorded, and an answer:
//
//   DG_CONTROL DAT_CAPABILITY MSG_SET cap=ICAP_XRESOLUTION value=300.00 = TWRC_SUCCESS
//   WM_INITDIALOG lParam=0
//
// As text, a value with blanks is written in double quotes (the quotes are
// part of the value); the answer, when there is one, follows " = ". Header
// only and plain C++: the test doubles in tools/ write records too.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct CallRecord {
  std::string call;
  std::vector<std::pair<std::string, std::string>> details;
  std::string result;

  CallRecord &With(std::string key, std::string value) {
    details.emplace_back(std::move(key), std::move(value));
    return *this;
  }
  // The value of the first detail of that name; empty when there is none.
  const std::string &Detail(const std::string &key) const {
    static const std::string none;
    for (const auto &detail : details)
      if (detail.first == key)
        return detail.second;
    return none;
  }
  bool Has(const std::string &key) const {
    for (const auto &detail : details)
      if (detail.first == key)
        return true;
    return false;
  }
};

inline std::string FormatCallRecord(const CallRecord &record) {
  std::string text = record.call;
  for (const auto &detail : record.details)
    text += " " + detail.first + "=" + detail.second;
  if (!record.result.empty())
    text += " = " + record.result;
  return text;
}

// The reverse of FormatCallRecord; false for a text without a call name.
inline bool ParseCallRecord(const std::string &text, CallRecord *record) {
  CallRecord parsed;
  std::string rest = text;
  const std::size_t answer = rest.rfind(" = ");
  if (answer != std::string::npos) {
    parsed.result = rest.substr(answer + 3);
    rest.resize(answer);
  }
  std::size_t at = 0;
  while (at < rest.size()) {
    while (at < rest.size() && rest[at] == ' ')
      ++at;
    if (at >= rest.size())
      break;
    std::size_t end = rest.find(' ', at);
    const std::size_t equals = rest.find('=', at);
    if (equals != std::string::npos && (end == std::string::npos || equals < end)) {
      // A quoted value runs to its closing quote, blanks and all.
      if (equals + 1 < rest.size() && rest[equals + 1] == '"') {
        const std::size_t close = rest.find('"', equals + 2);
        end = close == std::string::npos ? std::string::npos : close + 1;
      }
      const std::string word = rest.substr(at, end == std::string::npos ? end : end - at);
      parsed.details.emplace_back(word.substr(0, equals - at), word.substr(equals - at + 1));
    } else {
      if (!parsed.details.empty())
        return false; // the name stands before every detail
      const std::string word = rest.substr(at, end == std::string::npos ? end : end - at);
      parsed.call += (parsed.call.empty() ? "" : " ") + word;
    }
    at = end == std::string::npos ? rest.size() : end;
  }
  if (parsed.call.empty())
    return false;
  *record = std::move(parsed);
  return true;
}

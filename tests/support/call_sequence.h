// Comparing a recorded sequence of calls with the one a test expects, in the
// manner of Wine's ok_sequence: each expected entry names a call, the
// details it must carry (others it may carry are not looked at), optionally
// its answer and a further check; an entry may be optional or stand for any
// number of calls in a row. On a mismatch the failure shows the whole
// expected and the whole recorded sequence side by side, lined up where
// they agree.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "support/call_record.h"

struct ExpectedCall {
  enum class Count { Once, Optional, AnyNumber };

  std::string call;
  std::vector<std::pair<std::string, std::string>> details;
  std::string result; // empty: any answer
  Count count = Count::Once;
  // A check of its own, shown by its name.
  std::function<bool(const CallRecord &)> check;
  std::string checkName;

  bool Matches(const CallRecord &record) const;
  std::string Text() const;
};

using CallSequence = std::vector<ExpectedCall>;

// Builders: Call("DG_CONTROL DAT_PARENT MSG_OPENDSM"),
// Call("... MSG_SET", {{"cap", "ICAP_XRESOLUTION"}}, "TWRC_SUCCESS").
ExpectedCall Call(std::string call, std::vector<std::pair<std::string, std::string>> details = {},
                  std::string result = "");
ExpectedCall Optional(ExpectedCall entry);
ExpectedCall AnyNumber(ExpectedCall entry);
ExpectedCall Checked(ExpectedCall entry, std::string name,
                     std::function<bool(const CallRecord &)> check);
CallSequence Concat(std::initializer_list<CallSequence> parts);

// The whole recorded sequence is the expected one.
testing::AssertionResult MatchesSequence(const CallSequence &expected,
                                         const std::vector<CallRecord> &recorded);
// The expected sequence stands, without gaps, somewhere in the recorded one.
testing::AssertionResult ContainsSequence(const CallSequence &expected,
                                          const std::vector<CallRecord> &recorded);

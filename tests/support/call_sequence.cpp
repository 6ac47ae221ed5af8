#include "support/call_sequence.h"

#include <algorithm>
#include <limits>

bool ExpectedCall::Matches(const CallRecord &record) const {
  if (record.call != call)
    return false;
  for (const auto &detail : details)
    if (!record.Has(detail.first) || record.Detail(detail.first) != detail.second)
      return false;
  if (!result.empty() && record.result != result)
    return false;
  return !check || check(record);
}

std::string ExpectedCall::Text() const {
  CallRecord shown{call, details, result};
  std::string text = FormatCallRecord(shown);
  if (!checkName.empty())
    text += " [" + checkName + "]";
  if (count == Count::Optional)
    text += " (optional)";
  else if (count == Count::AnyNumber)
    text += " (any number)";
  return text;
}

ExpectedCall Call(std::string call, std::vector<std::pair<std::string, std::string>> details,
                  std::string result) {
  ExpectedCall entry;
  entry.call = std::move(call);
  entry.details = std::move(details);
  entry.result = std::move(result);
  return entry;
}

ExpectedCall Optional(ExpectedCall entry) {
  entry.count = ExpectedCall::Count::Optional;
  return entry;
}

ExpectedCall AnyNumber(ExpectedCall entry) {
  entry.count = ExpectedCall::Count::AnyNumber;
  return entry;
}

ExpectedCall Checked(ExpectedCall entry, std::string name,
                     std::function<bool(const CallRecord &)> check) {
  entry.checkName = std::move(name);
  entry.check = std::move(check);
  return entry;
}

CallSequence Concat(std::initializer_list<CallSequence> parts) {
  CallSequence all;
  for (const CallSequence &part : parts)
    all.insert(all.end(), part.begin(), part.end());
  return all;
}

namespace {

// How one step of the alignment pairs the two sequences.
enum class Step { Match, MatchAgain, SkipExpected, SkipRecorded, Differ };

struct Alignment {
  int cost = 0;
  std::vector<Step> steps;
};

// The alignment of least cost: an expected entry that is neither optional
// nor repeatable and has no recorded call costs 1, as does a recorded call
// without an expected one (free before and after the expected sequence
// when it may stand anywhere) and a pair that differs. The sequences agree
// when the cost is 0.
Alignment Align(const CallSequence &expected, const std::vector<CallRecord> &recorded,
                bool anywhere) {
  const std::size_t n = expected.size(), m = recorded.size();
  constexpr int kNone = std::numeric_limits<int>::max() / 2;
  std::vector<std::vector<int>> cost(n + 1, std::vector<int>(m + 1, kNone));
  std::vector<std::vector<Step>> step(n + 1, std::vector<Step>(m + 1, Step::Match));
  for (std::size_t i = n + 1; i-- > 0;) {
    for (std::size_t j = m + 1; j-- > 0;) {
      if (i == n && j == m) {
        cost[i][j] = 0;
        continue;
      }
      int best = kNone;
      Step chosen = Step::Match;
      auto consider = [&](int c, Step s) {
        if (c < best) {
          best = c;
          chosen = s;
        }
      };
      const bool both = i < n && j < m;
      const bool match = both && expected[i].Matches(recorded[j]);
      if (match) {
        if (expected[i].count == ExpectedCall::Count::AnyNumber)
          consider(cost[i][j + 1], Step::MatchAgain);
        consider(cost[i + 1][j + 1], Step::Match);
      }
      if (i < n)
        consider((expected[i].count == ExpectedCall::Count::Once ? 1 : 0) + cost[i + 1][j],
                 Step::SkipExpected);
      if (j < m)
        consider((anywhere && (i == 0 || i == n) ? 0 : 1) + cost[i][j + 1], Step::SkipRecorded);
      // Two calls of one name that differ in their details stand on one
      // row; others cost as much as a missing and an unexpected call, so
      // that the rows show what is missing rather than pair unlike calls.
      if (both && !match)
        consider((expected[i].call == recorded[j].call ? 1 : 2) + cost[i + 1][j + 1], Step::Differ);
      cost[i][j] = best;
      step[i][j] = chosen;
    }
  }
  Alignment alignment;
  alignment.cost = cost[0][0];
  for (std::size_t i = 0, j = 0; i < n || j < m;) {
    const Step s = step[i][j];
    alignment.steps.push_back(s);
    if (s == Step::Match || s == Step::Differ) {
      ++i;
      ++j;
    } else if (s == Step::MatchAgain || s == Step::SkipRecorded) {
      ++j;
    } else {
      ++i;
    }
  }
  return alignment;
}

std::string SideBySide(const CallSequence &expected, const std::vector<CallRecord> &recorded,
                       const Alignment &alignment, bool anywhere) {
  std::size_t width = std::string("expected").size();
  for (const ExpectedCall &e : expected)
    width = std::max(width, e.Text().size());
  auto row = [width](char mark, const std::string &left, const std::string &right) {
    std::string line(1, mark);
    line += " " + left + std::string(width - std::min(width, left.size()), ' ');
    line += right.empty() ? " |\n" : " | " + right + "\n";
    return line;
  };
  std::string text =
      "recorded calls differ from the expected ones (- expected, not recorded; + recorded, not "
      "expected; ! differ):\n" +
      row(' ', "expected", "recorded");
  // An entry that stands for several calls is named at the first of them.
  std::size_t i = 0, j = 0;
  bool named = false;
  auto entry = [&]() {
    const std::string shown = named ? "  \"" : expected[i].Text();
    named = true;
    return shown;
  };
  for (const Step s : alignment.steps) {
    switch (s) {
    case Step::Match:
    case Step::Differ:
      text += row(s == Step::Match ? ' ' : '!', entry(), FormatCallRecord(recorded[j]));
      ++i;
      ++j;
      named = false;
      break;
    case Step::MatchAgain:
      text += row(' ', entry(), FormatCallRecord(recorded[j]));
      ++j;
      break;
    case Step::SkipExpected:
      if (!named)
        text += row(expected[i].count == ExpectedCall::Count::Once ? '-' : ' ',
                    expected[i].Text(), "");
      ++i;
      named = false;
      break;
    case Step::SkipRecorded: {
      const bool outside = anywhere && (i == 0 || i == expected.size());
      text += row(outside ? ' ' : '+', outside ? "..." : "", FormatCallRecord(recorded[j]));
      ++j;
      break;
    }
    }
  }
  return text;
}

testing::AssertionResult Compare(const CallSequence &expected,
                                 const std::vector<CallRecord> &recorded, bool anywhere) {
  const Alignment alignment = Align(expected, recorded, anywhere);
  if (alignment.cost == 0)
    return testing::AssertionSuccess();
  return testing::AssertionFailure() << SideBySide(expected, recorded, alignment, anywhere);
}

} // namespace

testing::AssertionResult MatchesSequence(const CallSequence &expected,
                                         const std::vector<CallRecord> &recorded) {
  return Compare(expected, recorded, false);
}

testing::AssertionResult ContainsSequence(const CallSequence &expected,
                                          const std::vector<CallRecord> &recorded) {
  return Compare(expected, recorded, true);
}

// The matcher every call-sequence test relies on: a matcher that accepts
// too much makes those tests prove nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/call_sequence.h"

namespace {

std::vector<CallRecord> Recorded(std::initializer_list<const char *> lines) {
  std::vector<CallRecord> records;
  for (const char *line : lines) {
    CallRecord record;
    EXPECT_TRUE(ParseCallRecord(line, &record)) << line;
    records.push_back(record);
  }
  return records;
}

TEST(CallRecordText, ReadBackAsWritten) {
  const char *lines[] = {
      "WM_INITDIALOG lParam=0",
      "DG_CONTROL DAT_IDENTITY MSG_OPENDS source=\"ZV Flatbed = 2\" = TWRC_SUCCESS",
      "StartDoc",
      "DG_IMAGE DAT_IMAGELAYOUT MSG_SET frame=0.0000,0.0000,8.2677,11.6929 = TWRC_SUCCESS",
  };
  for (const char *line : lines) {
    CallRecord record;
    ASSERT_TRUE(ParseCallRecord(line, &record)) << line;
    EXPECT_EQ(line, FormatCallRecord(record));
  }
  CallRecord record;
  ASSERT_TRUE(ParseCallRecord(lines[1], &record));
  EXPECT_EQ("DG_CONTROL DAT_IDENTITY MSG_OPENDS", record.call);
  EXPECT_EQ("\"ZV Flatbed = 2\"", record.Detail("source"));
  EXPECT_EQ("TWRC_SUCCESS", record.result);
  EXPECT_FALSE(ParseCallRecord("", &record));
  EXPECT_FALSE(ParseCallRecord("a=1 WM_PAINT", &record));
}

TEST(CallSequenceMatcher, WholeAndContained) {
  const CallSequence openClose = {
      Call("OPEN", {}, "OK"),
      AnyNumber(Call("EVENT", {}, "FOREIGN")),
      Optional(Call("SET", {{"cap", "X"}})),
      Call("CLOSE"),
  };
  struct Case {
    const char *what;
    std::vector<CallRecord> recorded;
    bool whole;
    bool contained;
  } cases[] = {
      {"all once", Recorded({"OPEN = OK", "EVENT = FOREIGN", "SET cap=X value=1", "CLOSE"}), true,
       true},
      {"optional and repeated left out", Recorded({"OPEN = OK", "CLOSE"}), true, true},
      {"repeated three times", Recorded({"OPEN = OK", "EVENT = FOREIGN", "EVENT = FOREIGN",
                                         "EVENT = FOREIGN", "CLOSE = OK"}),
       true, true},
      {"optional twice", Recorded({"OPEN = OK", "SET cap=X", "SET cap=X", "CLOSE"}), false, false},
      {"another answer", Recorded({"OPEN = FAILED", "CLOSE"}), false, false},
      {"a detail differs", Recorded({"OPEN = OK", "SET cap=Y", "CLOSE"}), false, false},
      {"a detail missing", Recorded({"OPEN = OK", "SET", "CLOSE"}), false, false},
      {"out of order", Recorded({"OPEN = OK", "CLOSE", "SET cap=X", "EVENT = FOREIGN"}), false,
       true},
      {"out of order inside", Recorded({"OPEN = OK", "SET cap=X", "EVENT = FOREIGN", "CLOSE"}),
       false, false},
      {"a required call missing", Recorded({"OPEN = OK", "SET cap=X"}), false, false},
      {"one call more inside", Recorded({"OPEN = OK", "PING", "CLOSE"}), false, false},
      {"calls around it", Recorded({"PING", "OPEN = OK", "CLOSE", "PING"}), false, true},
      {"nothing recorded", {}, false, false},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(c.whole, bool(MatchesSequence(openClose, c.recorded))) << c.what;
    EXPECT_EQ(c.contained, bool(ContainsSequence(openClose, c.recorded))) << c.what;
  }
  EXPECT_TRUE(MatchesSequence({}, {}));
}

TEST(CallSequenceMatcher, OwnChecks) {
  const CallSequence expected = {Checked(Call("SIZE"), "width above 10", [](const CallRecord &r) {
    return std::stoi(r.Detail("width")) > 10;
  })};
  EXPECT_TRUE(MatchesSequence(expected, Recorded({"SIZE width=11"})));
  EXPECT_FALSE(MatchesSequence(expected, Recorded({"SIZE width=10"})));
}

// Both sequences whole, side by side, with the places where they part.
TEST(CallSequenceMatcher, FailureShowsBothSequences) {
  const CallSequence expected = {Call("OPEN"), Call("SET", {{"cap", "X"}}), Call("ENABLE"),
                                 Call("CLOSE")};
  const testing::AssertionResult result =
      MatchesSequence(expected, Recorded({"OPEN", "SET cap=Y", "CLOSE", "PING"}));
  ASSERT_FALSE(result);
  EXPECT_NE(std::string::npos, std::string(result.message())
                                   .find("  expected  | recorded\n"
                                         "  OPEN      | OPEN\n"
                                         "! SET cap=X | SET cap=Y\n"
                                         "- ENABLE    |\n"
                                         "  CLOSE     | CLOSE\n"
                                         "+           | PING\n"))
      << result.message();
}

} // namespace

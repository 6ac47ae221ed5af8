#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "app/version_info.h"
#include "dialogs/date_parse.h"

namespace {

constexpr std::uint16_t DayOf(int year, int month, int day) {
  return std::uint16_t((year - 1896) * 372 + (month - 1) * 31 + (day - 1));
}

TEST(ParseDate, WrittenFormsTable) {
  struct Case {
    const wchar_t *text;
    std::uint16_t day;
  } cases[] = {
      // The same leap day in every form.
      {L"29.02.2000", DayOf(2000, 2, 29)},
      {L"2000-02-29", DayOf(2000, 2, 29)},
      {L"20000229", DayOf(2000, 2, 29)},
      {L"02/29/2000", DayOf(2000, 2, 29)},
      // Month first with slashes, day first with dots.
      {L"12/24/2010", 42772},
      {L"24.12.2010", 42772},
      {L"1.2.2010", DayOf(2010, 2, 1)},
      {L"2/1/2010", DayOf(2010, 2, 1)},
      // Texts that mean no date.
      {L"", NoDate},
      {L"0", NoDate},
      {L"0000-00-00", NoDate},
      {L"00000000", NoDate},
      {L"99991231", NoDate},
      // The first day of the calendar is day 0, which is no date.
      {L"01.01.1896", NoDate},
      {L"02.01.1896", 1},
      {L"31.12.2071", 0xFFBF},
      // Days that do not exist.
      {L"31.04.2006", InvalidDate},
      {L"2010-02-30", InvalidDate},
      {L"29.02.1900", InvalidDate},
      {L"29.02.2001", InvalidDate},
      {L"32.01.2010", InvalidDate},
      // Outside the calendar.
      {L"31.12.1895", InvalidDate},
      {L"01.01.2072", InvalidDate},
      {L"9999-12-31", InvalidDate},
      // Month 0, month 13 and day 0 are refused, not folded into the
      // neighbouring month or year (01.13.2010 would be 01.01.2011,
      // 00.01.2010 would be 31.12.2009).
      {L"15.00.2010", InvalidDate},
      {L"01.13.2010", InvalidDate},
      {L"00.01.2010", InvalidDate},
      {L"2010-00-15", InvalidDate},
      {L"20101301", InvalidDate},
      {L"20100100", InvalidDate},
      {L"13/01/2010", InvalidDate},
      {L"0.0.0000", InvalidDate},
      // Texts of no form.
      {L"00", InvalidDate},
      {L" 0", InvalidDate},
      {L"2010-1-01", InvalidDate},
      {L"24.12.10", InvalidDate},
      {L"24-12-2010", InvalidDate},
      {L"24.12.2010 ", InvalidDate},
      {L"20101224\n", InvalidDate},
      {L"24.12.2010\n", InvalidDate},
      {L"123.12.2010", InvalidDate},
      {L"\uFF12\uFF10\uFF11\uFF10\uFF11\uFF12\uFF12\uFF14", InvalidDate},
      {L"Heiligabend", InvalidDate},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.day, ParseDate(c.text));
  }
}

TEST(ParseDate, StopsAtTheViewsEnd) {
  const std::wstring text = L"24.12.2010999";
  EXPECT_EQ(42772, ParseDate(std::wstring_view(text).substr(0, 10)));
}

TEST(DayNumbers, ValidDaysPerYearFollowLeapYears) {
  struct Case {
    int year;
    int days;
  } cases[] = {{1896, 366}, {1900, 365}, {1999, 365}, {2000, 366},
               {2004, 366}, {2006, 365}, {2071, 365}};
  for (const Case &c : cases) {
    int valid = 0;
    for (std::uint32_t n = DayOf(c.year, 1, 1); n < DayOf(c.year, 1, 1) + 372u; ++n)
      valid += IsValidDayNumber(n) ? 1 : 0;
    EXPECT_EQ(c.days, valid) << c.year;
  }
  EXPECT_FALSE(IsValidDayNumber(0xFFC0));
  EXPECT_FALSE(IsValidDayNumber(0xFFFF));
  EXPECT_FALSE(IsValidDayNumber(0x10000 + DayOf(2000, 1, 1)));
}

// Every valid day number survives formatting in the three styles and
// reading back; every invalid one below the limit is a day beyond its
// month, and its dotted form reads as invalid.
TEST(DayNumbers, EveryDayRoundTripsThroughItsWrittenForms) {
  int valid = 0;
  for (std::uint32_t n = 1; n < DayNumberLimit; ++n) {
    const std::wstring dotted = FormatDayNumber(n, DayStyleDotted);
    if (!IsValidDayNumber(n)) {
      ASSERT_EQ(InvalidDate, ParseDate(dotted)) << n;
      continue;
    }
    ++valid;
    ASSERT_EQ(n, ParseDate(dotted)) << n;
    ASSERT_EQ(n, ParseDate(FormatDayNumber(n, DayStyleIso))) << n;
    ASSERT_EQ(n, ParseDate(FormatDayNumber(n, DayStyleCompact))) << n;
  }
  // 1896 to 2071: 176 years, 43 of them leap years (1900 is none).
  EXPECT_EQ(176 * 365 + 43 - 1, valid); // day 0 is not counted
}

TEST(DayNumbers, FromDateRefusesImpossibleParts) {
  struct Case {
    std::int64_t year, month, day;
    std::uint16_t result;
  } cases[] = {
      {2010, 12, 24, 42772},      {1896, 1, 1, NoDate},          {2010, 0, 1, InvalidDate},
      {2010, 13, 1, InvalidDate}, {2010, 1, 0, InvalidDate},     {2010, 1, 32, InvalidDate},
      {2010, 6, 31, InvalidDate}, {-1, 1, 1, InvalidDate},       {1895, 12, 31, InvalidDate},
      {INT64_MAX, 1, 1, InvalidDate}, {2010, INT64_MIN, 1, InvalidDate},
  };
  for (const Case &c : cases)
    EXPECT_EQ(c.result, DayNumberFromDate(c.year, c.month, c.day))
        << c.year << "-" << c.month << "-" << c.day;
}

// The patterns are compiled once and then shared: threads reading dates at
// the same time all get the right answers.
TEST(ParseDate, ThreadsReadDatesTogether) {
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < 2000; ++i) {
        if (ParseDate(L"24.12.2010") != 42772 || ParseDate(L"2000-02-29") != DayOf(2000, 2, 29) ||
            ParseDate(L"31.04.2006") != InvalidDate)
          ++wrong[t];
      }
    });
  }
  for (std::thread &thread : threads)
    thread.join();
  EXPECT_EQ(std::vector<int>(4, 0), wrong);
}

} // namespace

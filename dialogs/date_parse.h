// Date fields: four written forms read into the 16-bit day numbers of the
// build-date calendar (twelve 31-day months from 1 January 1896). Plain code:
// no windows.h, so it also builds natively for sanitizers and fuzzers.
#pragma once

#include <cstdint>
#include <string_view>

constexpr std::uint16_t NoDate = 0;
constexpr std::uint16_t InvalidDate = 0xFFFF;
// Every valid day number lies below this one (1 January 2072).
constexpr std::uint32_t DayNumberLimit = 0xFFC0;

// True for a day number that names a real day: below DayNumberLimit and its
// day within the real length of its month, leap years included. (0 is the
// real 1 January 1896; callers give it the meaning "no date".)
bool IsValidDayNumber(std::uint32_t dayNumber);

// The day number of a calendar date; InvalidDate when the date does not
// exist (month outside 1..12, day 0 or beyond its month, before 1896 or from
// 2072 on). 1 January 1896 is day 0, which reads as NoDate.
std::uint16_t DayNumberFromDate(std::int64_t year, std::int64_t month, std::int64_t day);

// Reads "m/d/yyyy", "d.m.yyyy" (day and month one or two digits),
// "yyyy-mm-dd" or "yyyymmdd". NoDate for "", "0", "0000-00-00", "00000000"
// and "99991231"; InvalidDate for any other text that is no valid date.
// Safe to call from several threads; the patterns are compiled on first use.
std::uint16_t ParseDate(std::wstring_view text);

// Times sorting 10,000 item records by one typed column the way the list
// view does (each comparison reads both records again) against sorting the
// already extracted values with the same comparison, and ParseDate against
// formatting the same day numbers; prints each median and the ratios.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/version_info.h"
#include "dialogs/date_parse.h"
#include "dialogs/list_cells.h"

namespace {

constexpr int kItems = 10000, kRuns = 5;

double MedianMilliseconds(const std::function<void()> &work) {
  std::vector<double> times;
  for (int run = 0; run < kRuns; ++run) {
    const auto start = std::chrono::steady_clock::now();
    work();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  return times[kRuns / 2];
}

// Deterministic pseudo-random numbers, so every run sorts the same lists.
std::uint32_t Next(std::uint32_t &state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

std::wstring DateText(std::uint32_t day, int form) {
  return FormatDayNumber(day, form == 0 ? DayStyleDotted : form == 1 ? DayStyleIso
                                                                      : DayStyleCompact);
}

} // namespace

int main() {
  std::uint32_t state = 12345;
  std::vector<std::wstring> records;
  for (int i = 0; i < kItems; ++i) {
    const std::uint32_t day = 36000 + Next(state) % 20000;
    const std::wstring date = IsValidDayNumber(day) ? DateText(day, int(Next(state) % 3)) : L"";
    records.push_back(L"<?xml version=\"1.0\"?><Mitglied><Name>Name " +
                      std::to_wstring(Next(state) % 5000) + L"</Name><Beitrag>" +
                      std::to_wstring(int(Next(state) % 2000000) - 1000000) +
                      L"</Beitrag><Eintritt>" + date + L"</Eintritt><Mitglnr>" +
                      std::to_wstring(i) + L"</Mitglnr></Mitglied>");
  }
  std::printf("%d records; median of %d runs\n", kItems, kRuns);
  for (const wchar_t *type : {L"Text", L"Money", L"Date"}) {
    const wchar_t *element = std::wstring(type) == L"Text"    ? L"Name"
                             : std::wstring(type) == L"Money" ? L"Beitrag"
                                                              : L"Eintritt";
    const ColumnType column = ParseColumnType(type);
    std::vector<std::wstring> values(kItems);
    for (int i = 0; i < kItems; ++i)
      ReadRecordElement(records[i].c_str(), element, &values[i]);
    const double byRecord = MedianMilliseconds([&] {
      std::vector<const wchar_t *> order;
      for (const std::wstring &r : records)
        order.push_back(r.c_str());
      std::sort(order.begin(), order.end(), [&](const wchar_t *a, const wchar_t *b) {
        return CompareRecords(a, b, element, type, nullptr) < 0;
      });
    });
    const double byValue = MedianMilliseconds([&] {
      std::vector<const std::wstring *> order;
      for (const std::wstring &v : values)
        order.push_back(&v);
      std::sort(order.begin(), order.end(), [&](const std::wstring *a, const std::wstring *b) {
        return CompareCellValues(column, *a, *b, nullptr) < 0;
      });
    });
    std::printf("sort by %-5ls: records %8.2f ms, extracted values %8.2f ms, ratio %.1f\n",
                type, byRecord, byValue, byRecord / byValue);
  }
  std::vector<std::wstring> dates;
  std::vector<std::uint32_t> days;
  for (int i = 0; i < 100000; ++i) {
    const std::uint32_t day = 1 + Next(state) % (DayNumberLimit - 1);
    days.push_back(day);
    dates.push_back(DateText(day, i % 3));
  }
  std::uint32_t sink = 0;
  const double parse = MedianMilliseconds([&] {
    for (const std::wstring &d : dates)
      sink += ParseDate(d);
  });
  const double format = MedianMilliseconds([&] {
    for (std::uint32_t d : days)
      sink += std::uint32_t(FormatDayNumber(d, DayStyleIso).size());
  });
  std::printf("ParseDate: %.0f ns a text; FormatDayNumber: %.0f ns a day; ratio %.1f (%u)\n",
              parse * 1e6 / 100000, format * 1e6 / 100000, parse / format, sink & 1);
  return 0;
}

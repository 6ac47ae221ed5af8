#include "dialogs/date_parse.h"

#include <pcre2.h>

#include <string>

namespace {

bool IsLeapYear(std::int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

std::int64_t DaysInMonth(std::int64_t year, std::int64_t month) {
  static const std::int64_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && IsLeapYear(year))
    return 29;
  return days[month - 1];
}

enum class DateForm { MonthDayYear, DayMonthYear, YearMonthDay, Compact };

struct DatePattern {
  DateForm form;
  const char16_t *source;
};

// "$" would also match before a final newline; the forms are whole texts.
// In the order of their separators in CandidateForm: "/", ".", "-", none.
const DatePattern kPatterns[] = {
    {DateForm::MonthDayYear, u"^[0-9]{1,2}\\/[0-9]{1,2}\\/[0-9]{4}$"},
    {DateForm::DayMonthYear, u"^[0-9]{1,2}\\.[0-9]{1,2}\\.[0-9]{4}$"},
    {DateForm::YearMonthDay, u"^[0-9]{4}\\-[0-9]{2}\\-[0-9]{2}$"},
    {DateForm::Compact, u"^[0-9]{8}$"},
};
constexpr std::size_t kPatternCount = sizeof kPatterns / sizeof kPatterns[0];

// Compiled once per process. A function-local static is initialised exactly
// once even when several threads arrive together; the compiled code is
// read-only afterwards, so matching needs no lock.
class CompiledPatterns {
public:
  CompiledPatterns() {
    for (std::size_t i = 0; i < kPatternCount; ++i) {
      const std::u16string source = kPatterns[i].source;
      int error = 0;
      PCRE2_SIZE offset = 0;
      codes_[i] = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(source.c_str()), source.size(),
                                PCRE2_DOLLAR_ENDONLY, &error, &offset, nullptr);
    }
  }
  ~CompiledPatterns() {
    for (pcre2_code *code : codes_)
      pcre2_code_free(code);
  }
  CompiledPatterns(const CompiledPatterns &) = delete;
  CompiledPatterns &operator=(const CompiledPatterns &) = delete;

  const pcre2_code *code(std::size_t i) const { return codes_[i]; }

private:
  pcre2_code *codes_[kPatternCount] = {};
};

const CompiledPatterns &Patterns() {
  static const CompiledPatterns patterns;
  return patterns;
}

// Every form is 8 to 10 characters long: "1.2.2010" to "12/24/2010".
constexpr std::size_t kShortestDate = 8, kLongestDate = 10;

// PCRE2 reads 16-bit units; wchar_t is 16 bits on Windows but 32 elsewhere,
// where a character beyond 16 bits becomes U+FFFD (never part of a date).
bool Matches(const pcre2_code *code, std::wstring_view text) {
  if (code == nullptr || text.size() > kLongestDate)
    return false;
  char16_t units[kLongestDate];
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<std::uint32_t>(text[i]);
    units[i] = c > 0xFFFF ? char16_t(0xFFFD) : char16_t(c);
  }
  pcre2_match_data *match = pcre2_match_data_create(1, nullptr);
  if (match == nullptr)
    return false;
  const int rc =
      pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(units), text.size(), 0, 0, match, nullptr);
  pcre2_match_data_free(match);
  return rc > 0;
}

// The one form a text can have, told by its first character that is no
// digit; the form's pattern then decides. kPatternCount for none.
std::size_t CandidateForm(std::wstring_view text) {
  for (wchar_t c : text) {
    if (c >= L'0' && c <= L'9')
      continue;
    for (std::size_t i = 0; i < 3; ++i)
      if (c == L"/.-"[i])
        return i;
    return kPatternCount;
  }
  return 3; // digits only
}

// The digit groups of a text that one of the patterns accepted: at most
// three groups of at most eight digits, so no group can overflow.
struct DigitGroups {
  std::int64_t value[3] = {};
  int count = 0;
};

DigitGroups ReadDigitGroups(std::wstring_view text) {
  DigitGroups groups;
  bool inGroup = false;
  for (wchar_t c : text) {
    if (c >= L'0' && c <= L'9') {
      if (!inGroup) {
        if (groups.count == 3)
          break;
        ++groups.count;
        inGroup = true;
      }
      std::int64_t &v = groups.value[groups.count - 1];
      v = v * 10 + (c - L'0');
    } else {
      inGroup = false;
    }
  }
  return groups;
}

} // namespace

bool IsValidDayNumber(std::uint32_t dayNumber) {
  if (dayNumber >= DayNumberLimit)
    return false;
  const std::int64_t day = dayNumber % 31 + 1;
  const std::int64_t month = (dayNumber % 372) / 31 + 1;
  const std::int64_t year = dayNumber / 372 + 1896;
  return day <= DaysInMonth(year, month);
}

std::uint16_t DayNumberFromDate(std::int64_t year, std::int64_t month, std::int64_t day) {
  // Checked before the arithmetic: month 13 or day 0 would otherwise fold
  // into a neighbouring month or year and pass as another real date.
  if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1896 || year > 9999)
    return InvalidDate;
  const std::int64_t number = (year - 1896) * 372 + (month - 1) * 31 + (day - 1);
  if (number == 0)
    return NoDate;
  if (!IsValidDayNumber(static_cast<std::uint32_t>(number)))
    return InvalidDate;
  return static_cast<std::uint16_t>(number);
}

std::uint16_t ParseDate(std::wstring_view text) {
  const CompiledPatterns &patterns = Patterns();
  const std::size_t i = CandidateForm(text);
  if (text.size() >= kShortestDate && i < kPatternCount && Matches(patterns.code(i), text)) {
    const DigitGroups groups = ReadDigitGroups(text);
    switch (kPatterns[i].form) {
    case DateForm::MonthDayYear:
      return DayNumberFromDate(groups.value[2], groups.value[0], groups.value[1]);
    case DateForm::DayMonthYear:
      return DayNumberFromDate(groups.value[2], groups.value[1], groups.value[0]);
    case DateForm::YearMonthDay:
      if (text == L"0000-00-00")
        return NoDate;
      return DayNumberFromDate(groups.value[0], groups.value[1], groups.value[2]);
    case DateForm::Compact: {
      if (text == L"00000000" || text == L"99991231")
        return NoDate;
      const std::int64_t all = groups.value[0];
      return DayNumberFromDate(all / 10000, all / 100 % 100, all % 100);
    }
    }
  }
  if (text.empty() || text == L"0")
    return NoDate;
  return InvalidDate;
}

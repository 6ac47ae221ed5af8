// ParseDate and the cell formatters over any text: the first byte picks a
// column type, the second splits the rest into two values (as UTF-16 units)
// for the comparisons.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "app/version_info.h"
#include "dialogs/date_parse.h"
#include "dialogs/list_cells.h"
#include "dialogs/parse_int64.h"
#include "fuzz_check.h"
#include "fuzz_text.h"

namespace {

const wchar_t *const kTypes[] = {L"Text", L"Money", L"Int", L"Int(1)", L"Int(23)",
                                 L"Int(24)", L"Int(0)", L"Date", L"Int(x)", L"Custom"};

void CheckDate(const std::wstring &text) {
  const std::uint16_t day = ParseDate(text);
  FUZZ_CHECK(day == NoDate || day == InvalidDate || IsValidDayNumber(day));
  const std::wstring cell = FormatDateCell(text);
  if (day == NoDate) {
    FUZZ_CHECK(cell.empty());
  } else if (day == InvalidDate) {
    FUZZ_CHECK(cell == text);
  } else {
    // The dotted form reads back as the same day.
    FUZZ_CHECK(ParseDate(cell) == day);
    FUZZ_CHECK(cell == FormatDayNumber(day, DayStyleDotted));
  }
}

void CheckMoney(const std::wstring &text) {
  const std::wstring money = FormatMoney(text);
  // "-"? digits in groups of three split by ".", then "," and two digits.
  std::size_t i = money.size() > 0 && money[0] == L'-' ? 1 : 0;
  FUZZ_CHECK(money.size() >= i + 4 && money[money.size() - 3] == L',');
  std::size_t digits = 0;
  for (; i < money.size() - 3; ++i) {
    if (money[i] == L'.') {
      FUZZ_CHECK((money.size() - 3 - i - 1) % 4 == 3);
    } else {
      FUZZ_CHECK(money[i] >= L'0' && money[i] <= L'9');
      ++digits;
    }
  }
  FUZZ_CHECK(digits >= 1);
  // The formatted amount is the same amount.
  FUZZ_CHECK(CompareMoney(text, money) == 0);
}

void CheckCellAndCut(const std::wstring &typeName, const std::wstring &text) {
  const ColumnType type = ParseColumnType(typeName);
  FUZZ_CHECK(type.kind != CellKind::FixedInt || (type.digits >= 1 && type.digits <= kMaxFixedDigits));
  std::wstring cell = L"left over";
  const bool known = FormatCellValue(type, text, &cell);
  FUZZ_CHECK(known == (type.kind != CellKind::Custom));
  if (!known)
    FUZZ_CHECK(cell.empty());
  if (type.kind == CellKind::FixedInt) {
    const std::int64_t v = ParseInt64(text);
    FUZZ_CHECK(cell.size() == type.digits + (v < 0 ? 1 : 0));
  }
  if (type.kind == CellKind::Int)
    FUZZ_CHECK(ParseInt64(cell) == ParseInt64(text));

  // Cutting into a buffer of exactly `capacity` places.
  for (int capacity : {0, 1, 2, 3, 4, 9, int(cell.size()), int(cell.size()) + 1}) {
    if (capacity < 0)
      continue;
    std::unique_ptr<wchar_t[]> buffer(new wchar_t[capacity ? capacity : 1]);
    buffer[0] = L'#';
    CopyCutText(cell, buffer.get(), capacity);
    if (capacity == 0) {
      FUZZ_CHECK(buffer[0] == L'#');
      continue;
    }
    const std::size_t length = std::wcslen(buffer.get()); // stops inside: ASan would tell
    FUZZ_CHECK(length < std::size_t(capacity));
    if (cell.size() < std::size_t(capacity) && cell.find(L'\0') == std::wstring::npos)
      FUZZ_CHECK(std::wstring(buffer.get()) == cell);
  }
}

void CheckOrder(const ColumnType &type, const std::wstring &a, const std::wstring &b) {
  const int ab = CompareCellValues(type, a, b, nullptr);
  const int ba = CompareCellValues(type, b, a, nullptr);
  FUZZ_CHECK(ab >= -1 && ab <= 1 && ab == -ba);
  FUZZ_CHECK(CompareCellValues(type, a, a, nullptr) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 2)
    return 0;
  const std::wstring typeName = kTypes[data[0] % 10];
  const std::wstring all = WideUnits(data + 2, size - 2);
  const std::size_t split = std::min<std::size_t>(data[1], all.size());
  const std::wstring a = all.substr(0, split), b = all.substr(split);
  CheckDate(a);
  CheckDate(b);
  CheckMoney(a);
  CheckCellAndCut(typeName, a);
  CheckCellAndCut(L"Int(" + b.substr(0, 4) + L")", a);
  CheckOrder(ParseColumnType(typeName), a, b);
  return 0;
}

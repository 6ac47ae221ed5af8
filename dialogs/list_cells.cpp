#include "dialogs/list_cells.h"

#include <cstdint>
#include <cwctype>

#include "app/version_info.h"
#include "dialogs/date_parse.h"
#include "dialogs/parse_int64.h"

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

enum class TagKind { Open, Close, Empty, Other };

struct Tag {
  TagKind kind;
  std::wstring_view name;
};

// Reads the tag that starts at text[pos] == '<'; on success `pos` moves
// past its '>'. False when the tag is never closed.
bool ReadTag(std::wstring_view text, std::size_t *pos, Tag *tag) {
  const std::size_t close = text.find(L'>', *pos + 1);
  if (close == std::wstring_view::npos)
    return false;
  std::wstring_view inside = text.substr(*pos + 1, close - *pos - 1);
  *pos = close + 1;
  if (!inside.empty() && inside.front() == L'/') {
    tag->kind = TagKind::Close;
    tag->name = inside.substr(1);
  } else if (!inside.empty() && (inside.front() == L'?' || inside.front() == L'!')) {
    tag->kind = TagKind::Other; // processing instruction or comment
    tag->name = inside;
  } else if (!inside.empty() && inside.back() == L'/') {
    tag->kind = TagKind::Empty;
    tag->name = inside.substr(0, inside.size() - 1);
  } else {
    tag->kind = TagKind::Open;
    tag->name = inside;
  }
  return true;
}

// `text` starts right after the opening tag of element `name`; finds the
// closing tag that brings the nesting back to that element's level. The
// element's content is everything before it. False when the nesting never
// returns (the element is not closed) or returns on another name.
bool FindElementEnd(std::wstring_view text, std::wstring_view name, std::wstring_view *content) {
  std::size_t depth = 0;
  std::size_t pos = 0;
  while ((pos = text.find(L'<', pos)) != std::wstring_view::npos) {
    const std::size_t tagStart = pos;
    Tag tag;
    if (!ReadTag(text, &pos, &tag))
      return false;
    if (tag.kind == TagKind::Open) {
      ++depth;
    } else if (tag.kind == TagKind::Close) {
      if (depth == 0) {
        if (tag.name != name)
          return false;
        *content = text.substr(0, tagStart);
        return true;
      }
      --depth;
    }
  }
  return false;
}

int Sign(std::int64_t v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

struct MoneyAmount {
  bool negative = false;
  std::wstring digits; // no leading zeros; empty for 0
};

MoneyAmount ReadMoney(std::wstring_view value) {
  MoneyAmount amount;
  for (wchar_t c : value) {
    if (c >= L'0' && c <= L'9' && !(amount.digits.empty() && c == L'0'))
      amount.digits.push_back(c);
  }
  amount.negative = !value.empty() && value.front() == L'-' && !amount.digits.empty();
  return amount;
}

// Digits of a value's magnitude; the minimum of int64 has no positive
// counterpart, so the magnitude is taken in unsigned arithmetic.
std::wstring MagnitudeDigits(std::int64_t value) {
  std::uint64_t magnitude =
      value < 0 ? std::uint64_t(0) - static_cast<std::uint64_t>(value) : std::uint64_t(value);
  std::wstring digits;
  do {
    digits.insert(digits.begin(), wchar_t(L'0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  return digits;
}

} // namespace

bool FindRecordRoot(std::wstring_view record, std::wstring_view *content) {
  if (record.substr(0, kRecordProlog.size()) == kRecordProlog) {
    record.remove_prefix(kRecordProlog.size());
    while (!record.empty() && IsBlank(record.front()))
      record.remove_prefix(1);
  }
  if (record.empty() || record.front() != L'<')
    return false;
  std::size_t pos = 0;
  Tag root;
  if (!ReadTag(record, &pos, &root) || root.name.empty())
    return false;
  if (root.kind == TagKind::Empty) {
    *content = std::wstring_view();
    return true;
  }
  if (root.kind != TagKind::Open)
    return false;
  return FindElementEnd(record.substr(pos), root.name, content);
}

bool FindChildElement(std::wstring_view parent, std::wstring_view name,
                      std::wstring_view *content) {
  if (name.empty())
    return false;
  std::size_t depth = 0;
  std::size_t pos = 0;
  while ((pos = parent.find(L'<', pos)) != std::wstring_view::npos) {
    Tag tag;
    if (!ReadTag(parent, &pos, &tag))
      return false;
    switch (tag.kind) {
    case TagKind::Open:
      if (depth == 0 && tag.name == name)
        return FindElementEnd(parent.substr(pos), name, content);
      ++depth;
      break;
    case TagKind::Close:
      if (depth > 0)
        --depth;
      break;
    case TagKind::Empty:
      if (depth == 0 && tag.name == name) {
        *content = std::wstring_view();
        return true;
      }
      break;
    case TagKind::Other:
      break;
    }
  }
  return false;
}

std::wstring DecodeElementText(std::wstring_view raw) {
  static const struct {
    std::wstring_view entity;
    wchar_t character;
  } kEntities[] = {{L"&amp;", L'&'},
                   {L"&lt;", L'<'},
                   {L"&gt;", L'>'},
                   {L"&quot;", L'"'},
                   {L"&apos;", L'\''}};
  std::wstring text;
  text.reserve(raw.size());
  std::size_t i = 0;
  while (i < raw.size()) {
    if (raw[i] != L'&') {
      text.push_back(raw[i++]);
      continue;
    }
    bool known = false;
    for (const auto &e : kEntities) {
      if (raw.substr(i, e.entity.size()) == e.entity) {
        text.push_back(e.character);
        i += e.entity.size();
        known = true;
        break;
      }
    }
    if (!known)
      ++i; // an unknown "&" is dropped, what follows it stays
  }
  return text;
}

bool ReadRecordElement(const wchar_t *record, std::wstring_view name, std::wstring *text) {
  text->clear();
  if (record == nullptr)
    return false;
  std::wstring_view root, element;
  if (!FindRecordRoot(std::wstring_view(record), &root) ||
      !FindChildElement(root, name, &element))
    return false;
  *text = DecodeElementText(element);
  return true;
}

ColumnType ParseColumnType(std::wstring_view typeName) {
  ColumnType type;
  if (typeName == L"Text") {
    type.kind = CellKind::Text;
  } else if (typeName == L"Money") {
    type.kind = CellKind::Money;
  } else if (typeName == L"Int") {
    type.kind = CellKind::Int;
  } else if (typeName == L"Date") {
    type.kind = CellKind::Date;
  } else if (typeName.size() > 5 && typeName.substr(0, 4) == L"Int(" && typeName.back() == L')') {
    const std::wstring_view n = typeName.substr(4, typeName.size() - 5);
    unsigned digits = 0;
    for (wchar_t c : n) {
      if (c < L'0' || c > L'9')
        return type; // unreadable width: a custom type
      digits = digits * 10 + unsigned(c - L'0');
      if (digits > kMaxFixedDigits)
        digits = kMaxFixedDigits + 1; // saturate: "Int(99999999999)" must not wrap to a small n
    }
    if (digits == 0) {
      type.kind = CellKind::Int;
    } else {
      type.kind = CellKind::FixedInt;
      type.digits = digits > kMaxFixedDigits ? kMaxFixedDigits : digits;
    }
  }
  return type;
}

std::wstring FormatMoney(std::wstring_view value) {
  const MoneyAmount amount = ReadMoney(value);
  std::wstring digits = amount.digits;
  if (digits.size() < 3)
    digits.insert(0, 3 - digits.size(), L'0');
  const std::size_t whole = digits.size() - 2;
  std::wstring text;
  if (amount.negative)
    text.push_back(L'-');
  for (std::size_t i = 0; i < whole; ++i) {
    if (i > 0 && (whole - i) % 3 == 0)
      text.push_back(L'.');
    text.push_back(digits[i]);
  }
  text.push_back(L',');
  text.append(digits, whole, 2);
  return text;
}

std::wstring FormatFixedDigits(std::int64_t value, unsigned digits) {
  std::wstring text = MagnitudeDigits(value);
  if (text.size() < digits)
    text.insert(0, digits - text.size(), L'0');
  else
    text.erase(0, text.size() - digits);
  if (value < 0)
    text.insert(text.begin(), L'-');
  return text;
}

std::wstring FormatDateCell(std::wstring_view value) {
  const std::uint16_t day = ParseDate(value);
  if (day == NoDate)
    return std::wstring();
  if (day == InvalidDate)
    return std::wstring(value);
  return FormatDayNumber(day, DayStyleDotted);
}

bool FormatCellValue(const ColumnType &type, std::wstring_view value, std::wstring *text) {
  switch (type.kind) {
  case CellKind::Text:
    *text = std::wstring(value);
    return true;
  case CellKind::Money:
    *text = FormatMoney(value);
    return true;
  case CellKind::Int: {
    const std::int64_t number = ParseInt64(value);
    *text = (number < 0 ? L"-" : L"") + MagnitudeDigits(number);
    return true;
  }
  case CellKind::FixedInt:
    *text = FormatFixedDigits(ParseInt64(value), type.digits);
    return true;
  case CellKind::Date:
    *text = FormatDateCell(value);
    return true;
  case CellKind::Custom:
    break;
  }
  text->clear();
  return false;
}

int CompareTextFolded(const wchar_t *a, const wchar_t *b) {
  for (;; ++a, ++b) {
    const auto ca = static_cast<std::uint32_t>(std::towupper(static_cast<std::wint_t>(*a)));
    const auto cb = static_cast<std::uint32_t>(std::towupper(static_cast<std::wint_t>(*b)));
    if (ca != cb)
      return ca < cb ? -1 : 1;
    if (*a == L'\0')
      return 0;
  }
}

int CompareMoney(std::wstring_view a, std::wstring_view b) {
  const MoneyAmount x = ReadMoney(a), y = ReadMoney(b);
  if (x.negative != y.negative)
    return x.negative ? -1 : 1;
  int magnitude = 0;
  if (x.digits.size() != y.digits.size())
    magnitude = x.digits.size() < y.digits.size() ? -1 : 1;
  else
    magnitude = Sign(x.digits.compare(y.digits));
  return x.negative ? -magnitude : magnitude;
}

int CompareCellValues(const ColumnType &type, const std::wstring &a, const std::wstring &b,
                      TextOrder order) {
  if (order == nullptr)
    order = CompareTextFolded;
  switch (type.kind) {
  case CellKind::Money:
    return CompareMoney(a, b);
  case CellKind::Int:
  case CellKind::FixedInt: {
    const std::int64_t x = ParseInt64(a), y = ParseInt64(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  case CellKind::Date: {
    // By day, not by the written text: "24.12.2010" before "01.01.2011".
    const std::uint16_t x = ParseDate(a), y = ParseDate(b);
    if (x != y)
      return x < y ? -1 : 1;
    if (x != InvalidDate)
      return 0;
    break;
  }
  case CellKind::Text:
  case CellKind::Custom:
    break;
  }
  return Sign(order(a.c_str(), b.c_str()));
}

int CompareRecords(const wchar_t *first, const wchar_t *second, std::wstring_view elementName,
                   std::wstring_view typeName, TextOrder order) {
  // Small integers in an item's lParam are no record pointers.
  if (reinterpret_cast<std::uintptr_t>(first) <= 0xFFFF ||
      reinterpret_cast<std::uintptr_t>(second) <= 0xFFFF)
    return 0;
  std::wstring a, b;
  ReadRecordElement(first, elementName, &a);
  ReadRecordElement(second, elementName, &b);
  const int result = CompareCellValues(ParseColumnType(typeName), a, b, order);
  if (result != 0)
    return result;
  const bool firstHas = ReadRecordElement(first, kTieBreakElement, &a);
  const bool secondHas = ReadRecordElement(second, kTieBreakElement, &b);
  if (!firstHas && !secondHas)
    return 0;
  const std::int64_t x = ParseInt64(a), y = ParseInt64(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}

void CopyCutText(std::wstring_view text, wchar_t *buffer, int capacity) {
  if (buffer == nullptr || capacity <= 0)
    return;
  const std::size_t room = static_cast<std::size_t>(capacity) - 1;
  if (text.size() <= room) {
    text.copy(buffer, text.size());
    buffer[text.size()] = L'\0';
    return;
  }
  text.copy(buffer, room);
  const std::size_t dots = room < 3 ? room : 3;
  for (std::size_t i = room - dots; i < room; ++i)
    buffer[i] = L'.';
  buffer[room] = L'\0';
}

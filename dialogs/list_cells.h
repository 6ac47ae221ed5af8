// Typed list-view cells as plain functions over wide strings: reading an
// item's record, the column types, the cell texts and the sort order. No
// windows.h, so the same code builds natively for sanitizers and fuzzers;
// the window side (list_view_hooks.cpp) only fetches records and columns.
//
// An item record is a small XML text such as
//   <?xml version="1.0"?><Mitglied><Name>M&amp;M</Name><Mitglnr>7</Mitglnr></Mitglied>
// Tags carry no attributes; a column names a child element of the root.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The optional prolog a record may start with.
constexpr std::wstring_view kRecordProlog = L"<?xml version=\"1.0\"?>";
// The child element whose number orders items that are otherwise equal.
constexpr std::wstring_view kTieBreakElement = L"Mitglnr";
// The most digits an "Int(n)" column shows.
constexpr unsigned kMaxFixedDigits = 23;

// The content of the record's root element, between its opening and its
// matching closing tag. False when the record does not begin with "<" (after
// the optional prolog), or its root is unnamed or never closed.
bool FindRecordRoot(std::wstring_view record, std::wstring_view *content);

// The content of the first element called `name` on the level directly
// inside `parent` (a deeper element of that name does not count). False for
// an empty name, no such element, or one whose closing tag is missing.
bool FindChildElement(std::wstring_view parent, std::wstring_view name,
                      std::wstring_view *content);

// Element text with "&amp;", "&lt;", "&gt;", "&quot;" and "&apos;" replaced
// by their characters; any other "&" is dropped.
std::wstring DecodeElementText(std::wstring_view raw);

// The decoded text of child element `name` of the record's root. False
// (and an empty text) when the record is null, lacks its root or the
// element. Reads nothing beyond the record's terminating NUL.
bool ReadRecordElement(const wchar_t *record, std::wstring_view name, std::wstring *text);

enum class CellKind { Text, Money, Int, FixedInt, Date, Custom };

struct ColumnType {
  CellKind kind = CellKind::Custom;
  unsigned digits = 0; // FixedInt only: 1 to kMaxFixedDigits
};

// "Text", "Money", "Int", "Int(n)", "Date" (case-sensitive); anything else
// is Custom. "Int(n)" wants n as decimal digits: n above 23 shows 23 digits,
// n of 0 shows the plain number, and a text such as "Int(x)" or "Int(4"
// is no Int(n) but a custom type.
ColumnType ParseColumnType(std::wstring_view typeName);

// "Money": hundredths; only the digits count and a leading "-" makes the
// amount negative. 12345 → "123,45", 5 → "0,05", -123456789 →
// "-1.234.567,89". Any number of digits, no overflow.
std::wstring FormatMoney(std::wstring_view value);
// The last `digits` decimal digits of the value, zero-padded, with "-" in
// front of a negative value.
std::wstring FormatFixedDigits(std::int64_t value, unsigned digits);
// "Date": day.month.year; "" for no date; an invalid date keeps its text.
std::wstring FormatDateCell(std::wstring_view value);

// The cell text of `value` for a column of a type the base knows. False for
// a custom type, whose text the dialog gives (FormatCustomCell).
bool FormatCellValue(const ColumnType &type, std::wstring_view value, std::wstring *text);

// A case-insensitive text order: negative, zero or positive. The window side
// passes the platform's StrCmpIW; null means CompareTextFolded.
using TextOrder = int (*)(const wchar_t *, const wchar_t *);
// Case-insensitive order by folded code units (towupper), for builds
// without the platform's text order.
int CompareTextFolded(const wchar_t *a, const wchar_t *b);

// Order of two amounts written as for FormatMoney: -1, 0 or 1.
int CompareMoney(std::wstring_view a, std::wstring_view b);
// Order of two values of one column type: -1, 0 or 1. Text and custom types
// by text order, Money by amount, Int and Int(n) by value, Date by day
// (no date first, invalid dates last, ordered by their text).
int CompareCellValues(const ColumnType &type, const std::wstring &a, const std::wstring &b,
                      TextOrder order);

// Order of two item records by one column: -1, 0 or 1. A record pointer at
// or below 0xFFFF is no record and compares equal to anything. A missing
// element counts as an empty value. Equal values are ordered by the number
// in "Mitglnr" when either record has one (a missing one counts as 0), so
// the order is the same whichever item comes first.
int CompareRecords(const wchar_t *first, const wchar_t *second, std::wstring_view elementName,
                   std::wstring_view typeName, TextOrder order);

// Copies `text` into a caller's buffer of `capacity` characters, always
// NUL-terminated when capacity > 0. A text that does not fit is cut and its
// last places before the NUL become dots: "..." when there is room for
// three, fewer in a buffer of 2 or 3. Nothing is written when capacity <= 0.
void CopyCutText(std::wstring_view text, wchar_t *buffer, int capacity);

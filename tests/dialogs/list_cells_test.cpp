#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "dialogs/list_cells.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

#ifdef _WIN32
// A crash of a death test's child ends it with exit code 3, not in Wine's
// debugger.
LONG WINAPI EndAtOnce(EXCEPTION_POINTERS *) { ExitProcess(3); }
#endif

TEST(ItemRecord, ReadsElementsTable) {
  struct Case {
    const wchar_t *record;
    const wchar_t *name;
    bool found;
    const wchar_t *text;
  } cases[] = {
      {L"<?xml version=\"1.0\"?><M><Name>Ute</Name></M>", L"Name", true, L"Ute"},
      {L"<M><Name>Ute</Name></M>", L"Name", true, L"Ute"},
      {L"<?xml version=\"1.0\"?>\r\n<M><Name>Ute</Name></M>", L"Name", true, L"Ute"},
      {L"<M><Nr>1</Nr><Name>Ute</Name><Name>Eva</Name></M>", L"Name", true, L"Ute"},
      // Only the level directly inside the root counts.
      {L"<M><G><Name>deep</Name></G><Name>top</Name></M>", L"Name", true, L"top"},
      {L"<M><G><Name>deep</Name></G></M>", L"Name", false, L""},
      // An element holding one of its own name ends at its own closing tag.
      {L"<M><Name><Name>in</Name></Name><Nr>2</Nr></M>", L"Name", true, L"<Name>in</Name>"},
      {L"<M><Name><Name>in</Name></Name><Nr>2</Nr></M>", L"Nr", true, L"2"},
      // Names match whole and case-sensitively.
      {L"<M><Names>x</Names><Name>y</Name></M>", L"Name", true, L"y"},
      {L"<M><NAME>x</NAME></M>", L"Name", false, L""},
      {L"<M><Name/><Nr>3</Nr></M>", L"Name", true, L""},
      {L"<M><!-- note --><Name>Ute</Name></M>", L"Name", true, L"Ute"},
      {L"<M><Name></Name></M>", L"Name", true, L""},
      // Entities, known and unknown, also at the very end of the text.
      {L"<M><Name>M&amp;M &lt;1&gt; &quot;q&quot; &apos;s&apos;</Name></M>", L"Name", true,
       L"M&M <1> \"q\" 's'"},
      {L"<M><Name>a&nbsp;b</Name></M>", L"Name", true, L"anbsp;b"},
      {L"<M><Name>x&amp</Name></M>", L"Name", true, L"xamp"},
      {L"<M><Name>x&</Name></M>", L"Name", true, L"x"},
      {L"<M><Name>&&amp;&</Name></M>", L"Name", true, L"&"},
      {L"<M><Name>&amp;lt;</Name></M>", L"Name", true, L"&lt;"},
      // Hostile records: nothing found, nothing read beyond the text.
      {L"<M><Name>Ute</M>", L"Name", false, L""},
      {L"<M><Name>Ute</Name>", L"Name", false, L""},
      {L"<M><Name>Ute</Name", L"Name", false, L""},
      {L"<M><Name>Ute", L"Name", false, L""},
      {L"<M><Name", L"Name", false, L""},
      {L"<M", L"Name", false, L""},
      {L"<", L"Name", false, L""},
      {L"", L"Name", false, L""},
      {L"<>", L"Name", false, L""},
      {L"<></>", L"Name", false, L""},
      {L"</M><Name>x</Name>", L"Name", false, L""},
      {L"M><Name>x</Name></M>", L"Name", false, L""},
      {L" <M><Name>x</Name></M>", L"Name", false, L""},
      {L"<?xml version=\"1.0\"?>", L"Name", false, L""},
      {L"<?xml version=\"1.0\"?>Name", L"Name", false, L""},
      {L"<M></M><Name>x</Name>", L"Name", false, L""},
      {L"<M><Name>x</Name></M>", L"", false, L""},
      {L"<M/>", L"Name", false, L""},
      {L"<M><G><Name>x</G></Name></M>", L"Name", false, L""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.record);
    std::wstring text = L"stale";
    EXPECT_EQ(c.found, ReadRecordElement(c.record, c.name, &text));
    EXPECT_EQ(c.text, text);
  }
  std::wstring text = L"stale";
  EXPECT_FALSE(ReadRecordElement(nullptr, L"Name", &text));
  EXPECT_EQ(L"", text);
}

// The closing tags lie beyond the terminating NUL: a reader that ran on
// past the string would find the element.
TEST(ItemRecord, StopsAtTheTerminatingNul) {
  const wchar_t buffer[] = L"<M><Name>Ute\0</Name></M>";
  std::wstring text;
  EXPECT_FALSE(ReadRecordElement(buffer, L"Name", &text));
  const wchar_t prolog[] = L"<?xml version=\0\"1.0\"?><M><Name>Ute</Name></M>";
  EXPECT_FALSE(ReadRecordElement(prolog, L"Name", &text));
}

TEST(ColumnTypes, NamesTable) {
  struct Case {
    const wchar_t *name;
    CellKind kind;
    unsigned digits;
  } cases[] = {
      {L"Text", CellKind::Text, 0},
      {L"Money", CellKind::Money, 0},
      {L"Int", CellKind::Int, 0},
      {L"Date", CellKind::Date, 0},
      {L"Int(4)", CellKind::FixedInt, 4},
      {L"Int(1)", CellKind::FixedInt, 1},
      {L"Int(23)", CellKind::FixedInt, 23},
      {L"Int(007)", CellKind::FixedInt, 7},
      // Wider than a cell shows, also beyond 32 bits: 23 digits.
      {L"Int(24)", CellKind::FixedInt, 23},
      {L"Int(4294967300)", CellKind::FixedInt, 23},
      {L"Int(99999999999999999999999)", CellKind::FixedInt, 23},
      // No width at all: the plain number.
      {L"Int(0)", CellKind::Int, 0},
      // Unreadable widths make no Int(n).
      {L"Int()", CellKind::Custom, 0},
      {L"Int(x)", CellKind::Custom, 0},
      {L"Int(4", CellKind::Custom, 0},
      {L"Int(4))", CellKind::Custom, 0},
      {L"Int( 4)", CellKind::Custom, 0},
      {L"Int(-4)", CellKind::Custom, 0},
      {L"Int(+4)", CellKind::Custom, 0},
      {L"Int(4)x", CellKind::Custom, 0},
      {L"int", CellKind::Custom, 0},
      {L"TEXT", CellKind::Custom, 0},
      {L"Datum", CellKind::Custom, 0},
      {L"", CellKind::Custom, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const ColumnType type = ParseColumnType(c.name);
    EXPECT_EQ(int(c.kind), int(type.kind));
    EXPECT_EQ(c.digits, type.digits);
  }
}

TEST(ColumnTypes, CellTextsTable) {
  struct Case {
    const wchar_t *type;
    const wchar_t *value;
    const wchar_t *text;
  } cases[] = {
      {L"Text", L"M&M", L"M&M"},
      {L"Text", L"", L""},
      {L"Money", L"5", L"0,05"},
      {L"Money", L"-123456789", L"-1.234.567,89"},
      {L"Money", L"12345", L"123,45"},
      {L"Money", L"0", L"0,00"},
      {L"Money", L"", L"0,00"},
      {L"Money", L"-0", L"0,00"},
      {L"Money", L"007", L"0,07"},
      {L"Money", L"100", L"1,00"},
      {L"Money", L"99999", L"999,99"},
      {L"Money", L"100000", L"1.000,00"},
      {L"Money", L"12345678", L"123.456,78"},
      {L"Money", L"1 234,56 EUR", L"1.234,56"},
      {L"Money", L"12-3", L"1,23"},
      {L"Money", L" -5", L"0,05"},
      {L"Money", L"123456789012345678901234567890",
       L"1.234.567.890.123.456.789.012.345.678,90"},
      {L"Int", L"42", L"42"},
      {L"Int", L"-12", L"-12"},
      {L"Int", L"1 000", L"1000"},
      {L"Int", L"+5", L"0"},
      {L"Int", L"12abc", L"12"},
      {L"Int", L"", L"0"},
      {L"Int", L"-9223372036854775808", L"-9223372036854775808"},
      {L"Int", L"9223372036854775807", L"9223372036854775807"},
      {L"Int(4)", L"7", L"0007"},
      {L"Int(4)", L"123456", L"3456"},
      {L"Int(4)", L"-7", L"-0007"},
      {L"Int(1)", L"0", L"0"},
      {L"Int(0)", L"7", L"7"},
      {L"Int(23)", L"1", L"00000000000000000000001"},
      {L"Int(99)", L"1", L"00000000000000000000001"},
      {L"Int(23)", L"-9223372036854775808", L"-00009223372036854775808"},
      {L"Date", L"2000-02-29", L"29.02.2000"},
      {L"Date", L"12/24/2010", L"24.12.2010"},
      {L"Date", L"1.2.2010", L"01.02.2010"},
      {L"Date", L"20060716", L"16.07.2006"},
      // No date shows nothing; an invalid one shows what is stored.
      {L"Date", L"", L""},
      {L"Date", L"0000-00-00", L""},
      {L"Date", L"99991231", L""},
      {L"Date", L"31.04.2006", L"31.04.2006"},
      {L"Date", L"Montag", L"Montag"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::wstring(c.type) + L" " + c.value);
    std::wstring text = L"stale";
    EXPECT_TRUE(FormatCellValue(ParseColumnType(c.type), c.value, &text));
    EXPECT_EQ(c.text, text);
  }
  std::wstring text = L"stale";
  EXPECT_FALSE(FormatCellValue(ParseColumnType(L"Farbe"), L"rot", &text));
  EXPECT_EQ(L"", text);
}

TEST(CutText, CallerBuffersTable) {
  struct Case {
    const wchar_t *text;
    int capacity;
    const wchar_t *result; // null: the buffer is left alone
  } cases[] = {
      {L"abcdef", -1, nullptr},
      {L"abcdef", 0, nullptr},
      {L"", 0, nullptr},
      {L"abcdef", 1, L""},
      {L"abcdef", 2, L"."},
      {L"abcdef", 3, L".."},
      {L"abcdef", 4, L"..."},
      {L"abcdef", 5, L"a..."},
      {L"abcdef", 6, L"ab..."},
      {L"abcdef", 7, L"abcdef"},
      {L"abcdef", 100, L"abcdef"},
      {L"", 1, L""},
      {L"a", 1, L""},
      {L"a", 2, L"a"},
      {L"abc", 4, L"abc"},
      {L"abcd", 4, L"..."},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::wstring(c.text) + L" in " + std::to_wstring(c.capacity));
    // Guard places on both sides show any write outside the buffer.
    std::vector<wchar_t> memory(120, L'#');
    wchar_t *buffer = memory.data() + 10;
    CopyCutText(c.text, buffer, c.capacity);
    const int size = std::max(c.capacity, 0);
    for (int i = 0; i < 10; ++i)
      ASSERT_EQ(L'#', memory[i]);
    for (std::size_t i = 10 + size; i < memory.size(); ++i)
      ASSERT_EQ(L'#', memory[i]) << "written at " << i - 10;
    if (c.result == nullptr) {
      EXPECT_EQ(L'#', buffer[0]);
    } else {
      EXPECT_EQ(c.result, std::wstring(buffer));
    }
  }
  // No buffer however large its capacity: nothing is written (a write
  // through the null pointer would end the child process).
  EXPECT_EXIT(
      {
#ifdef _WIN32
        SetUnhandledExceptionFilter(EndAtOnce);
#endif
        CopyCutText(L"abc", nullptr, 10);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

// A small club list: names that differ only in case, amounts whose text
// order differs from their value order, dates in several forms, and
// Mitglnr to order what is otherwise equal.
std::wstring Member(const wchar_t *name, const wchar_t *amount, const wchar_t *date,
                    const wchar_t *nr, const wchar_t *number) {
  std::wstring record = L"<?xml version=\"1.0\"?><Mitglied><Name>";
  record += name;
  record += L"</Name><Beitrag>";
  record += amount;
  record += L"</Beitrag><Eintritt>";
  record += date;
  record += L"</Eintritt><Nr>";
  record += nr;
  record += L"</Nr>";
  if (number != nullptr) {
    record += L"<Mitglnr>";
    record += number;
    record += L"</Mitglnr>";
  }
  return record + L"</Mitglied>";
}

TEST(CompareRecords, SortOrderWithMitglnrTieBreak) {
  const std::vector<std::wstring> members = {
      Member(L"beta", L"-5", L"24.12.2010", L"10", L"3"),
      Member(L"Alpha", L"100", L"01.01.2011", L"9", L"2"),
      Member(L"alpha", L"99", L"2010-12-24", L"10", L"1"),
      Member(L"Gamma", L"-123456789", L"", L"-1", L"4"),
      Member(L"delta", L"99", L"31.04.2006", L"9", L"5"),
  };
  struct Case {
    const wchar_t *element;
    const wchar_t *type;
    std::vector<int> order; // indexes into members, ascending
  } cases[] = {
      {L"Name", L"Text", {2, 1, 0, 4, 3}},
      {L"Beitrag", L"Money", {3, 0, 2, 4, 1}},
      // Day order, not text order: no date first, invalid last.
      {L"Eintritt", L"Date", {3, 2, 0, 1, 4}},
      {L"Nr", L"Int", {3, 1, 4, 2, 0}},
      {L"Nr", L"Int(3)", {3, 1, 4, 2, 0}},
      {L"Nr", L"Farbe", {3, 2, 0, 1, 4}}, // text order of the stored text
      {L"Fehlt", L"Text", {2, 1, 0, 3, 4}}, // all empty: Mitglnr alone
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::wstring(c.element) + L" " + c.type);
    std::vector<int> order = {0, 1, 2, 3, 4};
    std::sort(order.begin(), order.end(), [&](int a, int b) {
      return CompareRecords(members[a].c_str(), members[b].c_str(), c.element, c.type,
                            nullptr) < 0;
    });
    EXPECT_EQ(c.order, order);
  }
}

// Swapping the items reverses the answer, also when only one of them has a
// Mitglnr (a missing one counts as 0).
TEST(CompareRecords, SwappedItemsGiveTheOppositeAnswer) {
  const std::vector<std::wstring> records = {
      Member(L"x", L"1", L"", L"1", L"5"),  Member(L"x", L"1", L"", L"1", nullptr),
      Member(L"x", L"1", L"", L"1", L"-2"), Member(L"X", L"001", L"0", L"01", L"5"),
      Member(L"y", L"2", L"", L"2", nullptr), L"<Mitglied></Mitglied>",
      L"<kaputt",
  };
  for (const wchar_t *type : {L"Text", L"Money", L"Int", L"Date", L"Farbe"}) {
    for (const std::wstring &a : records) {
      for (const std::wstring &b : records) {
        const int ab = CompareRecords(a.c_str(), b.c_str(), L"Name", type, nullptr);
        const int ba = CompareRecords(b.c_str(), a.c_str(), L"Name", type, nullptr);
        EXPECT_EQ(-ab, ba) << type << " " << std::string(a.begin(), a.end()) << " / "
                           << std::string(b.begin(), b.end());
      }
    }
  }
  EXPECT_EQ(1, CompareRecords(records[0].c_str(), records[1].c_str(), L"Name", L"Text", nullptr));
  EXPECT_EQ(-1, CompareRecords(records[2].c_str(), records[1].c_str(), L"Name", L"Text", nullptr));
  EXPECT_EQ(0, CompareRecords(records[0].c_str(), records[3].c_str(), L"Name", L"Text", nullptr));
}

TEST(CompareRecords, SmallNumbersAreNoRecords) {
  const std::wstring a = Member(L"a", L"1", L"", L"1", L"1");
  const std::wstring b = Member(L"b", L"2", L"", L"2", L"2");
  ASSERT_EQ(-1, CompareRecords(a.c_str(), b.c_str(), L"Name", L"Text", nullptr));
  const auto *small = reinterpret_cast<const wchar_t *>(std::uintptr_t(0xFFFF));
  EXPECT_EQ(0, CompareRecords(small, b.c_str(), L"Name", L"Text", nullptr));
  EXPECT_EQ(0, CompareRecords(a.c_str(), small, L"Name", L"Text", nullptr));
  EXPECT_EQ(0, CompareRecords(nullptr, nullptr, L"Name", L"Text", nullptr));
}

TEST(CompareRecords, MoneyByAmountTable) {
  struct Case {
    const wchar_t *a, *b;
    int result;
  } cases[] = {
      {L"5", L"40", -1},        {L"-5", L"-40", 1},    {L"-5", L"5", -1},
      {L"0", L"-0", 0},         {L"007", L"7", 0},     {L"1.000,00", L"100000", 0},
      {L"", L"0", 0},           {L"-1", L"", -1},
      {L"123456789012345678901", L"123456789012345678902", -1},
      {L"-123456789012345678901", L"-123456789012345678902", 1},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(c.result, CompareMoney(c.a, c.b)) << std::wstring(c.a).size();
    EXPECT_EQ(-c.result, CompareMoney(c.b, c.a));
  }
}

} // namespace

// The item-record reader over any text: the first byte picks the element
// name (from the names columns use, or one taken from the input), the rest
// is the record as UTF-16 units, NUL-terminated in a buffer of exactly its
// length so that a read past the NUL is an overflow.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "dialogs/list_cells.h"
#include "fuzz_check.h"
#include "fuzz_text.h"

namespace {

const wchar_t *const kNames[] = {L"Name", L"Mitglnr", L"Betrag", L"Datum", L"a", L""};

bool Within(std::wstring_view part, std::wstring_view whole) {
  return part.empty() ||
         (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 1)
    return 0;
  std::wstring text = WideUnits(data + 1, size - 1);
  std::wstring name = kNames[data[0] % 6];
  if (data[0] >= 0xF0 && !text.empty()) { // a name from the record itself
    name = text.substr(0, std::min<std::size_t>(data[0] - 0xEF, text.size()));
  }
  // Exactly the record and its NUL; whatever the text holds, the reader
  // stops at the first NUL.
  const std::size_t units = text.find(L'\0') == std::wstring::npos ? text.size() : text.find(L'\0');
  std::unique_ptr<wchar_t[]> record(new wchar_t[units + 1]);
  std::memcpy(record.get(), text.data(), units * sizeof(wchar_t));
  record[units] = L'\0';
  const std::wstring_view whole(record.get(), units);

  std::wstring_view root;
  const bool hasRoot = FindRecordRoot(whole, &root);
  if (hasRoot)
    FUZZ_CHECK(Within(root, whole));
  std::wstring_view child;
  if (hasRoot && FindChildElement(root, name, &child))
    FUZZ_CHECK(Within(child, root));

  std::wstring value = L"left over";
  const bool found = ReadRecordElement(record.get(), name, &value);
  if (!found) {
    FUZZ_CHECK(value.empty());
  } else {
    FUZZ_CHECK(hasRoot);
    FUZZ_CHECK(FindChildElement(root, name, &child));
    FUZZ_CHECK(value == DecodeElementText(child));
    // Entities only ever shorten the text.
    FUZZ_CHECK(value.size() <= child.size());
  }
  FUZZ_CHECK(!ReadRecordElement(nullptr, name, &value) && value.empty());

  // Ordering two records by one element is antisymmetric and reflexive.
  const std::wstring other = L"<?xml version=\"1.0\"?><Mitglied><" + name + L">" +
                             std::wstring(whole.substr(0, 12)) + L"</" + name +
                             L"><Mitglnr>7</Mitglnr></Mitglied>";
  for (const wchar_t *type : {L"Text", L"Money", L"Int", L"Int(4)", L"Date", L"Custom"}) {
    const int ab = CompareRecords(record.get(), other.c_str(), name, type, nullptr);
    const int ba = CompareRecords(other.c_str(), record.get(), name, type, nullptr);
    FUZZ_CHECK(ab == -ba && ab >= -1 && ab <= 1);
    FUZZ_CHECK(CompareRecords(record.get(), record.get(), name, type, nullptr) == 0);
  }
  return 0;
}

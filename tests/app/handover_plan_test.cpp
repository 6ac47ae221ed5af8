// When the 64-bit copier hands over to the 32-bit one, and to which file.
#include <gtest/gtest.h>

#include <string>

#include "app/handover_plan.h"

TEST(HandOverPlan, OnlyA64BitCopierWithoutScannerHandsOverToTheFileBesideIt) {
  const std::wstring installed = L"C:\\Program Files\\Zelvantor Copier\\zvcopier.exe";
  struct {
    const char *what;
    bool win64;
    bool scannerFound;
    std::wstring program;
    std::wstring expected;
  } cases[] = {
      {"64-bit, no scanner", true, false, installed,
       L"C:\\Program Files\\Zelvantor Copier\\zvcopier32.exe"},
      {"64-bit, a scanner found: it copies itself", true, true, installed, L""},
      {"32-bit, no scanner: it never hands over", false, false, installed, L""},
      {"32-bit, a scanner found", false, true, installed, L""},
      // A portable copy is the same: whatever its folder or its own name.
      {"a portable copy under another name", true, false, L"D:\\Tools\\copier.exe",
       L"D:\\Tools\\zvcopier32.exe"},
      {"at the root of a drive", true, false, L"E:\\zvcopier.exe", L"E:\\zvcopier32.exe"},
      {"on a share", true, false, L"\\\\server\\tools\\zvcopier.exe",
       L"\\\\server\\tools\\zvcopier32.exe"},
      // Without a full path CreateProcessW would search for the name, the
      // current directory among the places: a planted program would run.
      {"the program's path unknown (a failed call)", true, false, L"", L""},
      {"a bare name", true, false, L"zvcopier.exe", L""},
      {"relative to the current drive", true, false, L"\\Tools\\zvcopier.exe", L""},
      {"relative to a drive's current folder", true, false, L"C:Tools\\zvcopier.exe", L""},
      {"relative to the current directory", true, false, L"Tools\\zvcopier.exe", L""},
      // A 64-bit program under the 32-bit one's name would start itself
      // again and again.
      {"the program is itself zvcopier32.exe", true, false,
       L"C:\\Program Files\\Zelvantor Copier\\zvcopier32.exe", L""},
      {"the same in capitals", true, false, L"C:\\Program Files\\Zelvantor Copier\\ZVCOPIER32.EXE",
       L""},
      {"a name that merely begins like it", true, false, L"C:\\Tools\\zvcopier32.exe.exe",
       L"C:\\Tools\\zvcopier32.exe"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.expected, HandOverTarget(c.win64, c.scannerFound, c.program));
  }
}

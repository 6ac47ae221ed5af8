#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/about_text.h"
#include "app/dialog_values.h"
#include "app/version_info.h"
#include "twain/twain.h"

TEST(DialogValues, ScaleFromPercentFieldOrPaperLists) {
  struct Case {
    bool percentChosen;
    std::int64_t percentField;
    int source, destination;
    std::uint32_t scale;
  } cases[] = {
      {true, 100, 1, 1, 10000},
      {true, 71, 1, 1, 7100},
      {true, 1, 0, 3, 100},
      {true, 999, 1, 1, 99900},
      // The percent field rules while its option is chosen, whatever the lists say.
      {true, 141, 3, 0, 14100},
      // Nothing usable: empty or 0 reads as 0, a pasted minus sign too.
      {true, 0, 1, 1, 0},
      {true, -5, 1, 1, 0},
      // Only the low 32 bits of the field count: 2^32 + 50 is 50 %.
      {true, (std::int64_t(1) << 32) + 50, 1, 1, 5000},
      // A number beyond any three-digit field does not wrap to a small scale.
      {true, 50000000, 1, 1, 4294967200u},
      // The paper lists: A4 to A3 enlarges by the table's 141.38 %.
      {false, 0, 1, 0, 14138},
      {false, 100, 0, 1, 7073},
      {false, 100, 1, 1, 10000},
      {false, 0, 3, 0, 28276},
      // No selection in a list.
      {false, 0, -1, 1, 10000},
  };
  for (const Case &c : cases)
    EXPECT_EQ(c.scale, ScaleFromDialog(c.percentChosen, c.percentField, c.source, c.destination))
        << c.percentChosen << " " << c.percentField << " " << c.source << "->" << c.destination;
}

TEST(DialogValues, PaperScaleShownAsPercentThenUsedRounded) {
  // A4 -> A3: 14138 shows 141; back on the percent option that 141 means 14100.
  const std::uint32_t paper = ScaleFromDialog(false, 0, 1, 0);
  EXPECT_EQ(14138u, paper);
  EXPECT_EQ(141, PercentShown(paper));
  EXPECT_EQ(14100u, ScaleFromDialog(true, PercentShown(paper), 1, 0));
  struct Case {
    std::uint32_t scale;
    std::int64_t shown;
  } cases[] = {{7071, 71}, {5000, 50}, {14150, 142}, {14149, 141}, {40000, 400}, {49, 0}, {50, 1}};
  for (const Case &c : cases)
    EXPECT_EQ(c.shown, PercentShown(c.scale)) << c.scale;
}

TEST(DialogValues, CopiesAndMode) {
  struct CopiesCase {
    std::int64_t field;
    bool accepted;
    std::uint32_t copies;
  } copies[] = {{1, true, 1}, {999, true, 999}, {0, true, 0}, {-1, false, 0}, {-99, false, 0}};
  for (const CopiesCase &c : copies) {
    std::uint32_t got = 12345;
    EXPECT_EQ(c.accepted, CopiesFromDialog(c.field, &got)) << c.field;
    EXPECT_EQ(c.accepted ? c.copies : 12345u, got) << c.field;
  }
  struct ModeCase {
    std::int64_t selection;
    std::int32_t mode;
  } modes[] = {{0, TWPT_BW}, {1, TWPT_GRAY}, {2, TWPT_RGB}, {-1, TWPT_BW}, {3, TWPT_BW}};
  for (const ModeCase &c : modes)
    EXPECT_EQ(c.mode, ModeFromSelection(c.selection)) << c.selection;
}

TEST(AboutText, ProductVersionAndMakersLineWithTheDecodedDate) {
  const FileVersion version = MakeFileVersion(1, 6, 201, 1004);
  const std::wstring about = AboutText(version, VersionToDayNumber(version));
  EXPECT_EQ(L"Zelvantor Copier\r\nVersion 1.6.201.1004\r\nCopyright \u00a9 16.07.2006 Zelvantor",
            about);
  // A file without version information.
  EXPECT_EQ(L"Zelvantor Copier\r\nVersion 0.0.0.0\r\nCopyright \u00a9 01.01.1896 Zelvantor",
            AboutText(0, 0));
  const std::wstring withReport = AboutTextWithReport(about, L"TWAIN_32.DLL 1.7.0.0\r\n");
  EXPECT_EQ(about + L"\r\n" + std::wstring(63, L'-') + L"\r\nTWAIN_32.DLL 1.7.0.0\r\n",
            withReport);
}

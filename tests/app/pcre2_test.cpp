#include <gtest/gtest.h>

#include <pcre2.h>

#include <string>

// The 16-bit PCRE2 library is linked and matches UTF-16 text.
TEST(Pcre2, MatchesADottedDateInUtf16) {
  const std::u16string pattern = u"^(\\d{2})\\.(\\d{2})\\.(\\d{4})$";
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code *code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.c_str()), pattern.size(),
                                   0, &error, &offset, nullptr);
  ASSERT_NE(nullptr, code) << error;
  pcre2_match_data *match = pcre2_match_data_create_from_pattern(code, nullptr);
  const std::u16string date = u"16.07.2006";
  const int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(date.c_str()), date.size(), 0, 0,
                             match, nullptr);
  EXPECT_EQ(4, rc);
  const PCRE2_SIZE *ovector = pcre2_get_ovector_pointer(match);
  EXPECT_EQ(u"07", date.substr(ovector[4], ovector[5] - ovector[4]));
  const std::u16string wrong = u"16.7.2006";
  EXPECT_EQ(PCRE2_ERROR_NOMATCH, pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(wrong.c_str()),
                                             wrong.size(), 0, 0, match, nullptr));
  pcre2_match_data_free(match);
  pcre2_code_free(code);
}

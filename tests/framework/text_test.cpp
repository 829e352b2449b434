#include <gtest/gtest.h>

#include <clocale>

#include "framework/text.h"

namespace {

using namespace Vell::Text;

TEST(Text, NumbersFollowTheCLibraryRules) {
  EXPECT_EQ(ToInt("  +42abc"), 42);
  EXPECT_EQ(ToInt("-"), 0);
  EXPECT_EQ(ToInt("x1"), 0);
  EXPECT_EQ(ToInt("-99999999999999999999"), -2147483647 - 1);
  EXPECT_DOUBLE_EQ(ToDouble(" -1.5e2z"), -150.0);
  EXPECT_DOUBLE_EQ(ToDouble("abc"), 0.0);
  EXPECT_DOUBLE_EQ(ToDouble("3,5"), 3.0);  // the comma is never a decimal separator
}

TEST(Text, DecimalPointIgnoresTheUserLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous != nullptr ? previous : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr &&
      std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") == nullptr) {
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  }
  EXPECT_DOUBLE_EQ(ToDouble("0.75"), 0.75);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(Text, CaseCommasAndTrim) {
  EXPECT_TRUE(EqualsIgnoreCase("Include", "INCLUDE"));
  EXPECT_FALSE(EqualsIgnoreCase("includes", "include"));
  EXPECT_EQ(SplitCommas(",a,,b,").size(), 2U);
  EXPECT_TRUE(SplitCommas("").empty());
  EXPECT_EQ(Trim("  x y \t"), "x y");
}

TEST(Text, Utf8AndWindows1252) {
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_TRUE(IsValidUtf8("\xC3\xA9t\xC3\xA9"));
  EXPECT_FALSE(IsValidUtf8("\xE9t\xE9"));     // Latin-1 bytes
  EXPECT_FALSE(IsValidUtf8("\xC3"));          // cut short
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));      // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // surrogate
  EXPECT_EQ(ToUtf8("\xC3\xA9"), "\xC3\xA9");  // valid UTF-8 stays as it is
  EXPECT_EQ(ToUtf8("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(Windows1252ToUtf8("\x93hi\x94"), "\xE2\x80\x9Chi\xE2\x80\x9D");
  EXPECT_EQ(Windows1252ToUtf8("\x81"), "\xEF\xBF\xBD");  // undefined byte
}

}  // namespace

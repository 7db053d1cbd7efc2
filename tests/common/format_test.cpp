#include "common/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace haplovex {
namespace {

struct IntCase {
  int64_t value;
  int width;
  std::string expected;
};

TEST(IntFieldTest, RightJustifiesOrFillsWithAsterisks) {
  const std::vector<IntCase> cases = {
      {5, 3, "  5"},
      {0, 1, "0"},
      {9, 1, "9"},
      {10, 1, "*"},  // a count of 10 or more in a one-character field
      {12, 2, "12"},
      {123, 2, "**"},
      {-5, 3, " -5"},
      {-5, 2, "-5"},
      {-5, 1, "*"},  // the sign needs a column of its own
      {-12, 3, "-12"},
      {-123, 3, "***"},
      {3, 12, "           3"},
      {std::numeric_limits<int32_t>::max(), 12, "  2147483647"},
      {std::numeric_limits<int32_t>::min(), 12, " -2147483648"},
      {std::numeric_limits<int32_t>::min(), 10, "**********"},
      {std::numeric_limits<int64_t>::min(), 20, "-9223372036854775808"},
      {std::numeric_limits<int64_t>::min(), 19, "*******************"},
  };
  for (const IntCase& c : cases) {
    EXPECT_EQ(IntField(c.value, c.width), c.expected) << c.value << " in " << c.width;
  }
}

TEST(IntFieldTest, AppendsAfterWhatIsThere) {
  std::string line = "NPAR=";
  AppendInt(line, 42, 4);
  AppendInt(line, 7, 2);
  EXPECT_EQ(line, "NPAR=  42 7");
}

TEST(ZeroPaddedTest, ExactDigitsOrAsterisks) {
  const std::vector<IntCase> cases = {
      {12, 4, "0012"},   {0, 2, "00"},       {3, 2, "03"}, {99, 2, "99"},   {100, 2, "**"},
      {9999, 4, "9999"}, {10000, 4, "****"}, {1, 1, "1"},  {-5, 4, "****"},  // no room for a sign
                                                                             // in front of the
                                                                             // zeros
  };
  for (const IntCase& c : cases) {
    EXPECT_EQ(ZeroPadded(c.value, c.width), c.expected) << c.value << " in " << c.width;
  }
}

struct FixedCase {
  float value;
  int width;
  int decimals;
  std::string expected;
};

TEST(FixedFieldTest, OneOverStrataCount) {
  // The starting value 1/S of a movement parameter, single precision, six columns.
  const std::vector<std::pair<int, std::string>> cases = {
      {1, " 1.000"},  {2, " 0.500"}, {3, " 0.333"},
      {4, " 0.250"},  {7, " 0.143"}, {16, " 0.063"},  // 0.0625 is a tie and goes away from zero
      {26, " 0.038"},
  };
  for (const auto& [strata, expected] : cases) {
    const float value = 1.0f / static_cast<float>(strata);
    EXPECT_EQ(FixedField(value, 6, 3), expected) << "1/" << strata;
    std::string appended = "x";
    AppendFixed(appended, value, 6, 3);
    EXPECT_EQ(appended, "x" + expected) << "1/" << strata;
  }
}

TEST(FixedFieldTest, SignsTiesAndOverflow) {
  const std::vector<FixedCase> cases = {
      {0.0f, 6, 3, " 0.000"},
      {-0.5f, 6, 3, "-0.500"},
      {-0.0625f, 6, 3, "-0.063"},  // a negative tie also goes away from zero
      {0.0004f, 6, 3, " 0.000"},
      {-0.0004f, 6, 3, " 0.000"},  // rounds to zero: no minus sign
      {0.9996f, 6, 3, " 1.000"},   // rounding carries into the units
      {12.25f, 6, 3, "12.250"},
      {99.9999f, 6, 3, "******"},  // 100.000 needs seven columns
      {123.0f, 6, 3, "******"},
      {-10.0f, 6, 3, "******"},
      {2.5f, 4, 1, " 2.5"},
      {0.125f, 5, 2, " 0.13"},
      {std::numeric_limits<float>::infinity(), 6, 3, "******"},
      {std::numeric_limits<float>::max(), 6, 3, "******"},
  };
  for (const FixedCase& c : cases) {
    EXPECT_EQ(FixedField(c.value, c.width, c.decimals), c.expected)
        << c.value << " as F" << c.width << "." << c.decimals;
  }
}

TEST(PaddedTest, CutsOrPadsToTheWidth) {
  EXPECT_EQ(Padded("MF", 5), "MF   ");
  EXPECT_EQ(Padded("", 3), "   ");
  EXPECT_EQ(Padded("ABCDEF", 4), "ABCD");
  EXPECT_EQ(Padded("ABCD", 4), "ABCD");
  EXPECT_EQ(Padded("  A ", 6), "  A   ");  // nothing trimmed at the front
  std::string line = ">";
  AppendPadded(line, "abc", 2);
  AppendPadded(line, "d", 3);
  EXPECT_EQ(line, ">abd  ");
  // And back: the trailing blanks of a padded answer go, blanks before or inside it stay.
  EXPECT_EQ(TrimmedRight(Padded(" M F", 64)), " M F");
  EXPECT_EQ(TrimmedRight("      "), "");
  EXPECT_EQ(TrimmedRight(""), "");
}

TEST(GroupedDigitsTest, ThreeDigitsAGroup) {
  const std::vector<std::pair<int64_t, std::string>> cases = {
      {0, "0"},         {999, "999"},          {1000, "1,000"},
      {-1000, "-1,000"}, {999999999, "999,999,999"}, {1000000000, "1,000,000,000"},
  };
  for (const auto& [value, expected] : cases) EXPECT_EQ(GroupedDigits(value), expected);
}

TEST(FreeLineTest, Layout) {
  EXPECT_EQ(FreeLine().str(), "");
  EXPECT_EQ(FreeLine().Text("MOVEMENT TRANSITIONS:").str(), " MOVEMENT TRANSITIONS:");
  // Only the first text of a line gets the blank; later texts follow directly.
  EXPECT_EQ(FreeLine().Text("GROUP OUT OF RANGE:").Text("X").str(), " GROUP OUT OF RANGE:X");
  // A text is written as it is, trailing blanks included.
  EXPECT_EQ(FreeLine().Text("Test run  ").str(), " Test run  ");
  EXPECT_EQ(FreeLine().Text(" ").str(), "  ");
  EXPECT_EQ(FreeLine().Int(5).str(), "           5");
  EXPECT_EQ(FreeLine().Int(-2147483647 - 1).str(), " -2147483648");
  EXPECT_EQ(FreeLine().Text("GROUP ").Int(1).Text(" AGE ").Int(2).str(),
            " GROUP            1 AGE            2");
  EXPECT_EQ(FreeLine().Text("allocating n(").Int(10).Int(2).Int(1).Int(1).Text(")...").str(),
            " allocating n(          10           2           1           1)...");
}

}  // namespace
}  // namespace haplovex

#include "common/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
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

// Numbers with decimals as the fit tests and the report give them: rounded from the exact
// binary value to the nearest, a tie (a value a binary fraction holds exactly) to the even digit.
TEST(DecimalsTest, RoundedToTheNearest) {
  struct Case {
    double value;
    int decimals;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {2.0 / 3, 3, "0.667"},     {1.0005, 3, "1.000"},  // 1.0005 is held as 1.000499999...
      {0.125, 2, "0.12"},        {0.375, 2, "0.38"},          {2.5, 0, "2"},
      {3.5, 0, "4"},             {0, 4, "0.0000"},            {1e6 / 3, 3, "333333.333"},
      {-0.0004, 3, "-0.000"},    {-1.25, 1, "-1.2"},          {4.988, 3, "4.988"},
      {std::numeric_limits<double>::infinity(), 3, "inf"},
      {std::numeric_limits<double>::quiet_NaN(), 3, "nan"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Decimals(c.value, c.decimals), c.expected) << c.value << " to " << c.decimals;
  }
  const std::vector<std::tuple<double, int, std::string>> significant = {
      {0.5, 6, "0.5"},         {1.0 / 3, 6, "0.333333"},       {1.5e-9, 6, "1.5e-09"},
      {123456789, 6, "1.23457e+08"}, {0.0001, 6, "0.0001"},     {0.00001234, 6, "1.234e-05"},
      {1, 6, "1"},             {0, 6, "0"},                   {999999.5, 6, "1e+06"},
  };
  for (const auto& [value, digits, expected] : significant) {
    EXPECT_EQ(SignificantDigits(value, digits), expected) << value << " to " << digits;
  }
}

TEST(CountedTest, OneOrMore) {
  EXPECT_EQ(Counted(1, "record"), "1 record");
  EXPECT_EQ(Counted(0, "record"), "0 records");
  EXPECT_EQ(Counted(1024, "record"), "1,024 records");
  EXPECT_EQ(Counted(1, "stratum", "strata"), "1 stratum");
  EXPECT_EQ(Counted(3, "stratum", "strata"), "3 strata");
  EXPECT_EQ(Plural(1, "has", "have"), "has");
  EXPECT_EQ(Plural(2, "has", "have"), "have");
  EXPECT_EQ(Plural(-1, "count"), "counts");
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

// What reaches a page or a table is UTF-8: valid text as it is, anything else read as
// Windows-1252 as a whole; a code byte by byte.
TEST(Utf8Test, TextAndCodes) {
  const std::vector<std::pair<std::string, std::string>> texts = {
      {"Geese 1984-1989", "Geese 1984-1989"},
      {"caf\xC3\xA9", "caf\xC3\xA9"},                      // valid UTF-8 stays
      {"Ch\xE8vres", "Ch\xC3\xA8vres"},                     // Latin-1 \xE8: U+00E8
      {"\x80 and \x9F", "\xE2\x82\xAC and \xC5\xB8"},       // the euro sign, Y with diaeresis
      {"\x81", "\xEF\xBF\xBD"},                              // no character: U+FFFD
      {"caf\xE9 \xC3\xA9", "caf\xC3\xA9 \xC3\x83\xC2\xA9"},  // decided for the whole text
      {"\xC3", "\xC3\x83"},                                  // a sequence cut short
      {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                      // an overlong form
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},      // a surrogate
      {"\xF0\x9F\x90\xA6", "\xF0\x9F\x90\xA6"},              // four bytes, valid
  };
  for (const auto& [text, utf8] : texts) EXPECT_EQ(TextAsUtf8(text), utf8) << text;
  EXPECT_EQ(CodeAsUtf8('M'), "M");
  EXPECT_EQ(CodeAsUtf8('\xE9'), "\xC3\xA9");
  EXPECT_EQ(CodeAsUtf8('\x8A'), "\xC5\xA0");
  EXPECT_EQ(CodeAsUtf8('\x90'), "\xEF\xBF\xBD");
}

// The characters that control a terminal, as bytes of 7 and 8 bits and as UTF-8, against those
// next to them that do not.
TEST(HarmlessTest, CharactersThatControlATerminal) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"notes\x1B]0;owned\x07.txt", "notes?]0;owned?.txt"},
      {"a\tb\x7F~", "a\tb?~"},  // a tab stays
      {std::string("\0\x1F\r\n ", 5), "???? "},
      {"\x9B" "2J", "?2J"},                   // a C1 control byte: CSI to an 8-bit terminal
      {"\x9D" "52;c;aGk=\x9C", "?52;c;aGk=?"},  // OSC ... ST: a clipboard write
      {"\x80\x9F\xA0\xFF", "??\xA0\xFF"},      // bytes past 0x9F are no controls
      {"\xC2\x9B" "2J", "?2J"},               // U+009B, CSI as a character
      {"\xC2\x9D\xC2\x80\xC2\x9F", "???"},    // U+009D, U+0080, U+009F
      {"\xC2\xA0\xC2\x7F", "\xC2\xA0\xC2?"},  // U+00A0 (no-break space); a C2 with no character
      {"\xC5\x9B", "\xC5\x9B"},                // an s with acute: 9B within a character
      {"\xE2\x80\x9D", "\xE2\x80\x9D"},         // a right double quotation mark
      {"\xF0\x9F\x90\xA6", "\xF0\x9F\x90\xA6"},  // a bird, four bytes
      {"caf\xE9", "caf\xE9"},                    // Latin-1: no UTF-8, no control
      {"\xC5" "A\x9B", "\xC5" "A?"},             // a sequence broken: its 9B alone
      {"\xE0\x82\x9B", "\xE0??"},               // U+009B in an overlong form is no character
      {"\xE2\x80", "\xE2?"},                     // a sequence cut short at the end
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(Harmless(text), shown) << text;
}

// Statistics and probabilities of the fit tables: the decimal nearest the binary value, an exact
// tie to the even digit (1/16 gives 0.062 here, where the single-precision fields give 0.063).
TEST(DecimalsTest, FixedDecimalsAndSignificantDigits) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {Decimals(0.003894777, 6), "0.003895"},
      {Decimals(0.4882089, 3), "0.488"},
      {Decimals(4.5696119, 3), "4.570"},
      {Decimals(-0.5, 3), "-0.500"},
      {Decimals(0.0625, 3), "0.062"},
      {Decimals(0.1875, 3), "0.188"},
      {Decimals(2.5, 0), "2"},
      {Decimals(0, 4), "0.0000"},
      {Decimals(1e20, 2), "100000000000000000000.00"},
      {Decimals(std::numeric_limits<double>::infinity(), 3), "inf"},
      {SignificantDigits(0.0433576, 6), "0.0433576"},
      {SignificantDigits(0.95023781, 6), "0.950238"},
      {SignificantDigits(0.5, 6), "0.5"},
      {SignificantDigits(1, 6), "1"},
      {SignificantDigits(123456, 6), "123456"},
      {SignificantDigits(1234567, 6), "1.23457e+06"},
      {SignificantDigits(0.0001, 6), "0.0001"},
      {SignificantDigits(0.00001, 6), "1e-05"},
      {SignificantDigits(1.798643890083735e-72, 6), "1.79864e-72"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(text, expected);
  // The largest values in fixed form keep every digit: 1e300 is 301 digits before the point.
  const std::string large = Decimals(1e300, 1);
  EXPECT_EQ(large.size(), 303u);
  EXPECT_EQ(large.substr(0, 4), "1000");
}

}  // namespace
}  // namespace haplovex

#include "tabulate/frequency.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace haplovex {
namespace {

struct FrequencyCase {
  const char* field;
  bool ok;
  int32_t freq;
};

TEST(ParseFrequencyTest, BlanksIgnoredSignAndDigitsWithin32Bits) {
  const std::vector<FrequencyCase> cases = {
      {"  12", true, 12},
      {"12  ", true, 12},
      {" 1 2", true, 12},
      {"    ", true, 0},  // an all-blank field is no animals
      {"", true, 0},
      {"0007", true, 7},
      {"+5", true, 5},
      {"- 5", true, -5},  // read; the decoder takes it as 5 animals removed
      {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},
      {"2147483648", false, 0},
      {"99999999999", false, 0},
      {"99999999999999999999999999", false, 0},  // stops at once, never overflows
      {"-9999999999999999999999999", false, 0},
      {"00000000000000000000000005", true, 5},   // leading zeros are no digits too many
      {"-2147483649", false, 0},
      {"12a", false, 0},
      {"1.5", false, 0},
      {"+", false, 0},
      {"-", false, 0},
      {"1-", false, 0},
      {"--1", false, 0},
      {"+-1", false, 0},
      {"1\t", false, 0},  // only blanks are skipped
      {"158 ;", true, 158},  // a ";" ends the number, as in encounter-history files
      {"  5 ;  ", true, 5},
      {"-12;", true, -12},
      {"7;x?", true, 7},     // nothing after the ";" is read
      {";12", true, 0},
      {"1 ;2", true, 1},
  };
  for (const FrequencyCase& c : cases) {
    int32_t freq = -99;
    EXPECT_EQ(ParseFrequency(c.field, freq), c.ok) << '"' << c.field << '"';
    if (c.ok) {
      EXPECT_EQ(freq, c.freq) << '"' << c.field << '"';
    }
  }
}

}  // namespace
}  // namespace haplovex

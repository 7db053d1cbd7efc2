#include "tabulate/console_lines.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace haplovex {
namespace {

TEST(ConsoleLinesTest, AllocatingGcodesAndObsfmt) {
  ConversionSettings s;
  s.nyrs = 10;
  s.nstrata = 2;
  s.nage = 1;
  s.ngroups = 1;
  EXPECT_EQ(AllocatingLine(s).str(),
            " allocating n(          10           2           1           1)...");
  EXPECT_EQ(GcodesLine(s).str(), " GCODES:" + std::string(26, ' ') + ".");
  s.gcodes = "MF" + std::string(24, ' ');
  EXPECT_EQ(GcodesLine(s).str(), " GCODES:MF" + std::string(24, ' ') + ".");
  s.obsfmt = "(I 3)" + std::string(21, ' ');
  EXPECT_EQ(ObsfmtLine(s).str(), " obsfmt:(I 3)" + std::string(21, ' ') + ".");
}

TEST(ConsoleLinesTest, CountLines) {
  std::ostringstream text;
  Console console(text);
  WriteCountLines(console, 3, 3, 12);
  EXPECT_EQ(text.str(),
            "\n"
            "      3 records read, representing       3 animals\n"
            "        Number of parameters=     12\n");
}

}  // namespace
}  // namespace haplovex

#include "memory/console_lines.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "../common/test_support.h"
#include "common/text_file.h"

namespace haplovex {
namespace {

using testing::Lines;

TEST(MemoryConsoleTest, Preamble) {
  struct Case {
    const char* name;
    int32_t nyrs, grpcol;
    bool listdata;
    std::vector<std::string> lines;
  };
  const std::string blanks24(24, ' ');
  std::string twenty;  // columns 5 to 24
  for (int c = 5; c <= 24; ++c) twenty += (c < 10 ? "   " : "  ") + std::to_string(c);
  const std::vector<Case> cases = {
      {"no group column, no listing", 25, 0, false,
       {" MAX NUMBER OF PARAMETERS =         1234", "  "}},
      {"group column and listing: columns 20 to a line", 25, 7, true,
       {" MAX NUMBER OF PARAMETERS =         1234", "  ", " GCODES:MF" + blanks24, twenty,
        "  25  26  27  28  29", " obsfmt=(I 2)" + std::string(21, ' ')}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ConversionSettings s;
    s.nyrs = c.nyrs;
    s.grpcol = c.grpcol;
    s.listdata = c.listdata;
    s.gcodes = "MF" + blanks24;
    s.obsfmt = "(I 2)" + std::string(21, ' ');
    for (int32_t i = 1; i <= c.nyrs; ++i) s.codcol.push_back(i + 4);
    std::ostringstream text;
    Console console(text);
    WriteMemoryPreamble(s, 1234, console);
    EXPECT_EQ(Lines(text.str()), c.lines);
  }
}

// Twelve strata and two groups: a row wraps after ten counts, and only group 1 is shown.
TEST(MemoryConsoleTest, TransitionTableOnConsoleAndSummary) {
  ConversionSettings s;
  s.modset = ModelSet::kMemoryMovement;
  s.nstrata = 12;
  s.nyrs = 3;
  s.nage = 1;
  s.ngroups = 2;
  MemoryTables tables(s);
  DecodedRecord rec;
  rec.ch = {1, 1, 12};  // released in stratum 1 at period 2, next caught in stratum 12
  CollectCaptures(rec, s.nstrata);
  tables.Count(rec, 1);
  rec.ch = {1, 1, 1};
  CollectCaptures(rec, s.nstrata);
  rec.igrp = 2;
  tables.Count(rec, 2);

  std::ostringstream text;
  Console console(text);
  InputFile input;
  OutputFile out("HAPLOVEX.OUT");
  OutputFile sum("HAPLOVEX.SUM");
  sum.OpenMemory();
  const ConversionStreams streams{console, input, out, sum};
  WriteTransitions(s, tables, streams);

  std::string zero10;
  for (int k = 0; k < 10; ++k) zero10 += "       0";
  std::vector<std::string> want = {" TRANSITIONS:", zero10, "       0       1"};
  for (int r = 2; r <= 12; ++r) {
    want.push_back(zero10);
    want.push_back("       0       0");
  }
  EXPECT_EQ(Lines(text.str()), want);
  EXPECT_EQ(sum.contents(), text.str());
}

}  // namespace
}  // namespace haplovex

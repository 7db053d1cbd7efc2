#include "memory/cohort_statements.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../common/test_support.h"
#include "common/text_file.h"

namespace haplovex {
namespace {

std::string Repeat(const std::string& piece, int times) {
  std::string s;
  for (int k = 0; k < times; ++k) s += piece;
  return s;
}

// Three strata and forty periods: a cohort released at period 2 carries 114 next-capture
// counts, 351 characters, and continues on a second line.
TEST(MemoryCohortsTest, LongCohortContinuesOnTheNextLine) {
  ConversionSettings s;
  s.modset = ModelSet::kMemoryMovement;
  s.nstrata = 3;
  s.nyrs = 40;
  s.nage = 1;
  s.ngroups = 1;
  const MemoryTables tables(s);
  OutputFile out("HAPLOVEX.OUT");
  out.OpenMemory();
  WriteMemoryModel(s, 5 * 1111, tables, out);
  std::vector<std::string> lines = testing::Lines(out.contents());
  ASSERT_GE(lines.size(), 22u);
  EXPECT_EQ(lines[0], "PROC MODEL NPAR=05555 ADDCELL MEMORY NAGE=1 NYRS=40 STRATA=3 NGROUPS=1");
  EXPECT_EQ(lines[1], "  ;");
  lines.erase(lines.begin(), lines.begin() + 2);
  EXPECT_EQ(lines[0], "");
  // A number needs 9 free columns: after 78 counts (column 243) the buffer is written whole.
  EXPECT_EQ(lines[1], "COHORT=0;" + Repeat("0:;", 78) + std::string(7, ' '));
  EXPECT_EQ(lines[1].size(), 250u);
  EXPECT_EQ(lines[2], Repeat("0:;", 36));
  EXPECT_EQ(lines[3].substr(0, 12), "COHORT=0;0:;");
  // Nine cohorts of two lines each, then the empty line of period 3.
  EXPECT_EQ(lines[19], "");
  EXPECT_EQ(lines[20].size(), 250u);
}

}  // namespace
}  // namespace haplovex

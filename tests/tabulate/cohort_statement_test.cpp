#include "tabulate/cohort_statement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../common/test_support.h"
#include "common/text_file.h"
#include "memory/memory_tables.h"
#include "memory/parameters.h"
#include "movement/parameters.h"
#include "tabulate/cohort_tables.h"

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
  WriteModel(s, 5 * 1111, kMemoryLayout, tables, /*period_blocks=*/true, out);
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

// The statements of both models come in the order of the cohorts (group, age class, release
// period, previous stratum, stratum), each with its own counts of n and bt: two strata, three
// periods, two groups, one cohort of group 2 released and next caught.
TEST(CohortStatementTest, EveryCohortInItsPlace) {
  ConversionSettings s;
  s.nstrata = 2;
  s.nyrs = 3;
  s.nage = 1;
  s.ngroups = 2;
  const std::string none = "COHORT=0;0:;0:;0:;0:;";  // released at 1: next at 2 and 3, by stratum
  const std::string none_at_2 = "COHORT=0;0:;0:;";
  {
    SCOPED_TRACE("movement-only");
    CohortCounts tables = CohortCountsFor(s);
    // Group 2, released at period 1 in stratum 2: 7 animals, 3 next caught at 3 in stratum 1.
    tables.n.Add(tables.n.layout().Offset(1, 2, 1, 2), 7, 1);
    tables.bt.Add(tables.bt.layout().Offset(PairIndex(1, 3, 3), 2, 1, 1, 2), 3, 1);
    OutputFile out("HAPLOVEX.OUT");
    out.OpenMemory();
    WriteModel(s, 12, kMovementLayout, tables, /*period_blocks=*/false, out);
    EXPECT_EQ(testing::Lines(out.contents()),
              (std::vector<std::string>{"PROC MODEL NPAR=0012 ADDCELL NAGE=1 NYRS=03 STRATA=2 NGROUPS=2", "  ;",
                                        none, none, none_at_2, none_at_2,  // group 1
                                        none, "COHORT=7;0:;0:;3:;0:;", none_at_2, none_at_2}));
  }
  {
    SCOPED_TRACE("memory");
    s.modset = ModelSet::kMemoryMovement;
    MemoryCounts tables = MemoryCountsFor(s);
    // Group 1, released at period 2 in stratum 1 after a capture in stratum 2: 5 animals, 4
    // next caught at 3 in stratum 2.
    tables.n.Add(tables.n.layout().Offset(2, 2, 1, 1, 1), 5, 1);
    tables.bt.Add(tables.bt.layout().Offset(PairIndex(2, 3, 3), 2, 1, 2, 1, 1), 4, 1);
    OutputFile out("HAPLOVEX.OUT");
    out.OpenMemory();
    WriteModel(s, 20, kMemoryLayout, tables, /*period_blocks=*/true, out);
    EXPECT_EQ(testing::Lines(out.contents()),
              (std::vector<std::string>{"PROC MODEL NPAR=00020 ADDCELL MEMORY NAGE=1 NYRS=03 STRATA=2 NGROUPS=2",
                                        "  ;", "", none_at_2, none_at_2, "COHORT=5;0:;4:;", none_at_2,  // group 1
                                        "", none_at_2, none_at_2, none_at_2, none_at_2}));
  }
}

}  // namespace
}  // namespace haplovex

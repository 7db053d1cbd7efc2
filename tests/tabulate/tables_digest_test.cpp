#include "tabulate/tables_digest.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "memory/memory_tables.h"
#include "tabulate/cohort_tables.h"

namespace haplovex {
namespace {

// Two strata, three periods, two groups of one age class: one cohort released and next caught,
// its movement in btot; what the report reads of both converters' tables.
TEST(TablesDigestTest, BothConvertersTables) {
  ConversionSettings s;
  s.nstrata = 2;
  s.nyrs = 3;
  s.nage = 1;
  s.ngroups = 2;
  {
    SCOPED_TRACE("movement-only");
    CohortCounts tables = CohortCountsFor(s);
    // Group 2: 7 released at period 1 in stratum 2, 3 of them next caught at 3 in stratum 1.
    tables.n.Add(tables.n.layout().Offset(1, 2, 1, 2), 7, 1);
    tables.bt.Add(tables.bt.layout().Offset(PairIndex(1, 3, 3), 2, 1, 1, 2), 3, 1);
    tables.btot.Add(tables.btot.layout().Offset(1, 2, 1, 2), 3, 1);
    const TablesDigest d = DigestOf(s, tables);
    EXPECT_EQ(d.transitions, (std::vector<std::vector<int64_t>>{{0, 0, 0, 0}, {0, 0, 3, 0}}));
    EXPECT_EQ(d.first_release, 1);
    EXPECT_EQ(d.released, (std::vector<int64_t>{0, 7, 0, 0}));  // periods 1, 2 by stratum
    std::vector<int64_t> next(4 * 6, 0);
    next[1 * 6 + 2 * 2 + 0] = 3;  // row (1, 2), period 3, stratum 1
    EXPECT_EQ(d.next, next);
    EXPECT_EQ(d.cohorts, 8);  // 2 groups, 2 periods, 2 strata
    EXPECT_EQ(d.empty_cohorts, 7);
    EXPECT_EQ(d.sparse_cohorts, 1);
    EXPECT_EQ(d.sparse, (std::vector<ReleaseCohort>{{2, 1, 1, 0, 2, 7}}));
  }
  {
    SCOPED_TRACE("memory");
    s.modset = ModelSet::kMemoryMovement;
    MemoryCounts tables = MemoryCountsFor(s);
    // Group 1: 5 released at period 2 in stratum 1 after a capture in stratum 2, 4 of them next
    // caught at 3 in stratum 2.
    tables.n.Add(tables.n.layout().Offset(2, 2, 1, 1, 1), 5, 1);
    tables.bt.Add(tables.bt.layout().Offset(PairIndex(2, 3, 3), 2, 1, 2, 1, 1), 4, 1);
    tables.btot.Add(tables.btot.layout().Offset(2, 1, 1, 1), 4, 1);
    const TablesDigest d = DigestOf(s, tables);
    EXPECT_EQ(d.transitions, (std::vector<std::vector<int64_t>>{{0, 4, 0, 0}, {0, 0, 0, 0}}));
    EXPECT_EQ(d.first_release, 2);
    EXPECT_EQ(d.released, (std::vector<int64_t>{5, 0}));  // period 2 by stratum
    std::vector<int64_t> next(2 * 6, 0);
    next[0 * 6 + 2 * 2 + 1] = 4;  // row (2, 1), period 3, stratum 2
    EXPECT_EQ(d.next, next);
    EXPECT_EQ(d.cohorts, 8);  // 2 groups, period 2, 2 previous strata, 2 strata
    EXPECT_EQ(d.empty_cohorts, 7);
    EXPECT_EQ(d.sparse, (std::vector<ReleaseCohort>{{1, 1, 2, 2, 1, 5}}));
  }
}

// 52 cohorts of one animal each (26 strata, periods 1 and 2): the first 50 are listed, in the
// order of the statements; 10 animals are no longer few.
TEST(TablesDigestTest, SparseCohortsListedInStatementOrder) {
  ConversionSettings s;
  s.nstrata = 26;
  s.nyrs = 3;
  s.nage = 1;
  s.ngroups = 1;
  CohortCounts tables = CohortCountsFor(s);
  for (int32_t i = 1; i <= 2; ++i) {
    for (int32_t r = 1; r <= 26; ++r) tables.n.Add(tables.n.layout().Offset(i, r, 1, 1), 1, 1);
  }
  TablesDigest d = DigestOf(s, tables);
  EXPECT_EQ(d.sparse_cohorts, 52);
  ASSERT_EQ(d.sparse.size(), kSparseListed);
  EXPECT_EQ(d.sparse[25], (ReleaseCohort{1, 1, 1, 0, 26, 1}));
  EXPECT_EQ(d.sparse[49], (ReleaseCohort{1, 1, 2, 0, 24, 1}));
  tables.n.Add(tables.n.layout().Offset(1, 1, 1, 1), 8, 1);  // 9 animals: still few
  tables.n.Add(tables.n.layout().Offset(1, 2, 1, 1), 9, 1);  // 10
  d = DigestOf(s, tables);
  EXPECT_EQ(d.sparse_cohorts, 51);
  EXPECT_EQ(d.sparse[0], (ReleaseCohort{1, 1, 1, 0, 1, 9}));
  EXPECT_EQ(d.sparse[1].stratum, 3);
}

}  // namespace
}  // namespace haplovex

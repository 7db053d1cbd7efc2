#include "tabulate/tables_digest.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
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
    // Group 1: 12 released at period 2 in stratum 1, 5 of them next caught at 3 in stratum 2.
    tables.n.Add(tables.n.layout().Offset(2, 1, 1, 1), 12, 1);
    tables.bt.Add(tables.bt.layout().Offset(PairIndex(2, 3, 3), 1, 2, 1, 1), 5, 1);
    tables.btot.Add(tables.btot.layout().Offset(2, 1, 1, 1), 5, 1);
    const TablesDigest d = DigestOf(s, tables);
    EXPECT_EQ(d.transitions, (std::vector<std::vector<int64_t>>{{0, 5, 0, 0}, {0, 0, 3, 0}}));
    EXPECT_EQ(d.first_release, 1);
    // An m-array of each group: periods 1, 2 by stratum released.
    ASSERT_EQ(d.m_arrays.size(), 2u);
    EXPECT_EQ(d.m_arrays[0].released, (std::vector<int64_t>{0, 0, 12, 0}));
    EXPECT_EQ(d.m_arrays[1].released, (std::vector<int64_t>{0, 7, 0, 0}));
    std::vector<int64_t> next(4 * 6, 0);
    next[2 * 6 + 2 * 2 + 1] = 5;  // row (2, 1), period 3, stratum 2
    EXPECT_EQ(d.m_arrays[0].next, next);
    next.assign(4 * 6, 0);
    next[1 * 6 + 2 * 2 + 0] = 3;  // row (1, 2), period 3, stratum 1
    EXPECT_EQ(d.m_arrays[1].next, next);
    EXPECT_EQ(d.cohorts, 8);  // 2 groups, 2 periods, 2 strata
    EXPECT_EQ(d.empty_cohorts, 6);
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
    ASSERT_EQ(d.m_arrays.size(), 2u);
    EXPECT_EQ(d.m_arrays[0].released, (std::vector<int64_t>{5, 0}));  // period 2 by stratum
    EXPECT_EQ(d.m_arrays[1].released, (std::vector<int64_t>{0, 0}));
    std::vector<int64_t> next(2 * 6, 0);
    EXPECT_EQ(d.m_arrays[1].next, next);
    next[0 * 6 + 2 * 2 + 1] = 4;  // row (2, 1), period 3, stratum 2
    EXPECT_EQ(d.m_arrays[0].next, next);
    EXPECT_EQ(d.cohorts, 8);  // 2 groups, period 2, 2 previous strata, 2 strata
    EXPECT_EQ(d.empty_cohorts, 7);
    EXPECT_EQ(d.sparse, (std::vector<ReleaseCohort>{{1, 1, 2, 2, 1, 5}}));
  }
}

// Each group has its m-array up to 20 periods and 10 strata while the groups' m-arrays together
// are no larger than one of 20 periods and 10 strata (190 rows and columns): 4 groups of 20
// periods and 5 strata (95 rows) are, 5 are not. Past any of these, one m-array holds all groups
// summed. Group g releases 2 + 2g at period 1 in stratum 2, g of them next caught at 2 in
// stratum 1.
TEST(TablesDigestTest, GroupsSummedPastTheLargestMArrayInFull) {
  struct Case {
    int32_t strata, periods, groups;
    std::vector<int64_t> released, next;  // of each m-array: row (1, 2) and its cell (2, 1)
  };
  const std::vector<Case> cases = {
      {2, 3, 2, {4, 6}, {1, 2}},          {5, 20, 4, {4, 6, 8, 10}, {1, 2, 3, 4}},
      {5, 20, 5, {40}, {15}},             {10, 20, 1, {4}, {1}},
      {10, 20, 2, {10}, {3}},             {11, 3, 2, {10}, {3}},
      {2, 21, 2, {10}, {3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.strata) + " strata, " + std::to_string(c.periods) + " periods, " +
                 std::to_string(c.groups) + " groups");
    ConversionSettings s;
    s.nstrata = c.strata;
    s.nyrs = c.periods;
    s.nage = 1;
    s.ngroups = c.groups;
    CohortCounts tables = CohortCountsFor(s);
    for (int32_t g = 1; g <= c.groups; ++g) {
      tables.n.Add(tables.n.layout().Offset(1, 2, 1, g), 2 + 2 * g, 1);
      tables.bt.Add(tables.bt.layout().Offset(PairIndex(1, 2, c.periods), 2, 1, 1, g), g, 1);
    }
    const TablesDigest d = DigestOf(s, tables);
    ASSERT_EQ(d.m_arrays.size(), c.released.size());
    for (size_t k = 0; k < d.m_arrays.size(); ++k) {
      const auto S = static_cast<size_t>(c.strata);
      EXPECT_EQ(d.m_arrays[k].released.size(), static_cast<size_t>(c.periods - 1) * S);
      EXPECT_EQ(d.m_arrays[k].released[1], c.released[k]);
      EXPECT_EQ(d.m_arrays[k].next[1 * static_cast<size_t>(c.periods) * S + 1 * S + 0], c.next[k]);
      int64_t all = 0;
      for (int64_t count : d.m_arrays[k].next) all += count;
      EXPECT_EQ(all, c.next[k]);
    }
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

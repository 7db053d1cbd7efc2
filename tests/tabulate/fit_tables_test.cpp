#include "tabulate/fit_tables.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "../gof/summarised_histories.h"
#include "tabulate/record_sink.h"

namespace haplovex::gof {
namespace {

std::vector<uint8_t> Sites(const std::string& history) {
  std::vector<uint8_t> sites;
  for (char c : history) sites.push_back(static_cast<uint8_t>(c - '0'));
  return sites;
}

struct Record {
  std::string history;
  int64_t count;
};

// Four periods, two strata, counted by hand:
//   1210 x3      caught at 1 (s1), 2 (s2), 3 (s1), released at 3
//   0120 x-2     first caught at 2 (s1), then 3 (s2), removed there
//   0201 x5      first caught at 2 (s2), next at 4 (s1)
//   0010 x4      caught at 3 (s1) only
//   0000 x7, 2002 x0: nothing
const std::vector<Record> kHandCounted = {{"1210", 3}, {"0120", -2}, {"0201", 5},
                                          {"0010", 4}, {"0000", 7},  {"2002", 0}};

// T(i, l) by hand; rows: first caught at i, last caught before in s1, in s2; columns: next
// caught at i+1 in s1, s2, at i+2 in s1, s2 ..., never.
struct HandTable {
  int i;
  int l;
  std::vector<std::vector<int64_t>> rows;
};
const std::vector<HandTable> kHandTables = {
    {2, 1, {{0, 2, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}}},  // 0120 at 2, next 3 s2
    {2, 2, {{0, 0, 5, 0, 0}, {3, 0, 0, 0, 0}, {0, 0, 0, 0, 0}}},  // 0201 new; 1210 from s1
    {3, 1, {{0, 0, 4}, {0, 0, 0}, {0, 0, 3}}},  // 0010 new, never again; 1210 from s2, never
    {3, 2, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},  // 0120 removed at 3: in no table
};

FitTables Count(const std::vector<Record>& records, int periods, int strata) {
  FitTables tables(periods, strata);
  for (const Record& r : records) tables.Add(Sites(r.history), r.count);
  return tables;
}

void ExpectSameMArray(const MultiStateMArray& got, const MultiStateMArray& want) {
  for (int t = 1; t <= want.periods(); ++t) {
    for (int s = 1; s <= want.strata(); ++s) {
      EXPECT_EQ(got.released(t, s), want.released(t, s)) << t << " " << s;
      for (int t2 = t + 1; t2 <= want.periods(); ++t2) {
        for (int s2 = 1; s2 <= want.strata(); ++s2) {
          EXPECT_EQ(got.next(t, s, t2, s2), want.next(t, s, t2, s2)) << t << " " << s;
        }
      }
    }
  }
}

void ExpectSameCounts(const FitTables& got, const FitTables& want) {
  for (int i = 2; i <= want.periods() - 1; ++i) {
    for (int l = 1; l <= want.strata(); ++l) {
      for (int r = 0; r <= want.strata(); ++r) {
        for (int c = 0; c < want.Columns(i); ++c) {
          EXPECT_EQ(got.T(i, l, r, c), want.T(i, l, r, c)) << i << " " << l << " " << r << " " << c;
        }
      }
    }
  }
  ExpectSameMArray(got.marray(), want.marray());
}

TEST(FitTablesTest, BasicTablesCountedByHand) {
  const FitTables tables = Count(kHandCounted, 4, 2);
  for (const HandTable& want : kHandTables) {
    ASSERT_EQ(tables.Columns(want.i), static_cast<int>(want.rows[0].size()));
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < tables.Columns(want.i); ++c) {
        EXPECT_EQ(tables.T(want.i, want.l, r, c), want.rows[r][c])
            << "T(" << want.i << "," << want.l << ") row " << r << " column " << c;
      }
    }
  }
  EXPECT_EQ(tables.largest_stratum_seen(), 2);
}

TEST(FitTablesTest, MArrayCountedByHand) {
  // Pairs of consecutive captures: 1210 gives (1,1)->(2,2) and (2,2)->(3,1), x3; 0120 gives
  // (2,1)->(3,2), x2 (removed animals still count once caught again); 0201 gives
  // (2,2)->(4,1), x5. Released and never caught again: 1210 at (3,1) x3, 0010 at (3,1) x4.
  MultiStateMArray want(4, 2);
  want.AddPair(1, 1, 2, 2, 3);
  want.AddPair(2, 2, 3, 1, 3);
  want.AddPair(2, 1, 3, 2, 2);
  want.AddPair(2, 2, 4, 1, 5);
  want.AddLast(3, 1, 3 + 4);
  const FitTables tables = Count(kHandCounted, 4, 2);
  ExpectSameMArray(tables.marray(), want);
  EXPECT_EQ(tables.marray().never(3, 1), 7);
  EXPECT_EQ(tables.marray().never(2, 2), 0);
}

// The same counts whichever thread read which records, and whether the captures fall within
// or across the runs of empty periods that are skipped eight at a time.
TEST(FitTablesTest, MergedThreadsAgreeWithOneReader) {
  const std::vector<Record> records = {{"100000000200000001030", 6},  {"000000000000000000003", 2},
                                       {"000000001000000000000", -4}, {"010000000000000020000", -1},
                                       {"000000000000000000000", 9},  {"222222222222222222222", 1},
                                       {"300000003000000030000", 3}};
  const FitTables one = Count(records, 21, 3);
  // The record path gives the captures one at a time, as a list, with the fate apart from the
  // count.
  FitTables fed(21, 3);
  for (const Record& r : records) {
    std::vector<Capture> captures;
    const std::vector<uint8_t> sites = Sites(r.history);
    for (size_t p = 0; p < sites.size(); ++p) {
      if (sites[p] != 0) captures.push_back({static_cast<int32_t>(p) + 1, sites[p]});
    }
    fed.layout().Record(fed.counts(), CaptureList(captures), static_cast<uint32_t>(std::abs(r.count)),
                        r.count > 0);
  }
  ExpectSameCounts(fed, one);
  for (size_t split = 0; split <= records.size(); ++split) {
    FitTables first = Count({records.begin(), records.begin() + split}, 21, 3);
    const FitTables second = Count({records.begin() + split, records.end()}, 21, 3);
    first.Merge(second);
    ExpectSameCounts(first, one);
    EXPECT_EQ(first.largest_stratum_seen(), 3);
  }
  // 100000000200000001030 x6: released at 1 (s1), next at 10 (s2); at 10, next at 18 (s1);
  // at 18, caught before in s2, next at 20 = 18 + 2 (s3).
  EXPECT_EQ(one.marray().next(1, 1, 10, 2), 6);
  EXPECT_EQ(one.marray().next(10, 2, 18, 1), 6);
  EXPECT_EQ(one.T(10, 2, 1, (18 - 10 - 1) * 3 + 1 - 1), 6);
  EXPECT_EQ(one.T(18, 1, 2, (20 - 18 - 1) * 3 + 3 - 1), 6);
  // 010000000000000020000 x-1: first caught at 2 (s1), next at 17 (s2), removed there.
  EXPECT_EQ(one.marray().next(2, 1, 17, 2), 1);
  EXPECT_EQ(one.T(2, 1, 0, (17 - 2 - 1) * 3 + 2 - 1), 1);
  EXPECT_EQ(one.T(17, 2, 1, one.Columns(17) - 1), 0);
  EXPECT_EQ(one.marray().released(17, 2), 1);  // only 222...2 is released there
}

// Declared strata beyond the largest code used are kept, empty.
TEST(FitTablesTest, DeclaredStrataBeyondTheCodesUsed) {
  const FitTables tables = Count(kHandCounted, 4, 5);
  EXPECT_EQ(tables.strata(), 5);
  EXPECT_EQ(tables.largest_stratum_seen(), 2);
  EXPECT_EQ(tables.Columns(2), 2 * 5 + 1);
  EXPECT_EQ(tables.T(2, 2, 1, 0), 3);
  EXPECT_EQ(tables.T(2, 2, 0, 5), 5);  // next at period 4 (second block of 5), stratum 1
}

// Geese (6 periods, 3 strata): T(2, 1) as documented, and the 3 x 3 tables of stratum before
// by stratum of the next capture (all periods of the next capture together) of every release.
TEST(FitTablesTest, GeeseTablesAsDocumented) {
  const auto histories = testing::ReadHistories(testing::SourcePath("examples/geese/geese.inp"));
  FitTables tables(6, 3);
  for (const auto& h : histories) tables.Add(h.sites, h.count);

  const int64_t t21[4][13] = {{390, 124, 0, 122, 64, 3, 46, 35, 3, 18, 9, 0, 920},
                              {75, 3, 0, 21, 4, 0, 5, 2, 0, 1, 0, 0, 128},
                              {19, 6, 0, 4, 3, 0, 0, 2, 0, 1, 3, 0, 47},
                              {7, 1, 0, 2, 0, 0, 0, 3, 0, 1, 1, 0, 9}};
  ASSERT_EQ(tables.Columns(2), 13);
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 13; ++c) EXPECT_EQ(tables.T(2, 1, r, c), t21[r][c]) << r << " " << c;
  }

  struct Where {
    int i;
    int l;
    int64_t before_after[9];
  };
  const Where documented[] = {
      {2, 1, {102, 9, 0, 24, 14, 0, 10, 5, 0}},   {2, 2, {13, 8, 0, 31, 253, 3, 1, 10, 2}},
      {2, 3, {0, 0, 0, 1, 2, 0, 1, 10, 27}},      {3, 1, {228, 26, 1, 45, 49, 2, 2, 4, 2}},
      {3, 2, {21, 39, 1, 32, 433, 9, 4, 43, 12}}, {3, 3, {0, 0, 0, 0, 3, 6, 2, 16, 83}},
      {4, 1, {278, 57, 0, 39, 29, 2, 1, 2, 0}},   {4, 2, {44, 75, 1, 52, 491, 13, 0, 26, 13}},
      {4, 3, {3, 1, 1, 1, 7, 7, 4, 9, 97}},       {5, 1, {176, 31, 0, 31, 35, 0, 2, 2, 2}},
      {5, 2, {38, 55, 1, 39, 346, 5, 4, 19, 5}},  {5, 3, {2, 5, 1, 1, 9, 5, 1, 20, 90}},
  };
  for (const Where& w : documented) {
    for (int r = 1; r <= 3; ++r) {
      for (int s = 1; s <= 3; ++s) {
        int64_t animals = 0;
        for (int d = 0; d < 6 - w.i; ++d) animals += tables.T(w.i, w.l, r, d * 3 + s - 1);
        EXPECT_EQ(animals, w.before_after[(r - 1) * 3 + s - 1])
            << "release " << w.i << "," << w.l << " before " << r << " after " << s;
      }
    }
  }
  ExpectSameMArray(tables.marray(), testing::MArrayOf(histories, 3));
}

TEST(FitTablesTest, BytesFor) {
  struct Case {
    int periods;
    int strata;
    uint64_t bytes;
  };
  const Case cases[] = {
      // T(1..3): 2 x 3 rows x (7 + 5 + 3) columns = 90 cells; spare: 5 x 2 + 1 = 11. Places of
      // the rows, by period 0..4, stratum and stratum before: 5 x 2 x 3; of the periods: 5.
      {4, 2, (90 + 11) * 4 + (30 + 5) * 8},
      // T(1..5): 3 x 4 x (16 + 13 + 10 + 7 + 4) = 600 cells; spare: 7 x 3 + 1 = 22. Places:
      // 7 x 3 x 4 and 7.
      {6, 3, (600 + 22) * 4 + (84 + 7) * 8},
      // Two periods: T(1) of 2 x 3 rows x 3 columns; spare: 3 x 2 + 1. Places: 3 x 2 x 3 and 3.
      {2, 2, (18 + 7) * 4 + (18 + 3) * 8},
      {1 << 30, 255, std::numeric_limits<uint64_t>::max()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FitTables::BytesFor(c.periods, c.strata), c.bytes) << c.periods << " " << c.strata;
  }
}

}  // namespace
}  // namespace haplovex::gof

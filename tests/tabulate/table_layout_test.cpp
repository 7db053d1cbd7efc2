#include "tabulate/table_layout.h"

#include <gtest/gtest.h>

#include "common/fatal.h"
#include "common/table.h"

namespace haplovex {
namespace {

using enum Axis;

// The tables of a run of 4 periods (6 pairs), 2 strata, 3 age classes and 2 groups, laid out
// as the movement-only converter lays them out; strides and offsets worked out by hand.
const TableLayout<4> kN({{{kPeriod, 4}, {kStratum, 2}, {kAge, 3}, {kGroup, 2}}});
const TableLayout<5> kBt({{{kPair, 6}, {kStratum, 2}, {kNext, 2}, {kAge, 3}, {kGroup, 2}}});
const TableLayout<4> kBtot({{{kNext, 2}, {kStratum, 2}, {kAge, 3}, {kGroup, 2}}});

TEST(TableLayoutTest, StridesFollowTheExtentsFastestFirst) {
  const struct {
    Axis axis;
    int64_t stride;
  } cases[] = {{kPair, 1}, {kStratum, 6}, {kNext, 12}, {kAge, 24}, {kGroup, 72}, {kPrevious, 0}};
  for (const auto& c : cases) EXPECT_EQ(kBt.stride(c.axis), c.stride) << static_cast<int>(c.axis);
  EXPECT_EQ(kBt.size(), 144);
  EXPECT_EQ(kBt.Part(kNext, 2), 12);
  EXPECT_EQ(kBt.Part(kNext, 1), 0);
}

TEST(TableLayoutTest, OffsetsAndPositionsOfCounts) {
  const struct {
    int64_t ij, s, s2, a, g;
    size_t offset;
  } cases[] = {
      {1, 1, 1, 1, 1, 0}, {6, 1, 1, 1, 1, 5}, {4, 2, 1, 3, 2, 129}, {6, 2, 2, 3, 2, 143}, {1, 1, 2, 2, 1, 36},
  };
  for (const auto& c : cases) {
    const size_t x = kBt.Offset(c.ij, c.s, c.s2, c.a, c.g);
    EXPECT_EQ(x, c.offset);
    const auto at = static_cast<int64_t>(x);
    EXPECT_EQ(kBt.Position(at, kPair), c.ij - 1) << x;
    EXPECT_EQ(kBt.Position(at, kStratum), c.s - 1) << x;
    EXPECT_EQ(kBt.Position(at, kNext), c.s2 - 1) << x;
    EXPECT_EQ(kBt.Position(at, kAge), c.a - 1) << x;
    EXPECT_EQ(kBt.Position(at, kGroup), c.g - 1) << x;
    EXPECT_EQ(kBt.Position(at, kPeriod), 0) << x;  // an axis bt lacks
  }
}

// A count of bt adds to the release of its stratum, age and group in n (at period 1, the first
// of its run of periods) and to the move from its stratum to the next in btot.
TEST(TableLayoutTest, AcrossFindsTheSameCountInAnotherTable) {
  const struct {
    int64_t bt, n, btot;
  } cases[] = {
      {129, 44, 22},  // bt(4, 2, 1, 3, 2): n(1, 2, 3, 2), btot(1, 2, 3, 2)
      {12, 0, 1},     // bt(1, 1, 2, 1, 1): n(1, 1, 1, 1), btot(2, 1, 1, 1)
      {113, 32, 17},  // bt(6, 1, 2, 2, 2): n(1, 1, 2, 2), btot(2, 1, 2, 2)
  };
  for (const auto& c : cases) {
    EXPECT_EQ(kN.Across(kBt, c.bt), c.n) << c.bt;
    EXPECT_EQ(kBtot.Across(kBt, c.bt), c.btot) << c.bt;
  }
  // The memory converter's tables, by previous stratum too: 3 periods, 2 strata.
  const TableLayout<5> n({{{kPeriod, 3}, {kPrevious, 2}, {kStratum, 2}, {kAge, 1}, {kGroup, 1}}});
  const TableLayout<6> bt({{{kPair, 3}, {kPrevious, 2}, {kStratum, 2}, {kNext, 2}, {kAge, 1}, {kGroup, 1}}});
  const TableLayout<4> btot({{{kNext, 2}, {kStratum, 2}, {kAge, 1}, {kGroup, 1}}});
  const auto x = static_cast<int64_t>(bt.Offset(2, 2, 1, 2, 1, 1));
  EXPECT_EQ(x, 16);
  EXPECT_EQ(n.Across(bt, x), 3);
  EXPECT_EQ(btot.Across(bt, x), 1);
}

TEST(TableLayoutTest, TablesAreReadWhereTheyAreCounted) {
  CountTables<4, 5, 4> tables(kN, kBt, kBtot);
  tables.bt.Add(kBt.Offset(4, 2, 1, 3, 2), 7, 1);
  tables.n.Add(kN.Offset(3, 2, 1, 1), 5, 1);
  EXPECT_EQ(tables.bt(4, 2, 1, 3, 2), 7);
  EXPECT_EQ(tables.bt(4, 1, 2, 3, 2), 0);
  EXPECT_EQ(tables.n(3, 2, 1, 1), 5);
  EXPECT_EQ(tables.btot.counts().size(), 24u);
}

TEST(TableLayoutTest, ATableTooLargeStopsTheRunNamingIt) {
  SetTableByteLimit(200 * sizeof(int32_t));  // n (48 counts) fits, this bt (216) does not
  const TableLayout<5> wide({{{kPair, 6}, {kStratum, 2}, {kNext, 2}, {kAge, 3}, {kGroup, 3}}});
  try {
    CountTables<4, 5, 4> tables(kN, wide, kBtot);
    ADD_FAILURE() << "allocated " << tables.bt.counts().size() << " counts";
  } catch (const FatalStop& stop) {
    EXPECT_EQ(stop.stop(), "error allocating memory for bt");
  }
  SetTableByteLimit(kMaxTableBytes);
}

}  // namespace
}  // namespace haplovex

#include "memory/memory_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/fatal.h"
#include "tabulate/tabulation.h"

namespace haplovex {
namespace {

ConversionSettings Settings(int32_t S, int32_t T, int32_t A, int32_t G,
                            std::string ageinc = std::string(40, '1')) {
  ConversionSettings s;
  s.modset = ModelSet::kMemoryMovement;
  s.nstrata = S;
  s.nyrs = T;
  s.nage = A;
  s.ngroups = G;
  for (int32_t i = 1; i <= T; ++i) s.codcol.push_back(i);
  s.ageinc = ageinc;
  return s;
}

struct Rec {
  std::vector<int32_t> ch;
  int32_t iage = 1;
  int32_t igrp = 1;
  char fate = '\0';
  int32_t freq = 1;
};
struct NCell { int32_t i, q, r, a, g, value; };
struct BtCell { int32_t i, j, q, r, t, a, g, value; };
struct BtotCell { int32_t t, r, a, g, value; };

struct CountCase {
  const char* name;
  int32_t S, T, A, G;
  std::string ageinc;
  std::vector<Rec> records;
  std::vector<NCell> n;
  std::vector<BtCell> bt;
  std::vector<BtotCell> btot;
};

// Every listed cell holds its value, and each table holds nothing else.
void ExpectCounts(const CountCase& c) {
  SCOPED_TRACE(c.name);
  const ConversionSettings s = Settings(c.S, c.T, c.A, c.G, c.ageinc);
  MemoryTables tables(s);
  int64_t record = 0;
  for (const Rec& r : c.records) {
    DecodedRecord rec;
    rec.ch = r.ch;
    CollectCaptures(rec, c.S);
    rec.iage = r.iage;
    rec.igrp = r.igrp;
    rec.fate = r.fate;
    rec.freq = r.freq;
    tables.Count(rec, ++record);
  }

  int64_t want_n = 0, want_bt = 0, want_btot = 0;
  for (const NCell& e : c.n) {
    EXPECT_EQ(tables.n(e.i, e.q, e.r, e.a, e.g), e.value)
        << "n(" << e.i << "," << e.q << "," << e.r << "," << e.a << "," << e.g << ")";
    want_n += e.value;
  }
  for (const BtCell& e : c.bt) {
    EXPECT_EQ(tables.bt(PairIndex(e.i, e.j, c.T), e.q, e.r, e.t, e.a, e.g), e.value)
        << "bt(" << e.i << "-" << e.j << "," << e.q << "," << e.r << "," << e.t << "," << e.a
        << "," << e.g << ")";
    want_bt += e.value;
  }
  for (const BtotCell& e : c.btot) {
    EXPECT_EQ(tables.btot(e.t, e.r, e.a, e.g), e.value)
        << "btot(" << e.t << "," << e.r << "," << e.a << "," << e.g << ")";
    want_btot += e.value;
  }

  int64_t got_n = 0, got_bt = 0, got_btot = 0;
  for (int32_t g = 1; g <= c.G; ++g)
    for (int32_t a = 1; a <= c.A; ++a)
      for (int32_t r = 1; r <= c.S; ++r) {
        for (int32_t t = 1; t <= c.S; ++t) got_btot += tables.btot(t, r, a, g);
        for (int32_t q = 1; q <= c.S; ++q) {
          for (int32_t i = 1; i <= c.T; ++i) got_n += tables.n(i, q, r, a, g);
          for (int64_t ij = 1; ij <= int64_t{c.T} * (c.T - 1) / 2; ++ij)
            for (int32_t t = 1; t <= c.S; ++t) got_bt += tables.bt(ij, q, r, t, a, g);
        }
      }
  EXPECT_EQ(got_n, want_n) << "counts in n";
  EXPECT_EQ(got_bt, want_bt) << "counts in bt";
  EXPECT_EQ(got_btot, want_btot) << "counts in btot";
}

const std::string kAllOnes(40, '1');
const std::string kNoAgeing(40, '0');

TEST(MemoryTablesTest, CountsReleasesByPreviousStratum) {
  const std::vector<CountCase> cases = {
      {"captures at 1, 2, 3 are releases at 2 and 3", 2, 3, 1, 1, kAllOnes,
       {{{1, 1, 2}}},
       {{2, 1, 1, 1, 1, 1}, {3, 1, 2, 1, 1, 1}},
       {{2, 3, 1, 1, 2, 1, 1, 1}},
       {{2, 1, 1, 1, 1}}},  // destination first: next caught in B after a release in A
      {"captures at 1 and 3 count nothing", 2, 3, 1, 1, kAllOnes, {{{1, 0, 1}}}, {}, {}, {}},
      {"a code beyond the strata is no capture and no previous stratum", 2, 3, 1, 1, kAllOnes,
       {{{1, 3, 1}}, {{3, 1, 1}}},
       {{3, 1, 1, 1, 1, 1}},
       {},
       {}},
      {"loss on capture removes only the release at the last capture", 2, 4, 1, 1, kAllOnes,
       {{{1, 2, 1, 0}, 1, 1, 'X'}},
       {{2, 1, 2, 1, 1, 1}},
       {{2, 3, 1, 2, 1, 1, 1, 1}},
       {{1, 2, 1, 1, 1}}},
      {"a blank fate releases the animal", 2, 3, 1, 1, kAllOnes,
       {{{1, 2, 1}, 1, 1, ' '}},
       {{2, 1, 2, 1, 1, 1}, {3, 2, 1, 1, 1, 1}},
       {{2, 3, 1, 2, 1, 1, 1, 1}},
       {{1, 2, 1, 1, 1}}},
      {"the next capture may follow a gap; the capture after the gap has no memory", 2, 4, 1, 1,
       kAllOnes,
       {{{1, 2, 0, 2}}},
       {{2, 1, 2, 1, 1, 1}},
       {{2, 4, 1, 2, 2, 1, 1, 1}},
       {{2, 2, 1, 1, 1}}},
      {"an age position above the oldest class counts in it", 2, 3, 2, 1, kNoAgeing,
       {{{1, 1, 1}, 3}},
       {{2, 1, 1, 2, 1, 1}, {3, 1, 1, 2, 1, 1}},
       {{2, 3, 1, 1, 1, 2, 1, 1}},
       {{1, 1, 2, 1, 1}}},
      {"the age class rises after a period whose increment is 1", 2, 4, 2, 1,
       "01" + std::string(38, '0'),
       {{{1, 1, 1, 1}}},
       {{2, 1, 1, 1, 1, 1}, {3, 1, 1, 2, 1, 1}, {4, 1, 1, 2, 1, 1}},
       {{2, 3, 1, 1, 1, 1, 1, 1}, {3, 4, 1, 1, 1, 2, 1, 1}},
       {{1, 1, 1, 1, 1}, {1, 1, 2, 1, 1}}},
      {"groups and frequencies", 2, 3, 1, 2, kAllOnes,
       {{{2, 1, 0}, 1, 2, '\0', 7}, {{2, 1, 2}, 1, 1, '\0', 3}},
       {{2, 2, 1, 1, 2, 7}, {2, 2, 1, 1, 1, 3}, {3, 1, 2, 1, 1, 3}},
       {{2, 3, 2, 1, 2, 1, 1, 3}},
       {{2, 1, 1, 1, 3}}},
  };
  for (const CountCase& c : cases) ExpectCounts(c);
}

TEST(MemoryTablesTest, CountPassingTheLargestStopsTheRun) {
  const ConversionSettings s = Settings(2, 3, 1, 1);
  MemoryTables tables(s);
  DecodedRecord rec;
  rec.ch = {1, 1, 0};
  CollectCaptures(rec, 2);
  rec.freq = 999999999;
  tables.Count(rec, 1);
  EXPECT_EQ(tables.n(2, 1, 1, 1, 1), 999999999);
  EXPECT_THROW(tables.Count(rec, 2), FatalStop);
}

TEST(MemoryTablesTest, NextCaptureTableHasItsExactSize) {
  const ConversionSettings s = Settings(9, 40, 2, 2);
  const MemoryTables tables(s);
  EXPECT_EQ(tables.bt_entries(), size_t{40 * 39 / 2} * 9 * 9 * 9 * 2 * 2);
}

}  // namespace
}  // namespace haplovex

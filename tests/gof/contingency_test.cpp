#include "gof/contingency.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "gof/distributions.h"

namespace haplovex::gof {
namespace {

using Rows = std::vector<std::vector<int64_t>>;

CountTable Table(const Rows& rows) {
  CountTable t(static_cast<int>(rows.size()), static_cast<int>(rows[0].size()));
  for (int r = 0; r < t.rows(); ++r) {
    for (int c = 0; c < t.columns(); ++c) t.at(r, c) = rows[r][c];
  }
  return t;
}

std::string Show(const CountTable& t) {
  std::string s;
  for (int r = 0; r < t.rows(); ++r) {
    for (int c = 0; c < t.columns(); ++c) s += std::to_string(t.at(r, c)) + " ";
    s += "| ";
  }
  return s;
}

struct PoolCase {
  const char* what;
  Rows table;
  Rows pooled;
};

// Each worked by hand: E = row total x column total / N, pooled while some E < 2.
TEST(ContingencyTest, PoolCategories) {
  const PoolCase cases[] = {
      {"smallest cell tied in columns 0 and 2 (E = 27 x 2 / 54 = 1): column 0 keeps the pool",
       {{2, 5, 0, 20}, {0, 5, 2, 20}},
       {{2, 5, 20}, {2, 5, 20}}},
      {"partner tied between columns 1 and 2 (total 10): the first is added into column 0",
       {{1, 4, 6, 20}, {1, 6, 4, 20}},
       {{5, 6, 20}, {7, 4, 20}}},
      {"row mean 5/3 equal to column mean 5/3: rows pooled (row 1 into row 0)",
       {{2, 2, 1}, {0, 3, 3}, {3, 1, 5}},
       {{2, 5, 4}, {3, 1, 5}}},
      {"row mean 10/3 above column mean 4/3: columns pooled (column 1 into 0); then two "
       "columns are left, so rows (row 1 into row 0)",
       {{1, 0, 9}, {0, 2, 8}, {3, 3, 30}},
       {{3, 17}, {6, 30}}},
      {"two rows: columns pooled although the row mean is not above the column mean",
       {{1, 1, 1}, {1, 1, 20}},
       {{2, 1}, {2, 20}}},
      {"two columns: rows pooled", {{1, 1}, {1, 1}, {1, 20}}, {{2, 2}, {1, 20}}},
      {"2x2 with a small E stays", {{1, 3}, {2, 9}}, {{1, 3}, {2, 9}}},
      {"no small E: unchanged", {{10, 20}, {30, 40}}, {{10, 20}, {30, 40}}},
      {"empty table down to 2x2", {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {{0, 0}, {0, 0}}},
  };
  for (const PoolCase& c : cases) {
    EXPECT_EQ(Show(PoolCategories(Table(c.table))), Show(Table(c.pooled))) << c.what;
  }
}

// Pooling looks for the smallest expected count along the row of least total, and only at
// columns of less total than every one before; held here to looking at every cell, in column
// order, on tables of every shape with ties, empty lines and counts small and large.
CountTable PooledCellByCell(CountTable t) {
  for (;;) {
    const double n = static_cast<double>(t.Total());
    double smallest = 1e300;
    int row = 0, column = 0;
    for (int c = 0; c < t.columns(); ++c) {
      for (int r = 0; r < t.rows(); ++r) {
        const double e = n == 0 ? 0 : static_cast<double>(t.RowTotal(r)) * static_cast<double>(t.ColumnTotal(c)) / n;
        if (e < smallest) smallest = e, row = r, column = c;
      }
    }
    if (smallest >= kSmallExpected || (t.rows() == 2 && t.columns() == 2)) return t;
    bool pool_columns = static_cast<double>(t.RowTotal(row)) / t.columns() >
                        static_cast<double>(t.ColumnTotal(column)) / t.rows();
    if (t.rows() == 2) pool_columns = true;
    if (t.columns() == 2) pool_columns = false;
    const int lines = pool_columns ? t.columns() : t.rows();
    const int keep = pool_columns ? column : row;
    auto total = [&](int k) { return pool_columns ? t.ColumnTotal(k) : t.RowTotal(k); };
    int partner = -1;
    for (int k = 0; k < lines; ++k) {
      if (k != keep && (partner < 0 || total(k) < total(partner))) partner = k;
    }
    if (pool_columns) {
      t.PoolColumns(partner, keep);
    } else {
      t.PoolRows(partner, keep);
    }
  }
}

TEST(ContingencyTest, PoolCategoriesAgreesWithEveryCellLookedAt) {
  std::mt19937 random(11);
  const std::vector<int64_t> kinds[] = {{0, 1, 2, 3}, {0, 0, 0, 1, 5}, {1, 1, 2, 40, 1000}, {0, 7, 7, 7, 250000}};
  for (int k = 0; k < 3000; ++k) {
    const std::vector<int64_t>& kind = kinds[k % 4];
    CountTable t(2 + static_cast<int>(random() % 6), 2 + static_cast<int>(random() % 30));
    for (int r = 0; r < t.rows(); ++r) {
      for (int c = 0; c < t.columns(); ++c) t.at(r, c) = kind[random() % kind.size()];
    }
    ASSERT_EQ(PoolCategories(t), PooledCellByCell(t)) << "table " << k << ": " << Show(t);
  }
}

TEST(ContingencyTest, PoolTwoByC) {
  const PoolCase cases[] = {
      {"last into the one before, turned end to end (2 < 26), again, and turned back",
       {{1, 2, 3, 10}, {1, 2, 3, 10}},
       {{3, 13}, {3, 13}}},
      {"stops once no E is small, with 3 columns left",
       {{10, 10, 1, 1}, {10, 10, 1, 1}},
       {{10, 10, 2}, {10, 10, 2}}},
      {"uneven rows: [0 1 1 10 | 4 1 0 2], turned to [10 1 1 0 | 2 0 1 4], [10 1 1 | 2 0 5], "
       "[10 2 | 2 5], turned back",
       {{0, 1, 1, 1, 9}, {4, 1, 0, 1, 1}},
       {{2, 10}, {5, 2}}},
      {"first and last totals tied (2 and 2) after a pool: [2 3 0 | 0 4 2] is not turned, so its "
       "last column goes into the middle one",
       {{2, 3, 0, 0}, {0, 4, 1, 1}},
       {{2, 3}, {0, 6}}},
      {"no small E", {{5, 5, 5}, {5, 5, 5}}, {{5, 5, 5}, {5, 5, 5}}},
      {"empty table: a 2x2 of zeros", {{0, 0, 0, 0}, {0, 0, 0, 0}}, {{0, 0}, {0, 0}}},
  };
  for (const PoolCase& c : cases) {
    EXPECT_EQ(Show(PoolTwoByC(Table(c.table))), Show(Table(c.pooled))) << c.what;
  }
}

TEST(ContingencyTest, FisherExactP) {
  struct Case {
    Rows table;
    double p;
  };
  // Probabilities of the tables with the same margins, C(c1, x) C(N - c1, r1 - x) / C(N, r1).
  const Case cases[] = {
      {{{3, 1}, {1, 3}}, 34.0 / 70},  // 1 16 36 16 1 (/70): all but 36, the tie included
      {{{1, 2}, {3, 0}}, 8.0 / 20},   // 4 12 4 (/20), observed x = 1: the tie at x = 3 counts
      {{{0, 5}, {5, 0}}, 2.0 / 252},  // the two extremes, 1/252 each
      {{{2, 0}, {0, 2}}, 2.0 / 6},    // 1 4 1 (/6)
      {{{1, 1}, {1, 1}}, 1.0},        // the most likely table
      {{{0, 3}, {0, 4}}, 1.0},        // an empty column: nothing to compare
      // The observed table is the least likely, C(N - 2, 1) / C(N, 3) = 6 / (N (N - 1)): few
      // animals, and many (probabilities from binomial ones), beyond 2^32 too.
      {{{2, 1}, {0, 9'997}}, 6.0 / (10'000.0 * 9'999.0)},
      {{{2, 1}, {0, 9'998}}, 6.0 / (10'001.0 * 10'000.0)},
      {{{2, 1}, {0, 5'000'000'000}}, 6.0 / (5'000'000'003.0 * 5'000'000'002.0)},
      // Margins 2, N - 2: C(N - 2, 2), 2 (N - 2) and 1 over C(N, 2); x = 1 and the less likely
      // x = 2 give 2 (2N - 3) / (N (N - 1)).
      {{{1, 1}, {1, 19'997}}, 2.0 * 39'997 / (20'000.0 * 19'999.0)},
      // Rows of 10000 each, column of 3: x = 0 and x = 3 are equally likely, C(10000, 3) /
      // C(20000, 3) each.
      {{{3, 9'997}, {0, 10'000}}, 2.0 * 10'000 * 9'999 * 9'998 / (20'000.0 * 19'999 * 19'998)},
      // Ties that rounding would split. Margins 34, 24 by 23, 35: from x = 13 to the observed 14
      // the probability is multiplied by (34 - 13)(23 - 13) / (14 x 15) = 1, and these two are
      // the most likely: every table counts.
      {{{14, 20}, {9, 15}}, 1.0},
      // Rows of 26 each, column of 17: x and 17 - x are equally likely, so the observed 15 ties
      // with 2: p = 2 (C(17, 2) C(35, 11) + C(17, 1) C(35, 10) + C(35, 9)) / C(52, 26).
      {{{15, 11}, {2, 24}}, 2.0 * (136.0 * 417'225'900 + 17.0 * 183'579'396 + 70'607'460) / 495'918'532'948'104},
  };
  for (const Case& c : cases) EXPECT_NEAR(FisherExactP(Table(c.table)) / c.p, 1.0, 1e-9) << c.p;
}

TEST(ContingencyTest, PearsonWithoutCorrection) {
  // E = 12 18 | 28 42; each (O - E)^2 = 4: 4 (1/12 + 1/18 + 1/28 + 1/42) = 200/252.
  EXPECT_NEAR(PearsonChiSquare(Table({{10, 20}, {30, 40}})), 200.0 / 252, 1e-14);
}

TEST(ContingencyTest, FisherFarInTheTail) {
  // Two df: the upper tail is exp(-x/2), so p = 1e-20 is x = 40 ln 10.
  TableTest two = FisherAsChiSquare(1e-20, 2);
  EXPECT_NEAR(two.statistic, 40 * std::log(10.0), 1e-9);
  EXPECT_TRUE(two.far_tail);
  // One df: the upper tail is erfc(sqrt(x / 2)).
  TableTest one = FisherAsChiSquare(1e-20, 1);
  ASSERT_TRUE(std::isfinite(one.statistic));
  EXPECT_NEAR(std::erfc(std::sqrt(one.statistic / 2)) / 1e-20, 1.0, 1e-9);
  // A p too small to be held at all still gives a finite statistic.
  EXPECT_TRUE(std::isfinite(FisherAsChiSquare(0.0, 1).statistic));
  EXPECT_GT(FisherAsChiSquare(0.0, 1).statistic, one.statistic);
  // Near 1: statistic 0.
  EXPECT_EQ(FisherAsChiSquare(1.0, 1).statistic, 0.0);
  EXPECT_EQ(FisherAsChiSquare(1 - 1e-16, 1).statistic, 0.0);
  EXPECT_FALSE(FisherAsChiSquare(0.5, 1).far_tail);
}

TEST(ContingencyTest, WhichTest) {
  struct Case {
    const char* what;
    TableTest (*test)(const CountTable&);
    Rows table;
    Method method;
    int df;
    double figure;  // Fisher's exact p, or the statistic of a chi-square
  };
  const Case cases[] = {
      {"2x2, E >= 2", TestTwoByTwo, {{10, 20}, {30, 40}}, Method::kChiSquare, 1, 200.0 / 252},
      {"2x2, E = 2 is not small: (O - E)^2 / E = 1/2 each",
       TestTwoByTwo,
       {{3, 1}, {1, 3}},
       Method::kChiSquare,
       1,
       2.0},
      {"2x2, E < 2", TestTwoByTwo, {{1, 2}, {3, 0}}, Method::kFisher, 1, 0.4},
      {"2x2, empty row", TestTwoByTwo, {{0, 0}, {3, 4}}, Method::kNone, 0, 0},
      {"2x2, empty column", TestTwoByTwo, {{0, 3}, {0, 4}}, Method::kNone, 0, 0},
      {"pooled, empty", TestPooledTable, {{0, 0}, {0, 0}}, Method::kFisher, 0, 1},
      {"pooled, one column", TestPooledTable, {{3, 0}, {5, 0}}, Method::kFisher, 0, 1},
      {"pooled, 2x2 E < 2", TestPooledTable, {{1, 2}, {3, 0}}, Method::kFisher, 1, 0.4},
      // E = 12 18 | 28 42 | 40 60 (N = 200): 4/12 + 4/18 + 4/28 + 4/42 + 0 + 0.
      {"pooled, 3x2 E >= 2",
       TestPooledTable,
       {{10, 20}, {30, 40}, {40, 60}},
       Method::kChiSquare,
       2,
       200.0 / 252},
      // Without its empty column: [5 7 | 6 8], X^2 = N (ad - bc)^2 / (r1 r2 c1 c2).
      {"2 x c, empty column dropped",
       TestTwoByC,
       {{5, 0, 7}, {6, 0, 8}},
       Method::kChiSquare,
       1,
       26.0 * 4 / (12 * 14 * 11 * 15)},
      {"2 x c, one row", TestTwoByC, {{0, 0, 0}, {3, 4, 5}}, Method::kNone, 0, 0},
      {"2 x c, 2x2 E < 2", TestTwoByC, {{1, 2}, {3, 0}}, Method::kFisher, 1, 0.4},
  };
  for (const Case& c : cases) {
    const TableTest test = c.test(Table(c.table));
    EXPECT_EQ(test.method, c.method) << c.what;
    EXPECT_EQ(test.df, c.df) << c.what;
    if (c.method == Method::kFisher) {
      EXPECT_NEAR(test.p, c.figure, 1e-12) << c.what;
      if (c.df > 0) {
        EXPECT_NEAR(ChiSquareUpper(test.statistic, c.df), c.figure, 1e-9) << c.what;
      }
    } else if (c.method == Method::kChiSquare) {
      EXPECT_NEAR(test.statistic, c.figure, 1e-12) << c.what;
    }
    if (c.df == 0) {
      EXPECT_EQ(test.statistic, 0.0) << c.what;
    }
  }
}

}  // namespace
}  // namespace haplovex::gof

// Contingency tables of counts and the tests of independence the goodness-of-fit tests run on
// them: Pearson's chi-square without continuity correction, Fisher's exact test on 2x2 tables
// (turned into the chi-square statistic of the same upper tail), the rule that picks between
// them, and the two ways of pooling categories until the expected counts are large enough: by
// the smallest expected count (the multi-state tests, and Test M's tables with their bases
// fixed), or from the right end of a 2 x c table (the single-state tests).
//
// A cell's expected count is row total x column total / N; an expected count below 2 is
// "small" and calls for pooling, then for Fisher's test.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "gof/fit_result.h"

namespace haplovex::gof {

// Expected counts below this call for pooling or for Fisher's test.
inline constexpr double kSmallExpected = 2.0;

// A rows x columns table of counts.
class CountTable {
 public:
  CountTable() = default;
  CountTable(int rows, int columns) : rows_(rows), columns_(columns), cells_(Size(rows, columns)) {}
  // Cells given row by row. REQUIRES: cells.size() == rows * columns.
  CountTable(int rows, int columns, std::initializer_list<int64_t> cells);

  int rows() const { return rows_; }
  int columns() const { return columns_; }
  int64_t& at(int r, int c) { return cells_[static_cast<size_t>(r) * columns_ + c]; }
  int64_t at(int r, int c) const { return cells_[static_cast<size_t>(r) * columns_ + c]; }

  int64_t RowTotal(int r) const;
  int64_t ColumnTotal(int c) const;
  int64_t Total() const;
  // The first cell's count less its expected count (0 in a table of no animals).
  double FirstCellExcess() const;
  // The smallest expected count (0 in a table of no animals or no cells).
  double LeastExpected() const;
  // Whether some expected count (row total x column total / N) is below kSmallExpected; an
  // empty table's expected counts are all 0.
  bool AnyExpectedSmall() const;

  // Adds column (row) `from` into column (row) `into` and removes `from`.
  void PoolColumns(int from, int into);
  void PoolRows(int from, int into);
  // The table without its all-zero rows and columns.
  CountTable WithoutEmptyLines() const;

  bool operator==(const CountTable&) const = default;

 private:
  static size_t Size(int rows, int columns) { return static_cast<size_t>(rows) * columns; }

  int rows_ = 0;
  int columns_ = 0;
  std::vector<int64_t> cells_;
};

// Pearson's X^2 = sum of (O - E)^2 / E, without continuity correction.
// REQUIRES: every expected count > 0.
double PearsonChiSquare(const CountTable& table);

// Fisher's exact test, two-sided, on a 2x2 table: the probability, given the margins, of the
// tables no more likely than this one (a table within a relative 1e-7 of this one's
// probability counts as equally likely, so that rounding does not split ties). 1 when a
// margin is 0. REQUIRES: a 2x2 table.
double FisherExactP(const CountTable& table);

// How a table may be pooled by PoolByExpected: its last `fixed_rows` rows are never merged (nor
// merged into another), and it keeps at least `least_free_rows` of the others and
// `least_columns` columns.
struct PoolingRules {
  int fixed_rows = 0;
  int least_free_rows = 2;
  int least_columns = 2;
};

// Pools categories of a table until no expected count is small or neither dimension can be
// pooled further. Each step takes the cell with the smallest expected count (the first in
// column order on ties; once the columns are at their least, the fixed rows' small expected
// counts are let be, since nothing could raise them). In a fixed row only its column can be
// pooled; otherwise columns when its row's mean exceeds its column's mean, rows when not, and
// along the other dimension when the one called for is at its least. Into that cell's column
// (row) is added the other column (row that is not fixed) with the smallest total, the first
// on ties. REQUIRES: a table of some animals, with more rows than fixed ones.
CountTable PoolByExpected(CountTable table, const PoolingRules& rules);

// Pools categories of a table (2 or more rows and columns) until no expected count is small
// or the table is 2x2, as PoolByExpected with no fixed row; a table of no animals becomes a
// 2x2 of zeros.
CountTable PoolCategories(CountTable table);

// Pools a 2 x c table from its right end: while there are more than 2 columns and some
// expected count is small, the last column is added into the one before it, and the columns
// are turned end to end whenever the first one's total is smaller than the last one's (the
// original order is restored at the end). An empty table becomes a 2x2 of zeros.
// REQUIRES: 2 rows.
CountTable PoolTwoByC(CountTable table);

// The outcome of testing one table.
struct TableTest {
  Method method = Method::kNone;
  double statistic = 0;
  int df = 0;
  double p = 1;
  // Fisher's p was too small for 1 - p to differ from 1 (or even to be held at all), where
  // the reference computation's statistic is infinite; the statistic here is finite.
  bool far_tail = false;
};

// Turns Fisher's p on `df` degrees into the chi-square statistic of the same upper tail.
TableTest FisherAsChiSquare(double p, int df);

// A table pooled by PoolCategories: Fisher's test when an expected count is still small
// (df = (non-zero rows - 1) x (non-zero columns - 1), 0 with fewer than two of either, and
// then statistic 0), else Pearson's chi-square on (rows - 1) x (columns - 1) df.
TableTest TestPooledTable(const CountTable& table);

// A 2x2 table: not tested when a row or column total is 0; Fisher's test on 1 df when an
// expected count is small; else Pearson's chi-square on 1 df.
TableTest TestTwoByTwo(const CountTable& table);

// A 2 x c table pooled by PoolTwoByC, without its empty rows and columns: not tested when no
// degree of freedom is left; Fisher's test when an expected count is small (the table is then
// 2x2); else Pearson's chi-square.
TableTest TestTwoByC(const CountTable& table);

}  // namespace haplovex::gof

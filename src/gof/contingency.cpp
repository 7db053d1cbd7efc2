#include "gof/contingency.h"

#include <algorithm>
#include <boost/math/distributions/binomial.hpp>
#include <boost/math/distributions/hypergeometric.hpp>
#include <cassert>
#include <cmath>
#include <limits>

#include "gof/distributions.h"

namespace haplovex::gof {
namespace {

// Fisher's p this close to 1 is 1: what is left is rounding in the sum of the probabilities.
constexpr double kOneMinus = 1e-15;
// Tables whose probability is within this relative distance of the observed one's count as
// equally likely.
constexpr double kTieTolerance = 1e-7;

// Up to this many animals Fisher's probabilities come from the hypergeometric distribution
// itself, whose cost grows with the number of animals; beyond it from binomial ones, whose
// cost does not.
constexpr int64_t kFewAnimals = 10'000;

// The probabilities of the 2x2 tables with the margins of `table`, by the value x of the
// top-left cell from `lowest` on, and the index of the observed table among them.
struct Hypergeometric {
  std::vector<double> probability;
  size_t observed = 0;
};

Hypergeometric TablesWithMargins(const CountTable& table) {
  const int64_t row1 = table.RowTotal(0);
  const int64_t column1 = table.ColumnTotal(0);
  const int64_t n = table.Total();
  const int64_t lowest = std::max<int64_t>(0, row1 + column1 - n);
  const int64_t highest = std::min(row1, column1);
  Hypergeometric h;
  h.observed = static_cast<size_t>(table.at(0, 0) - lowest);
  h.probability.reserve(static_cast<size_t>(highest - lowest + 1));
  if (n <= kFewAnimals) {
    const boost::math::hypergeometric_distribution<double> tables(
        static_cast<unsigned>(column1), static_cast<unsigned>(row1), static_cast<unsigned>(n));
    for (int64_t x = lowest; x <= highest; ++x) {
      h.probability.push_back(boost::math::pdf(tables, static_cast<unsigned>(x)));
    }
    return h;
  }
  // The hypergeometric probability as a ratio of binomial ones, each taking its x of its
  // animals with the same chance row1 / n: b(x; column1) b(row1 - x; n - column1) / b(row1; n).
  const double chance = static_cast<double>(row1) / static_cast<double>(n);
  const auto binomial = [chance](int64_t trials, int64_t successes) {
    return boost::math::pdf(
        boost::math::binomial_distribution<double>(static_cast<double>(trials), chance),
        static_cast<double>(successes));
  };
  const double all = binomial(n, row1);
  for (int64_t x = lowest; x <= highest; ++x) {
    h.probability.push_back(binomial(column1, x) * binomial(n - column1, row1 - x) / all);
  }
  return h;
}

// The row and column totals of a table, kept up to date while it is pooled so that each
// pooling step costs rows + columns rather than rows x columns.
struct Margins {
  explicit Margins(const CountTable& t) : rows(t.rows(), 0), columns(t.columns(), 0) {
    for (int r = 0; r < t.rows(); ++r) {
      for (int c = 0; c < t.columns(); ++c) {
        rows[r] += t.at(r, c);
        columns[c] += t.at(r, c);
        total += t.at(r, c);
      }
    }
  }

  double Expected(int r, int c) const {
    if (total == 0) return 0;
    return static_cast<double>(rows[r]) * static_cast<double>(columns[c]) /
           static_cast<double>(total);
  }

  // The cell with the smallest expected count, the first in column order on ties, among rows
  // [0, free) and, unless `let_be`, rows [free, end) too (where let be, their expected counts
  // are taken as kSmallExpected). Within a column the expected count grows with the row
  // total, so each column's smallest is at a smallest row total of either range; along that
  // row it grows with the column total, so only a column with a smaller total than every one
  // before it can hold a smaller one.
  void Smallest(size_t free, bool let_be, int* row, int* column, double* expected) const {
    const auto least_of = [this](size_t first, size_t last) {
      return static_cast<int>(std::min_element(rows.begin() + static_cast<std::ptrdiff_t>(first),
                                               rows.begin() + static_cast<std::ptrdiff_t>(last)) -
                              rows.begin());
    };
    const auto seen = [&](int r, int c) {
      return static_cast<size_t>(r) >= free && let_be ? kSmallExpected : Expected(r, c);
    };
    const int fewest = least_of(0, free);
    const int fewest_fixed = free < rows.size() ? least_of(free, rows.size()) : -1;
    const auto least_in = [&](int c) {
      return fewest_fixed < 0 ? seen(fewest, c) : std::min(seen(fewest, c), seen(fewest_fixed, c));
    };
    *column = 0;
    *expected = least_in(0);
    int64_t least_column = columns[0];
    for (int c = 1; c < static_cast<int>(columns.size()); ++c) {
      if (columns[c] >= least_column) continue;
      least_column = columns[c];
      const double e = least_in(c);
      if (e < *expected) {
        *expected = e;
        *column = c;
      }
    }
    *row = 0;
    while (seen(*row, *column) != *expected) ++*row;
  }

  std::vector<int64_t> rows;
  std::vector<int64_t> columns;
  int64_t total = 0;
};

// The line other than `keep`, among the first `lines`, with the smallest total, the first on ties.
int SmallestOther(const std::vector<int64_t>& totals, int keep, size_t lines) {
  int partner = -1;
  for (int other = 0; other < static_cast<int>(lines); ++other) {
    if (other != keep && (partner < 0 || totals[other] < totals[partner])) partner = other;
  }
  return partner;
}

void Pool(std::vector<int64_t>* totals, int from, int into) {
  (*totals)[into] += (*totals)[from];
  totals->erase(totals->begin() + from);
}

int NonZeroRows(const CountTable& t) {
  int rows = 0;
  for (int r = 0; r < t.rows(); ++r) rows += t.RowTotal(r) != 0;
  return rows;
}

int NonZeroColumns(const CountTable& t) {
  int columns = 0;
  for (int c = 0; c < t.columns(); ++c) columns += t.ColumnTotal(c) != 0;
  return columns;
}

TableTest Pearson(const CountTable& table) {
  TableTest test;
  test.method = Method::kChiSquare;
  test.df = (table.rows() - 1) * (table.columns() - 1);
  test.statistic = PearsonChiSquare(table);
  test.p = ChiSquareUpper(test.statistic, test.df);
  return test;
}

TableTest FisherOrPearson(const CountTable& table, int fisher_df) {
  if (!table.AnyExpectedSmall()) return Pearson(table);
  // With one non-empty row or column Fisher's p is 1 on no degree of freedom.
  if (fisher_df <= 0)
    return TableTest{.method = Method::kFisher, .statistic = 0, .df = 0, .p = 1, .far_tail = false};
  return FisherAsChiSquare(FisherExactP(table), fisher_df);
}

}  // namespace

CountTable::CountTable(int rows, int columns, std::initializer_list<int64_t> cells)
    : rows_(rows), columns_(columns), cells_(cells) {
  assert(cells_.size() == Size(rows, columns));
}

int64_t CountTable::RowTotal(int r) const {
  int64_t total = 0;
  for (int c = 0; c < columns_; ++c) total += at(r, c);
  return total;
}

int64_t CountTable::ColumnTotal(int c) const {
  int64_t total = 0;
  for (int r = 0; r < rows_; ++r) total += at(r, c);
  return total;
}

int64_t CountTable::Total() const {
  int64_t total = 0;
  for (int64_t cell : cells_) total += cell;
  return total;
}

double CountTable::FirstCellExcess() const {
  const int64_t n = Total();
  if (n == 0) return 0;
  return static_cast<double>(at(0, 0)) -
         static_cast<double>(RowTotal(0)) * static_cast<double>(ColumnTotal(0)) / static_cast<double>(n);
}

double CountTable::LeastExpected() const {
  if (rows_ == 0 || columns_ == 0) return 0;
  const Margins margins(*this);
  int row = 0;
  int column = 0;
  double smallest = 0;
  margins.Smallest(margins.rows.size(), false, &row, &column, &smallest);
  return smallest;
}

bool CountTable::AnyExpectedSmall() const {
  return rows_ > 0 && columns_ > 0 && LeastExpected() < kSmallExpected;
}

void CountTable::PoolColumns(int from, int into) {
  // In place, row by row: each row's cells move left past the ones removed before it.
  size_t kept = 0;
  for (int r = 0; r < rows_; ++r) {
    at(r, into) += at(r, from);
    const size_t first = Size(r, columns_);
    for (int c = 0; c < columns_; ++c) {
      if (c != from) cells_[kept++] = cells_[first + static_cast<size_t>(c)];
    }
  }
  cells_.resize(kept);
  --columns_;
}

void CountTable::PoolRows(int from, int into) {
  for (int c = 0; c < columns_; ++c) at(into, c) += at(from, c);
  cells_.erase(cells_.begin() + static_cast<std::ptrdiff_t>(Size(from, columns_)),
               cells_.begin() + static_cast<std::ptrdiff_t>(Size(from + 1, columns_)));
  --rows_;
}

CountTable CountTable::WithoutEmptyLines() const {
  std::vector<int> rows;
  std::vector<int> columns;
  for (int r = 0; r < rows_; ++r) {
    if (RowTotal(r) != 0) rows.push_back(r);
  }
  for (int c = 0; c < columns_; ++c) {
    if (ColumnTotal(c) != 0) columns.push_back(c);
  }
  CountTable kept(static_cast<int>(rows.size()), static_cast<int>(columns.size()));
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < columns.size(); ++c) {
      kept.at(static_cast<int>(r), static_cast<int>(c)) = at(rows[r], columns[c]);
    }
  }
  return kept;
}

double PearsonChiSquare(const CountTable& table) {
  const Margins margins(table);
  double statistic = 0;
  for (int r = 0; r < table.rows(); ++r) {
    for (int c = 0; c < table.columns(); ++c) {
      const double expected = margins.Expected(r, c);
      const double deviation = static_cast<double>(table.at(r, c)) - expected;
      statistic += deviation * deviation / expected;
    }
  }
  return statistic;
}

double FisherExactP(const CountTable& table) {
  assert(table.rows() == 2 && table.columns() == 2);
  if (table.RowTotal(0) == 0 || table.RowTotal(1) == 0 || table.ColumnTotal(0) == 0 ||
      table.ColumnTotal(1) == 0) {
    return 1.0;
  }
  const Hypergeometric h = TablesWithMargins(table);
  const double bound = h.probability[h.observed] * (1 + kTieTolerance);
  double p = 0;
  for (double probability : h.probability) {
    if (probability <= bound) p += probability;
  }
  return std::min(p, 1.0);
}

CountTable PoolCategories(CountTable t) {
  assert(t.rows() >= 2 && t.columns() >= 2);
  // A table of no animals is pooled down to a 2x2 of zeros, every expected count being 0: at
  // once, rather than a line at a time (the tables of a release no animal had are that).
  if (t.Total() == 0) return CountTable(2, 2);
  return PoolByExpected(std::move(t),
                        PoolingRules{.fixed_rows = 0, .least_free_rows = 2, .least_columns = 2});
}

CountTable PoolByExpected(CountTable t, const PoolingRules& rules) {
  Margins margins(t);
  assert(margins.total > 0 && t.rows() > rules.fixed_rows);
  for (;;) {
    const int free = t.rows() - rules.fixed_rows;
    const bool columns_at_least = t.columns() <= rules.least_columns;
    const bool rows_at_least = free <= rules.least_free_rows;
    int row = 0;
    int column = 0;
    double smallest = 0;
    margins.Smallest(static_cast<size_t>(free), columns_at_least, &row, &column, &smallest);
    if (smallest >= kSmallExpected) break;
    bool pool_columns = true;  // a small cell in a fixed row: only its column can be pooled
    if (row < free) {
      pool_columns = static_cast<double>(margins.rows[row]) / t.columns() >
                     static_cast<double>(margins.columns[column]) / t.rows();
      // Along the other dimension where the one called for is at its least; neither: stop.
      if (pool_columns ? columns_at_least : rows_at_least) {
        if (columns_at_least && rows_at_least) break;
        pool_columns = !pool_columns;
      }
    }
    if (pool_columns) {
      const int partner = SmallestOther(margins.columns, column, margins.columns.size());
      t.PoolColumns(partner, column);
      Pool(&margins.columns, partner, column);
    } else {
      const int partner = SmallestOther(margins.rows, row, static_cast<size_t>(free));
      t.PoolRows(partner, row);
      Pool(&margins.rows, partner, row);
    }
  }
  return t;
}

CountTable PoolTwoByC(CountTable t) {
  assert(t.rows() == 2);
  if (t.Total() == 0) return CountTable(2, 2);
  bool turned = false;
  while (t.columns() > 2 && t.AnyExpectedSmall()) {
    const int last = t.columns() - 1;
    t.PoolColumns(last, last - 1);
    if (t.ColumnTotal(0) < t.ColumnTotal(t.columns() - 1)) {
      for (int r = 0; r < 2; ++r) {
        for (int c = 0, d = t.columns() - 1; c < d; ++c, --d) std::swap(t.at(r, c), t.at(r, d));
      }
      turned = !turned;
    }
  }
  if (turned) {
    for (int r = 0; r < 2; ++r) {
      for (int c = 0, d = t.columns() - 1; c < d; ++c, --d) std::swap(t.at(r, c), t.at(r, d));
    }
  }
  return t;
}

TableTest FisherAsChiSquare(double p, int df) {
  TableTest test;
  test.method = Method::kFisher;
  test.df = df;
  test.p = p >= 1 - kOneMinus ? 1.0 : p;
  // Far in the tail 1 - p is 1 in double precision, and the reference computation's
  // quantile of 1 - p is infinite; the upper-tail quantile of p itself stays finite. A p
  // too small to hold at all is taken as the smallest that can be.
  test.far_tail = 1.0 - p == 1.0;
  if (test.p < std::numeric_limits<double>::min()) test.p = std::numeric_limits<double>::min();
  test.statistic = ChiSquareUpperQuantile(test.p, df);
  return test;
}

TableTest TestPooledTable(const CountTable& table) {
  const int rows = NonZeroRows(table);
  const int columns = NonZeroColumns(table);
  return FisherOrPearson(table, rows < 2 || columns < 2 ? 0 : (rows - 1) * (columns - 1));
}

TableTest TestTwoByTwo(const CountTable& table) {
  assert(table.rows() == 2 && table.columns() == 2);
  if (NonZeroRows(table) < 2 || NonZeroColumns(table) < 2) return TableTest{};
  return FisherOrPearson(table, 1);
}

TableTest TestTwoByC(const CountTable& table) {
  const CountTable kept = table.WithoutEmptyLines();
  if (kept.rows() < 2 || kept.columns() < 2) return TableTest{};
  // PoolTwoByC leaves more than 2 columns only when no expected count is small.
  assert(!kept.AnyExpectedSmall() || (kept.rows() == 2 && kept.columns() == 2));
  return FisherOrPearson(kept, 1);
}

}  // namespace haplovex::gof

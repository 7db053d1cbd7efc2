// The counts the goodness-of-fit tests of one group are computed from, filled record by record
// as the records are read (fit_counting.h). Each reading thread keeps its own FitTables and the
// threads' tables are merged at the end, so counting touches nothing shared.
//
// One kind of count is kept: for each release at period i (1 <= i <= periods-1) in stratum l,
// the basic table T(i, l): rows = how the animal came to be there (row 0: first caught at i;
// row r: last caught before i in stratum r), columns = where it was caught next (column
// (d-1)*strata + s-1: at period i+d in stratum s; last column: never caught again). A record
// that is caught again adds its animals whatever their fate; one never caught again after i
// adds them only when they were released (positive count). The multi-state m-array of
// consecutive captures (marray.h) is the sum of each table's rows, and the single-state tests
// (strata pooled) sum over strata: one count a capture keeps them all.
//
// Example: T(2, 1) of the geese data (3 strata, 6 periods; columns period 3 stratum 1 ...
// period 6 stratum 3, never):
//       390 124 0 122 64 3 46 35 3 18 9 0 920     first caught at 2
//        75   3 0  21  4 0  5  2 0  1 0 0 128     last caught before 2 in stratum 1
//        19   6 0   4  3 0  0  2 0  1 3 0  47     ... in stratum 2
//         7   1 0   2  0 0  0  3 0  1 1 0   9     ... in stratum 3
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "tabulate/marray.h"

namespace haplovex::gof {

class FitTables {
 public:
  // `strata` is the number of strata the user declared, not the largest code seen: the tests
  // are laid out over every declared stratum.
  // REQUIRES: periods >= 1, strata >= 1, BytesFor(periods, strata) affordable.
  FitTables(int periods, int strata);

  // Counts one record. sites[p] is 0 when the animal was not caught at period p+1, else its
  // stratum 1..strata. A negative count stands for that many animals removed (not released)
  // at their last capture. A record with count 0 or no capture adds nothing.
  // REQUIRES: sites.size() == periods, every sites[p] <= strata.
  void Add(std::span<const uint8_t> sites, int64_t count);

  // Where a record counts, the same in every group's tables: the one place the tables are
  // counted, for every way of reading the records (the record path's sink, fit_counting.h, and
  // Add). The row of a release at period i + 1 (i from 0) in stratum l after a capture in
  // stratum `before` (0: none) holds "never caught again" first, then the next captures
  // (column + 1); at the last period a row is a spare cell of its own. The spare cell takes
  // what no table reads (animals not released). One count a capture, with no branch.
  struct Layout {
    const size_t* row;  // as row_
    size_t spare;
    size_t strata;
    [[gnu::always_inline]] size_t Row(size_t i, size_t l, size_t before) const {
      return row[((i + 1) * strata + l - 1) * (strata + 1) + before];
    }
    // The animals of a record whose last capture is at period i + 1 in stratum l, after one
    // in `before`: never caught again where they were released there.
    [[gnu::always_inline]] size_t Last(size_t i, size_t l, size_t before, bool released) const {
      return released ? Row(i, l, before) : spare;
    }
    // The pair of captures at periods i + 1 and j + 1 (i < j) in strata l and s, after one in
    // `before`.
    [[gnu::always_inline]] size_t Pair(size_t i, size_t l, size_t before, size_t j, size_t s) const {
      return Row(i, l, before) + (j - i - 1) * strata + s;
    }
    // A record of `animals`, its captures handed one at a time in period order (Next(period,
    // stratum), from 1): each pair of consecutive captures, then the last.
    template <typename Captures>
    [[gnu::always_inline]] void Record(uint32_t* counts, Captures captures, uint32_t animals,
                                       bool released) const {
      // Set by the first Next; the cross compilers' g++ cannot always see that.
      int32_t period = 0;
      int32_t stratum = 0;
      if (!captures.Next(period, stratum)) return;
      size_t before = 0;
      int32_t next_period;
      int32_t next_stratum;
      while (captures.Next(next_period, next_stratum)) {
        counts[Pair(static_cast<size_t>(period - 1), static_cast<size_t>(stratum), before,
                    static_cast<size_t>(next_period - 1), static_cast<size_t>(next_stratum))] += animals;
        before = static_cast<size_t>(stratum);
        period = next_period;
        stratum = next_stratum;
      }
      counts[Last(static_cast<size_t>(period - 1), static_cast<size_t>(stratum), before, released)] += animals;
    }
  };
  Layout layout() const { return Layout{row_.data(), spare_, static_cast<size_t>(strata_)}; }
  uint32_t* counts() { return cells_.data(); }

  // Adds the counts of `other` (another thread's tables of the same group).
  // REQUIRES: other has the same periods and strata.
  void Merge(const FitTables& other);

  // The same layout and the same counts in every table; the spare cells are not compared
  // (what lands there depends on how the records were counted).
  bool operator==(const FitTables& other) const;

  // Memory the tables of `periods` x `strata` take, their counts and the places of their rows
  // (saturating at the largest uint64_t), so that a run can refuse the tests before allocating
  // them.
  static uint64_t BytesFor(int periods, int strata);

  int periods() const { return periods_; }
  int strata() const { return strata_; }
  // The largest stratum a counted record was caught in and that a table holds (0 when none):
  // what the reference computation would take as the number of strata, but for a stratum seen
  // only in lone captures at the last period, which no test reads.
  int largest_stratum_seen() const;

  // The multi-state m-array, summed from the tables.
  MultiStateMArray marray() const;

  // T(i, l): (strata + 1) rows x ((periods - i) * strata + 1) columns, as described above.
  // REQUIRES: 1 <= i <= periods-1 (at 1 only row 0 can hold animals), 1 <= l <= strata, row and
  // column in range.
  int Columns(int i) const { return (periods_ - i) * strata_ + 1; }
  int64_t T(int i, int l, int row, int column) const {
    // Stored with "never" first: a record's last capture and its captures soon after share a
    // cache line more often than not.
    const int stored = column == Columns(i) - 1 ? 0 : column + 1;
    return cells_[Offset(i, l) + static_cast<size_t>(row) * static_cast<size_t>(Columns(i)) +
                  static_cast<size_t>(stored)];
  }

 private:
  size_t Offset(int i, int l) const {
    return first_cell_[static_cast<size_t>(i)] +
           static_cast<size_t>(l - 1) * static_cast<size_t>(strata_ + 1) * static_cast<size_t>(Columns(i));
  }

  int periods_;
  int strata_;
  std::vector<size_t> first_cell_;  // by period i: where T(i, 1) starts in cells_
  // By period and stratum (period * strata + stratum - 1), and the stratum of the capture
  // before (0: none): where the row of a release there starts; the spare cells for the last
  // period.
  std::vector<size_t> row_;
  size_t spare_ = 0;  // the first spare cell, after the tables
  // Counts of one part stay below 2^32: every cell counts some of the animals read, and they
  // are refused past 2^31.
  std::vector<uint32_t> cells_;
};

}  // namespace haplovex::gof

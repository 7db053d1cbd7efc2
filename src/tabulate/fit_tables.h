// The counts the goodness-of-fit tests of one group are computed from, filled record by record
// as the records are read. Each reading thread keeps its own FitTables and the threads' tables
// are merged at the end, so Add touches nothing shared.
//
// Two kinds of counts are kept:
//  * for each release at period i (2 <= i <= periods-1) in stratum l, the basic table T(i, l):
//    rows = how the animal came to be there (row 0: first caught at i; row r: last caught
//    before i in stratum r), columns = where it was caught next (column (d-1)*strata + s-1:
//    at period i+d in stratum s; last column: never caught again). A record that is caught
//    again adds its animals whatever their fate; one never caught again after i adds them only
//    when they were released (positive count);
//  * the multi-state m-array of consecutive captures (marray.h).
// The single-state tests (strata pooled) are derived from both by summing over strata.
//
// Example: T(2, 1) of the geese data (3 strata, 6 periods; columns period 3 stratum 1 ...
// period 6 stratum 3, never):
//       390 124 0 122 64 3 46 35 3 18 9 0 920     first caught at 2
//        75   3 0  21  4 0  5  2 0  1 0 0 128     last caught before 2 in stratum 1
//        19   6 0   4  3 0  0  2 0  1 3 0  47     ... in stratum 2
//         7   1 0   2  0 0  0  3 0  1 1 0   9     ... in stratum 3
#pragma once

#include <algorithm>
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
  // at their last capture. A record with count 0 or no capture adds nothing. Allocates
  // nothing; the work beyond finding the captures is a few cells per capture.
  // REQUIRES: sites.size() == periods, every sites[p] <= strata.
  void Add(std::span<const uint8_t> sites, int64_t count);

  // The same counts from a record's captures one at a time, as the record path finds them:
  // a Feed per record, Capture for each capture in period order, then Finish. `animals` > 0;
  // `released`: the animals were released at their last capture.
  struct Feed {
    int period = 0;   // the capture before the one given next; 0: none yet
    int stratum = 0;
    int before = 0;   // the stratum of the capture before that one; 0: none
  };
  void Capture(Feed& feed, int period, int stratum, int64_t animals) {
    if (feed.period > 0) {
      marray_.AddPair(feed.period, feed.stratum, period, stratum, animals);
      if (feed.period >= 2) {
        cells_[Offset(feed.period, feed.stratum) + static_cast<size_t>(feed.before) * Columns(feed.period) +
               static_cast<size_t>(period - feed.period - 1) * strata_ + static_cast<size_t>(stratum - 1)] +=
            animals;
      }
      feed.before = feed.stratum;
    }
    largest_seen_ = std::max(largest_seen_, stratum);
    feed.period = period;
    feed.stratum = stratum;
  }
  void Finish(const Feed& feed, int64_t animals, bool released) {
    if (feed.period == 0 || !released || feed.period >= periods_) return;
    marray_.AddLast(feed.period, feed.stratum, animals);
    if (feed.period >= 2) {
      cells_[Offset(feed.period, feed.stratum) + static_cast<size_t>(feed.before) * Columns(feed.period) +
             static_cast<size_t>(Columns(feed.period) - 1)] += animals;
    }
  }

  // Adds the counts of `other` (another thread's tables of the same group).
  // REQUIRES: other has the same periods and strata.
  void Merge(const FitTables& other);

  bool operator==(const FitTables&) const = default;

  // Memory the counts of `periods` x `strata` take (saturating at the largest uint64_t), so
  // that a run can refuse the tests before allocating them.
  static uint64_t BytesFor(int periods, int strata);

  int periods() const { return periods_; }
  int strata() const { return strata_; }
  // The largest stratum any counted record was caught in (0 before any): what the reference
  // computation would take as the number of strata.
  int largest_stratum_seen() const { return largest_seen_; }

  const MultiStateMArray& marray() const { return marray_; }

  // T(i, l): (strata + 1) rows x ((periods - i) * strata + 1) columns, as described above.
  // REQUIRES: 2 <= i <= periods-1, 1 <= l <= strata, row and column in range.
  int Columns(int i) const { return (periods_ - i) * strata_ + 1; }
  int64_t T(int i, int l, int row, int column) const {
    return cells_[Offset(i, l) + static_cast<size_t>(row) * Columns(i) + column];
  }

 private:
  size_t Offset(int i, int l) const {
    return first_cell_[i] + static_cast<size_t>(l - 1) * (strata_ + 1) * Columns(i);
  }

  int periods_;
  int strata_;
  int largest_seen_ = 0;
  std::vector<size_t> first_cell_;  // by period i: where T(i, 1) starts in cells_
  std::vector<int64_t> cells_;
  MultiStateMArray marray_;
};

}  // namespace haplovex::gof

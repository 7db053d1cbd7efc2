// The multi-state m-array of one group: for each release (period t, stratum s), the animals
// next caught at period t2 > t in stratum s2, and the animals released. Filled pair by pair of
// consecutive captures; the tests of the mixtures (M.ITEC, M.LTEC) and of trap-dependence read
// it.
#pragma once

#include <cstdint>
#include <vector>

namespace haplovex::gof {

class MultiStateMArray {
 public:
  MultiStateMArray() = default;
  MultiStateMArray(int periods, int strata)
      : periods_(periods),
        strata_(strata),
        next_(static_cast<size_t>(periods) * strata * periods * strata, 0),
        released_(static_cast<size_t>(periods) * strata, 0) {}

  int periods() const { return periods_; }
  int strata() const { return strata_; }

  // Periods and strata are 1-based, as the tests name them.
  int64_t next(int t, int s, int t2, int s2) const { return next_[Index(t, s, t2, s2)]; }
  int64_t released(int t, int s) const { return released_[Cell(t, s)]; }
  int64_t never(int t, int s) const {
    int64_t seen = 0;
    for (int t2 = t + 1; t2 <= periods_; ++t2) {
      for (int s2 = 1; s2 <= strata_; ++s2) seen += next(t, s, t2, s2);
    }
    return released(t, s) - seen;
  }

  // A capture at (t, s) followed by the next at (t2, s2), of `animals` animals (>= 0).
  void AddPair(int t, int s, int t2, int s2, int64_t animals) {
    next_[Index(t, s, t2, s2)] += animals;
    released_[Cell(t, s)] += animals;
  }
  // A last capture at (t, s) of animals released (>= 0) and never seen again.
  void AddLast(int t, int s, int64_t animals) { released_[Cell(t, s)] += animals; }

  bool operator==(const MultiStateMArray&) const = default;

 private:
  size_t Cell(int t, int s) const {
    return static_cast<size_t>(t - 1) * static_cast<size_t>(strata_) + static_cast<size_t>(s - 1);
  }
  size_t Index(int t, int s, int t2, int s2) const {
    return Cell(t, s) * static_cast<size_t>(periods_) * static_cast<size_t>(strata_) + Cell(t2, s2);
  }

  int periods_ = 0;
  int strata_ = 0;
  std::vector<int64_t> next_;
  std::vector<int64_t> released_;
};

}  // namespace haplovex::gof

// The release cohorts of a converter's tables, in the order of their cohort statements in
// HAPLOVEX.OUT: by group, age class, release period, previous stratum (the memory model's
// cohorts, released after a capture at the period before) and stratum, outermost first. One
// order, read from the tables' named axes, serves the model writers and the report.
//
//   movement-only (n has no previous stratum)   g, a, i = 1 .. T-1, r
//   memory (n by previous stratum q)             g, a, i = 2 .. T-1, q, r
#pragma once

#include <cstddef>
#include <cstdint>

#include "runctl/settings.h"
#include "tabulate/table_layout.h"
#include "tabulate/tabulation.h"

namespace haplovex {

// A release cohort, as a cohort statement of HAPLOVEX.OUT has it.
struct ReleaseCohort {
  int32_t group = 1;
  int32_t age = 1;
  int32_t period = 1;
  int32_t previous = 0;  // the stratum caught in at the period before (memory cohorts); 0: none
  int32_t stratum = 1;
  int64_t released = 0;

  bool operator==(const ReleaseCohort&) const = default;
};

// Whether a table laid out by `layout` counts by the stratum of the capture before.
template <size_t N>
bool ByPrevious(const TableLayout<N>& layout) {
  return layout.stride(Axis::kPrevious) != 0;
}

// The first release period of the cohorts of tables whose releases n are laid out by `n`: a
// release after a capture at the period before is at period 2 at the earliest.
template <size_t N>
int32_t FirstRelease(const TableLayout<N>& n) {
  return ByPrevious(n) ? 2 : 1;
}

// Where the counts of the release cohorts stand in a table laid out along named axes: the
// table's strides along the axes a cohort is placed by, found once (0 along an axis the table
// lacks, so that any position there adds nothing).
struct CohortStrides {
  template <size_t N>
  explicit CohortStrides(const TableLayout<N>& layout)
      : period(layout.stride(Axis::kPeriod)),
        pair(layout.stride(Axis::kPair)),
        previous(layout.stride(Axis::kPrevious)),
        stratum(layout.stride(Axis::kStratum)),
        next(layout.stride(Axis::kNext)),
        age(layout.stride(Axis::kAge)),
        group(layout.stride(Axis::kGroup)) {}

  // The offset of the count of `c` (in bt: at the first pair and next stratum).
  int64_t At(const ReleaseCohort& c) const {
    return (c.period - 1) * period + (c.previous - 1) * previous + (c.stratum - 1) * stratum +
           (c.age - 1) * age + (c.group - 1) * group;
  }

  int64_t period, pair, previous, stratum, next, age, group;
};

// Calls visit(cohort) for each release cohort of `tables` (CountTables) in statement order,
// `released` filled from n.
template <typename Tables, typename Visit>
void ForEachCohort(const ConversionSettings& s, const Tables& tables, Visit visit) {
  const auto& layout = tables.n.layout();
  const CohortStrides n(layout);
  const int32_t previous = ByPrevious(layout) ? s.nstrata : 0;
  ReleaseCohort c;
  for (c.group = 1; c.group <= s.ngroups; ++c.group) {
    for (c.age = 1; c.age <= s.nage; ++c.age) {
      for (c.period = FirstRelease(layout); c.period < s.nyrs; ++c.period) {
        for (c.previous = previous > 0 ? 1 : 0; c.previous <= previous; ++c.previous) {
          for (c.stratum = 1; c.stratum <= s.nstrata; ++c.stratum) {
            c.released = tables.n.counts().at(static_cast<size_t>(n.At(c)));
            visit(c);
          }
        }
      }
    }
  }
}

// The next captures of one release cohort in bt (whose strides are `strides`): (ij, next) gives
// the animals next caught in stratum `next` at the second period of the pair ij (PairIndex).
class NextCaptures {
 public:
  NextCaptures(const CountTable& bt, const CohortStrides& strides, const ReleaseCohort& c)
      : bt_(bt), pair_(strides.pair), next_(strides.next), base_(strides.At(c) - strides.pair - strides.next) {}
  int32_t operator()(int64_t ij, int32_t next) const {
    return bt_.at(static_cast<size_t>(base_ + ij * pair_ + next * next_));
  }

 private:
  const CountTable& bt_;
  int64_t pair_;
  int64_t next_;
  int64_t base_;
};

}  // namespace haplovex

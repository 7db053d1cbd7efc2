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

// The offset of the count of cohort `c` in its releases n, laid out by `layout`.
template <size_t N>
int64_t CohortOffset(const TableLayout<N>& layout, const ReleaseCohort& c) {
  return layout.Part(Axis::kPeriod, c.period) + layout.Part(Axis::kPrevious, c.previous) +
         layout.Part(Axis::kStratum, c.stratum) + layout.Part(Axis::kAge, c.age) +
         layout.Part(Axis::kGroup, c.group);
}

// Calls visit(cohort) for each release cohort of `tables` (CountTables) in statement order,
// `released` filled from n.
template <typename Tables, typename Visit>
void ForEachCohort(const ConversionSettings& s, const Tables& tables, Visit visit) {
  const auto& layout = tables.n.layout();
  const int32_t previous = ByPrevious(layout) ? s.nstrata : 0;
  ReleaseCohort c;
  for (c.group = 1; c.group <= s.ngroups; ++c.group) {
    for (c.age = 1; c.age <= s.nage; ++c.age) {
      for (c.period = FirstRelease(layout); c.period < s.nyrs; ++c.period) {
        for (c.previous = previous > 0 ? 1 : 0; c.previous <= previous; ++c.previous) {
          for (c.stratum = 1; c.stratum <= s.nstrata; ++c.stratum) {
            c.released = tables.n.counts().at(static_cast<size_t>(CohortOffset(layout, c)));
            visit(c);
          }
        }
      }
    }
  }
}

// The animals of cohort `c` next caught in stratum `next` at the second period of the pair
// `ij` (PairIndex), from bt.
template <typename Tables>
int32_t NextCaught(const Tables& tables, const ReleaseCohort& c, int64_t ij, int32_t next) {
  const auto& layout = tables.bt.layout();
  const int64_t at = layout.Part(Axis::kPair, ij) + layout.Part(Axis::kPrevious, c.previous) +
                     layout.Part(Axis::kStratum, c.stratum) + layout.Part(Axis::kNext, next) +
                     layout.Part(Axis::kAge, c.age) + layout.Part(Axis::kGroup, c.group);
  return tables.bt.counts().at(static_cast<size_t>(at));
}

}  // namespace haplovex

#include "tabulate/cohort_tables.h"

#include <span>

namespace haplovex {

CohortTables::CohortTables(const ConversionSettings& s)
    : Tabulation(s, {s.nyrs, s.nstrata, s.nage, s.ngroups},
                 {PairCount(s.nyrs), s.nstrata, s.nstrata, s.nage, s.ngroups},
                 {s.nstrata, s.nstrata, s.nage, s.ngroups}, s.nage) {}

int32_t CohortTables::n(int32_t i, int32_t s, int32_t a, int32_t g) const {
  return n_.at(static_cast<size_t>(
      (((int64_t{g} - 1) * s_.nage + (a - 1)) * s_.nstrata + (s - 1)) * s_.nyrs + (i - 1)));
}

int32_t CohortTables::bt(int64_t ij, int32_t s, int32_t s2, int32_t a, int32_t g) const {
  return bt_.at(static_cast<size_t>(
      ((((int64_t{g} - 1) * s_.nage + (a - 1)) * s_.nstrata + (s2 - 1)) * s_.nstrata + (s - 1)) *
          npairs_ +
      (ij - 1)));
}

int32_t CohortTables::btot(int32_t s2, int32_t s, int32_t a, int32_t g) const {
  return btot_.at(static_cast<size_t>(
      (((int64_t{g} - 1) * s_.nage + (a - 1)) * s_.nstrata + (s - 1)) * s_.nstrata + (s2 - 1)));
}

void CohortTables::Count(const DecodedRecord& rec, int64_t record) {
  const std::span<const Capture> captures = rec.Captures();
  if (captures.empty()) return;
  const int64_t S = s_.nstrata;
  const int64_t group_base = (int64_t{rec.igrp} - 1) * s_.nage;
  const int32_t first = captures.front().period;
  const size_t last = captures.size() - 1;
  for (size_t k = 0; k <= last; ++k) {
    const Capture& at = captures[k];
    const int64_t age_base = group_base + (steps_.At(rec.iage, first, at.period) - 1);
    // Every capture is a release, but the last one of an animal not released.
    if (k < last || !NotReleasedAtLast(rec)) {
      n_.Add(static_cast<size_t>((age_base * S + (at.stratum - 1)) * s_.nyrs + (at.period - 1)),
             rec.freq, record);
    }
    // Each capture pairs with the next one only.
    if (k < last) {
      const Capture& next = captures[k + 1];
      const int64_t ij = PairIndex(at.period, next.period, s_.nyrs);
      bt_.Add(static_cast<size_t>(((age_base * S + (next.stratum - 1)) * S + (at.stratum - 1)) *
                                      npairs_ + (ij - 1)),
              rec.freq, record);
      btot_.Add(static_cast<size_t>((age_base * S + (at.stratum - 1)) * S + (next.stratum - 1)),
                rec.freq, record);
    }
  }
}

}  // namespace haplovex

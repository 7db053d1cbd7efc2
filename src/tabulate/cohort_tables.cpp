#include "tabulate/cohort_tables.h"

#include <span>

namespace haplovex {

CohortTables::CohortTables(const ConversionSettings& s)
    : Tabulation(s, {s.nyrs, s.nstrata, s.nage, s.ngroups},
                 {PairCount(s.nyrs), s.nstrata, s.nstrata, s.nage, s.ngroups},
                 {s.nstrata, s.nstrata, s.nage, s.ngroups}, s.nage),
      pair_stride_(static_cast<size_t>(s.nyrs) + 1),
      age_block_(static_cast<size_t>(npairs_) * static_cast<size_t>(s.nstrata) *
                 static_cast<size_t>(s.nstrata)),
      spare_(bt_.size()) {
  pair_at_.assign(pair_stride_ * pair_stride_, 0);
  for (int64_t i = 1; i < s.nyrs; ++i) {
    for (int64_t j = i + 1; j <= s.nyrs; ++j) {
      pair_at_[static_cast<size_t>(i) * pair_stride_ + static_cast<size_t>(j)] =
          static_cast<size_t>(PairIndex(i, j, s.nyrs) - 1);
    }
  }
  from_at_.assign(static_cast<size_t>(s.nstrata) + 1, 0);
  to_at_.assign(static_cast<size_t>(s.nstrata) + 1, 0);
  for (size_t k = 1; k <= static_cast<size_t>(s.nstrata); ++k) {
    from_at_[k] = (k - 1) * static_cast<size_t>(npairs_);
    to_at_[k] = (k - 1) * static_cast<size_t>(npairs_) * static_cast<size_t>(s.nstrata);
  }
}

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

bool CohortTables::Derive(const std::vector<PartTally>& tallies) {
  // bt is laid out (pair, from, to, age, group): a block is one (from, to, age, group).
  const int64_t S = s_.nstrata;
  const int64_t T = s_.nyrs;
  return DeriveFrom(
      tallies, S * S * s_.nage * s_.ngroups,
      [S, T](int64_t block) { return (block / (S * S) * S + block % S) * T; },
      [S](int64_t block) { return (block / (S * S) * S + block % S) * S + block / S % S; });
}

}  // namespace haplovex

#include "tabulate/cohort_tables.h"

#include <algorithm>
#include <span>

namespace haplovex {

CohortTables::CohortTables(const ConversionSettings& s)
    : Tabulation(s, {s.nyrs, s.nstrata, s.nage, s.ngroups},
                 {PairCount(s.nyrs), s.nstrata, s.nstrata, s.nage, s.ngroups},
                 {s.nstrata, s.nstrata, s.nage, s.ngroups}, s.nage),
      spare_(static_cast<ptrdiff_t>(bt_.size())) {
  // bt is laid out (pair, from, to, age, group), n (period, stratum, age, group). The pair
  // (i, j) stands at PairIndex(i, j) - 1 = first(i) + j.
  const int64_t S = s.nstrata;
  const int64_t T = s.nyrs;
  const int64_t pairs = npairs_;
  const auto keys = std::max(static_cast<size_t>(T + 1) * kKeyStride, kMaskKeys);
  from_key_.assign(keys, 0);
  to_key_.assign(keys, 0);
  last_key_.assign(keys, 0);
  for (int64_t p = 1; p <= T; ++p) {
    const int64_t first = PairStart(p, T);
    for (int64_t k = 1; k <= S; ++k) {
      const size_t at = CaptureKey(static_cast<int32_t>(p), static_cast<int32_t>(k));
      from_key_[at] = static_cast<int32_t>((k - 1) * pairs + first);
      to_key_[at] = static_cast<int32_t>((k - 1) * pairs * S + p);
      last_key_[at] = static_cast<int32_t>((k - 1) * T + (p - 1));
    }
  }
  bt_age_ = AgeOffsets(s.nage, s.nyrs, pairs * S * S);
  last_age_ = AgeOffsets(s.nage, s.nyrs, S * T);
  group_bt_ = static_cast<ptrdiff_t>(s.nage * pairs * S * S);
  group_last_ = static_cast<ptrdiff_t>(s.nage * S * T);
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

std::vector<int64_t> CohortTables::CapturesFromPairs(const std::vector<PartTally>& tallies) const {
  const int64_t S = s_.nstrata;
  const int64_t T = s_.nyrs;
  const auto pairs = static_cast<size_t>(npairs_);
  // The period each packed pair starts at.
  std::vector<int64_t> starts_at(pairs, 0);
  for (int64_t i = 1; i < T; ++i) {
    for (int64_t j = i + 1; j <= T; ++j) starts_at[static_cast<size_t>(PairIndex(i, j, T) - 1)] = i;
  }
  std::vector<int64_t> caught(static_cast<size_t>(T * S), 0);
  const size_t blocks = bt_.size() / pairs;  // (from, to, age, group), from fastest
  for (const PartTally& tally : tallies) {
    for (size_t block = 0; block < blocks; ++block) {
      const auto from = static_cast<int64_t>(block % static_cast<size_t>(S));
      for (size_t ij = 0; ij < pairs; ++ij) {
        caught[static_cast<size_t>((starts_at[ij] - 1) * S + from)] += tally.bt[block * pairs + ij];
      }
    }
    // The last captures, released there or lost, laid out as n: (period, stratum, age, group),
    // period fastest.
    for (size_t x = 0; x < n_.size(); ++x) {
      const auto period = static_cast<int64_t>(x % static_cast<size_t>(T));
      const auto stratum = static_cast<int64_t>(x / static_cast<size_t>(T) % static_cast<size_t>(S));
      caught[static_cast<size_t>(period * S + stratum)] += tally.last[x] + tally.lost[x];
    }
  }
  return caught;
}

}  // namespace haplovex

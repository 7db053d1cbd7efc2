#include "tabulate/cohort_tables.h"

#include <algorithm>
#include <span>

namespace haplovex {

CohortCounts CohortCountsFor(const ConversionSettings& s) {
  using enum Axis;
  const int64_t T = s.nyrs;
  const int64_t S = s.nstrata;
  const int64_t A = s.nage;
  const int64_t G = s.ngroups;
  return CohortCounts(TableLayout<4>({{{kPeriod, T}, {kStratum, S}, {kAge, A}, {kGroup, G}}}),
                      TableLayout<5>({{{kPair, PairCount(T)}, {kStratum, S}, {kNext, S}, {kAge, A}, {kGroup, G}}}),
                      TableLayout<4>({{{kNext, S}, {kStratum, S}, {kAge, A}, {kGroup, G}}}));
}

CohortTables::CohortTables(const ConversionSettings& s)
    : Tabulation(s, CohortCountsFor(s), s.nage), spare_(static_cast<ptrdiff_t>(bt.counts().size())) {
  // The pair (i, j) stands at PairIndex(i, j) - 1 = PairStart(i) + j along bt's pairs, which
  // run fastest.
  const TableLayout<4>& n_layout = n.layout();
  const TableLayout<5>& bt_layout = bt.layout();
  const int64_t T = s.nyrs;
  const auto keys = std::max(static_cast<size_t>(T + 1) * kKeyStride, kMaskKeys);
  from_key_.assign(keys, 0);
  to_key_.assign(keys, 0);
  last_key_.assign(keys, 0);
  for (int64_t p = 1; p <= T; ++p) {
    for (int64_t k = 1; k <= s.nstrata; ++k) {
      const size_t at = CaptureKey(static_cast<int32_t>(p), static_cast<int32_t>(k));
      from_key_[at] = static_cast<int32_t>(bt_layout.Part(Axis::kStratum, k) + PairStart(p, T));
      to_key_[at] = static_cast<int32_t>(bt_layout.Part(Axis::kNext, k) + p);
      last_key_[at] = static_cast<int32_t>(n_layout.Part(Axis::kStratum, k) + n_layout.Part(Axis::kPeriod, p));
    }
  }
  bt_age_ = AgeOffsets(s.nage, s.nyrs, bt_layout.stride(Axis::kAge));
  last_age_ = AgeOffsets(s.nage, s.nyrs, n_layout.stride(Axis::kAge));
  group_bt_ = static_cast<ptrdiff_t>(bt_layout.stride(Axis::kGroup));
  group_last_ = static_cast<ptrdiff_t>(n_layout.stride(Axis::kGroup));
}

void CohortTables::Count(const DecodedRecord& rec, int64_t record) {
  const std::span<const Capture> captures = rec.Captures();
  if (captures.empty()) return;
  const int32_t first = captures.front().period;
  const size_t last = captures.size() - 1;
  for (size_t k = 0; k <= last; ++k) {
    const Capture& at = captures[k];
    const int32_t age = steps_.At(rec.iage, first, at.period);
    // Every capture is a release, but the last one of an animal not released.
    if (k < last || !NotReleasedAtLast(rec)) {
      n.Add(n.layout().Offset(at.period, at.stratum, age, rec.igrp), rec.freq, record);
    }
    // Each capture pairs with the next one only.
    if (k < last) {
      const Capture& next = captures[k + 1];
      const int64_t ij = PairIndex(at.period, next.period, s_.nyrs);
      bt.Add(bt.layout().Offset(ij, at.stratum, next.stratum, age, rec.igrp), rec.freq, record);
      btot.Add(btot.layout().Offset(next.stratum, at.stratum, age, rec.igrp), rec.freq, record);
    }
  }
}

}  // namespace haplovex

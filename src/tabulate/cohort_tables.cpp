#include "tabulate/cohort_tables.h"

#include <algorithm>
#include <span>

namespace haplovex {

CohortCounts CohortCountsFor(const ConversionSettings& s) {
  return CohortCounts(LaidOut<4>(s, {Axis::kPeriod, Axis::kStratum, Axis::kAge, Axis::kGroup}),
                      LaidOut<5>(s, {Axis::kPair, Axis::kStratum, Axis::kNext, Axis::kAge, Axis::kGroup}),
                      LaidOut<4>(s, {Axis::kNext, Axis::kStratum, Axis::kAge, Axis::kGroup}));
}

// (A key past the periods is read for no capture: CaptureBits::Peek.)
CohortTables::CohortTables(const ConversionSettings& s)
    : Tabulation(s, CohortCountsFor(s), s.nage, std::max(static_cast<size_t>(s.nyrs + 1) * kKeyStride, kMaskKeys)),
      spare_(static_cast<ptrdiff_t>(bt.counts().size())) {}

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

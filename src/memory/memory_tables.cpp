#include "memory/memory_tables.h"

#include <limits>
#include <span>

namespace haplovex {

MemoryCounts MemoryCountsFor(const ConversionSettings& s) {
  return MemoryCounts(
      LaidOut<5>(s, {Axis::kPeriod, Axis::kPrevious, Axis::kStratum, Axis::kAge, Axis::kGroup}),
      LaidOut<6>(s, {Axis::kPair, Axis::kPrevious, Axis::kStratum, Axis::kNext, Axis::kAge, Axis::kGroup}),
      LaidOut<4>(s, {Axis::kNext, Axis::kStratum, Axis::kAge, Axis::kGroup}));
}

MemoryTables::MemoryTables(const ConversionSettings& s)
    : Tabulation(s, MemoryCountsFor(s), std::numeric_limits<int64_t>::max(), static_cast<size_t>(s.nyrs + 1) * kKeyStride),
      bt_before_(ByCapture(s, keys_.from.size(),
                           [&](int64_t, int64_t k) { return bt.layout().Part(Axis::kPrevious, k); })),
      n_before_(ByCapture(s, keys_.from.size(),
                          [&](int64_t, int64_t k) { return n.layout().Part(Axis::kPrevious, k); })),
      n_spare_(static_cast<ptrdiff_t>(n.counts().size())) {}

void MemoryTables::Count(const DecodedRecord& rec, int64_t record) {
  const std::span<const Capture> captures = rec.Captures();
  if (captures.size() < 2) return;
  const int32_t first = captures.front().period;
  const size_t last = captures.size() - 1;
  for (size_t k = 1; k <= last; ++k) {
    const Capture& before = captures[k - 1];
    const Capture& at = captures[k];
    // A memory release needs a capture in the period just before: the first capture never is
    // one, nor a capture after a period not caught.
    if (before.period != at.period - 1) continue;
    // An age position above the oldest class has been lowered to it by the age step of the
    // first capture, which comes before any memory release.
    const int32_t age = steps_.At(rec.iage, first, at.period);
    if (k < last || !NotReleasedAtLast(rec)) {
      n.Add(n.layout().Offset(at.period, before.stratum, at.stratum, age, rec.igrp), rec.freq, record);
    }
    if (k < last) {
      const Capture& next = captures[k + 1];
      bt.Add(bt.layout().Offset(PairIndex(at.period, next.period, s_.nyrs), before.stratum, at.stratum,
                                next.stratum, age, rec.igrp),
             rec.freq, record);
      btot.Add(btot.layout().Offset(next.stratum, at.stratum, age, rec.igrp), rec.freq, record);
    }
  }
}

}  // namespace haplovex

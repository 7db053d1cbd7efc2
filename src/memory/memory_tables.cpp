#include "memory/memory_tables.h"

#include <limits>
#include <span>

namespace haplovex {

MemoryCounts MemoryCountsFor(const ConversionSettings& s) {
  using enum Axis;
  const int64_t T = s.nyrs;
  const int64_t S = s.nstrata;
  const int64_t A = s.nage;
  const int64_t G = s.ngroups;
  return MemoryCounts(
      TableLayout<5>({{{kPeriod, T}, {kPrevious, S}, {kStratum, S}, {kAge, A}, {kGroup, G}}}),
      TableLayout<6>(
          {{{kPair, PairCount(T)}, {kPrevious, S}, {kStratum, S}, {kNext, S}, {kAge, A}, {kGroup, G}}}),
      TableLayout<4>({{{kNext, S}, {kStratum, S}, {kAge, A}, {kGroup, G}}}));
}

MemoryTables::MemoryTables(const ConversionSettings& s)
    : Tabulation(s, MemoryCountsFor(s), std::numeric_limits<int64_t>::max()),
      n_spare_(static_cast<ptrdiff_t>(n.counts().size())) {
  // The pair (i, j) stands at PairIndex(i, j) - 1 = PairStart(i) + j along bt's pairs, which
  // run fastest.
  const TableLayout<5>& n_layout = n.layout();
  const TableLayout<6>& bt_layout = bt.layout();
  const int64_t T = s.nyrs;
  const auto keys = static_cast<size_t>(T + 1) * kKeyStride;
  for (auto* table : {&bt_before_, &bt_at_, &bt_next_, &n_before_, &n_at_}) table->assign(keys, 0);
  for (int64_t p = 1; p <= T; ++p) {
    for (int64_t k = 1; k <= s.nstrata; ++k) {
      const size_t at = CaptureKey(static_cast<int32_t>(p), static_cast<int32_t>(k));
      bt_before_[at] = static_cast<int32_t>(bt_layout.Part(Axis::kPrevious, k));
      bt_at_[at] = static_cast<int32_t>(bt_layout.Part(Axis::kStratum, k) + PairStart(p, T));
      bt_next_[at] = static_cast<int32_t>(bt_layout.Part(Axis::kNext, k) + p);
      n_before_[at] = static_cast<int32_t>(n_layout.Part(Axis::kPrevious, k));
      n_at_[at] = static_cast<int32_t>(n_layout.Part(Axis::kStratum, k) + n_layout.Part(Axis::kPeriod, p));
    }
  }
  bt_age_ = AgeOffsets(s.nage, s.nyrs, bt_layout.stride(Axis::kAge));
  n_age_ = AgeOffsets(s.nage, s.nyrs, n_layout.stride(Axis::kAge));
  group_bt_ = static_cast<ptrdiff_t>(bt_layout.stride(Axis::kGroup));
  group_n_ = static_cast<ptrdiff_t>(n_layout.stride(Axis::kGroup));
}

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

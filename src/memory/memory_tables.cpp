#include "memory/memory_tables.h"

#include <limits>
#include <span>

namespace haplovex {

MemoryTables::MemoryTables(const ConversionSettings& s)
    : Tabulation(s, {s.nyrs, s.nstrata, s.nstrata, s.nage, s.ngroups},
                 {PairCount(s.nyrs), s.nstrata, s.nstrata, s.nstrata, s.nage, s.ngroups},
                 {s.nstrata, s.nstrata, s.nage, s.ngroups},
                 std::numeric_limits<int64_t>::max()),
      n_spare_(static_cast<ptrdiff_t>(n_.size())) {
  // bt is laid out (pair, previous q, stratum r, next t, age, group), n (period, q, r, age,
  // group). The pair (i, j) stands at PairIndex(i, j) - 1 = first(i) + j.
  const int64_t S = s.nstrata;
  const int64_t T = s.nyrs;
  const int64_t pairs = npairs_;
  const auto keys = static_cast<size_t>(T + 1) * kKeyStride;
  for (auto* table : {&bt_before_, &bt_at_, &bt_next_, &n_before_, &n_at_}) table->assign(keys, 0);
  for (int64_t p = 1; p <= T; ++p) {
    const int64_t first = PairStart(p, T);
    for (int64_t k = 1; k <= S; ++k) {
      const size_t at = CaptureKey(static_cast<int32_t>(p), static_cast<int32_t>(k));
      bt_before_[at] = static_cast<int32_t>((k - 1) * pairs);
      bt_at_[at] = static_cast<int32_t>((k - 1) * S * pairs + first);
      bt_next_[at] = static_cast<int32_t>((k - 1) * S * S * pairs + p);
      n_before_[at] = static_cast<int32_t>((k - 1) * T);
      n_at_[at] = static_cast<int32_t>((k - 1) * S * T + (p - 1));
    }
  }
  bt_age_ = AgeOffsets(s.nage, s.nyrs, S * S * S * pairs);
  n_age_ = AgeOffsets(s.nage, s.nyrs, S * S * T);
  group_bt_ = static_cast<ptrdiff_t>(s.nage * S * S * S * pairs);
  group_n_ = static_cast<ptrdiff_t>(s.nage * S * S * T);
}

int32_t MemoryTables::n(int32_t i, int32_t q, int32_t r, int32_t a, int32_t g) const {
  return n_.at(NOffset(i, q, r, a, g));
}

int32_t MemoryTables::bt(int64_t ij, int32_t q, int32_t r, int32_t t, int32_t a, int32_t g) const {
  return bt_.at(BtOffset(ij, q, r, t, a, g));
}

int32_t MemoryTables::btot(int32_t t, int32_t r, int32_t a, int32_t g) const {
  return btot_.at(BtotOffset(t, r, a, g));
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
      n_.Add(NOffset(at.period, before.stratum, at.stratum, age, rec.igrp), rec.freq, record);
    }
    if (k < last) {
      const Capture& next = captures[k + 1];
      bt_.Add(BtOffset(PairIndex(at.period, next.period, s_.nyrs), before.stratum, at.stratum,
                       next.stratum, age, rec.igrp),
              rec.freq, record);
      btot_.Add(BtotOffset(next.stratum, at.stratum, age, rec.igrp), rec.freq, record);
    }
  }
}

bool MemoryTables::Derive(const std::vector<PartTally>& tallies) {
  // bt is laid out (pair, previous q, stratum r, next t, age, group): a block is one
  // (q, r, t, age, group).
  const int64_t S = s_.nstrata;
  const int64_t T = s_.nyrs;
  return DeriveFrom(
      tallies, S * S * S * s_.nage * s_.ngroups,
      [S, T](int64_t block) {
        return ((block / (S * S * S) * S + block / S % S) * S + block % S) * T;
      },
      [S](int64_t block) {
        return (block / (S * S * S) * S + block / S % S) * S + block / (S * S) % S;
      });
}

}  // namespace haplovex

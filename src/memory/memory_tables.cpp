#include "memory/memory_tables.h"

#include <limits>
#include <span>

namespace haplovex {

MemoryTables::MemoryTables(const ConversionSettings& s)
    : Tabulation(s, {s.nyrs, s.nstrata, s.nstrata, s.nage, s.ngroups},
                 {PairCount(s.nyrs), s.nstrata, s.nstrata, s.nstrata, s.nage, s.ngroups},
                 {s.nstrata, s.nstrata, s.nage, s.ngroups},
                 std::numeric_limits<int64_t>::max()) {}

size_t MemoryTables::NOffset(int64_t i, int64_t q, int64_t r, int64_t a, int64_t g) const {
  const int64_t S = s_.nstrata;
  return static_cast<size_t>(((((g - 1) * s_.nage + (a - 1)) * S + (r - 1)) * S + (q - 1)) * s_.nyrs +
                             (i - 1));
}

size_t MemoryTables::BtOffset(int64_t ij, int64_t q, int64_t r, int64_t t, int64_t a,
                              int64_t g) const {
  const int64_t S = s_.nstrata;
  return static_cast<size_t>(
      (((((g - 1) * s_.nage + (a - 1)) * S + (t - 1)) * S + (r - 1)) * S + (q - 1)) * npairs_ +
      (ij - 1));
}

size_t MemoryTables::BtotOffset(int64_t t, int64_t r, int64_t a, int64_t g) const {
  const int64_t S = s_.nstrata;
  return static_cast<size_t>((((g - 1) * s_.nage + (a - 1)) * S + (r - 1)) * S + (t - 1));
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

}  // namespace haplovex

#include "memory/memory_tables.h"

#include <limits>
#include <span>

namespace haplovex {

MemoryTables::MemoryTables(const ConversionSettings& s)
    : Tabulation(s, {s.nyrs, s.nstrata, s.nstrata, s.nage, s.ngroups},
                 {PairCount(s.nyrs), s.nstrata, s.nstrata, s.nstrata, s.nage, s.ngroups},
                 {s.nstrata, s.nstrata, s.nage, s.ngroups},
                 std::numeric_limits<int64_t>::max()) {}

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
  const int64_t S = s_.nstrata;
  const int64_t T = s_.nyrs;
  std::vector<uint64_t> n(n_.size(), 0);
  std::vector<uint64_t> btot(btot_.size(), 0);
  for (const PartTally& tally : tallies) {
    for (size_t x = 0; x < n.size(); ++x) n[x] += tally.last[x];
  }
  int32_t* bt = bt_.data();
  // bt is laid out (pair, previous q, stratum r, next t, age, group), pairs fastest: each run
  // of pairs belongs to one (q, r, t, age, group); pair ij of release period i adds to
  // n(i, q, r, age, group).
  for (int64_t block = 0; block < S * S * S * s_.nage * s_.ngroups; ++block) {
    const int64_t q = block % S;
    const int64_t r = block / S % S;
    const int64_t t = block / (S * S) % S;
    const int64_t age_group = block / (S * S * S);
    uint64_t moved = 0;
    int64_t ij = 0;
    for (int64_t i = 1; i < T; ++i) {
      uint64_t released = 0;
      for (int64_t j = i + 1; j <= T; ++j, ++ij) {
        const size_t x = static_cast<size_t>(block * npairs_ + ij);
        uint64_t count = 0;
        for (const PartTally& tally : tallies) count += tally.bt[x];
        if (count > static_cast<uint64_t>(kMaxCount)) return false;
        bt[x] = static_cast<int32_t>(count);
        released += count;
      }
      n[static_cast<size_t>(((age_group * S + r) * S + q) * T + (i - 1))] += released;
      moved += released;
    }
    btot[static_cast<size_t>((age_group * S + r) * S + t)] += moved;
  }
  auto fill = [](CountTable& table, const std::vector<uint64_t>& counts) {
    for (uint64_t count : counts) {
      if (count > static_cast<uint64_t>(kMaxCount)) return false;
    }
    int32_t* to = table.data();
    for (size_t x = 0; x < counts.size(); ++x) to[x] = static_cast<int32_t>(counts[x]);
    return true;
  };
  return fill(n_, n) && fill(btot_, btot);
}

}  // namespace haplovex

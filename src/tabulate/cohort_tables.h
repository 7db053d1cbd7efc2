// The movement-only converter's cohort tables: releases and first recaptures, counted from
// every record once, each animal weighted by its frequency.
//
//   n    (period i, stratum s, age a, group g)            released at i in s
//   bt   (pair ij(i,j), from s, to s2, age a, group g)     of those, next caught at j in s2
//   btot (to s2, from s, age a, group g)                   bt summed over all pairs
//
// The tables only count; the model writer and the run summary lay them out.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "runctl/run_files.h"
#include "runctl/settings.h"
#include "tabulate/record.h"
#include "tabulate/tabulation.h"

namespace haplovex {

// The age class at the first capture indexes the tables directly, so a record whose age code
// is not among the age classes stops the run when it is read.
class CohortTables : public Tabulation<CohortTables> {
 public:
  // Allocates n, bt, ch and btot, in this order, all zero.
  explicit CohortTables(const ConversionSettings& s);

  int32_t n(int32_t i, int32_t s, int32_t a, int32_t g) const;
  int32_t bt(int64_t ij, int32_t s, int32_t s2, int32_t a, int32_t g) const;
  int32_t btot(int32_t s2, int32_t s, int32_t a, int32_t g) const;

 private:
  friend class Tabulation<CohortTables>;
  void Count(const DecodedRecord& rec, int64_t record);
  // Counted late: bt for every capture with a next one, and the release at the last capture
  // of an animal released there; n and btot follow from them (Derive).
  void CountLate(const DecodedRecord& rec, PartTally& tally) const {
    const std::span<const Capture> captures = rec.Captures();
    if (captures.empty()) return;
    const int32_t first = captures.front().period;
    const size_t last = captures.size() - 1;
    const auto freq = static_cast<uint64_t>(rec.freq);
    const size_t group_base = static_cast<size_t>(rec.igrp - 1) * static_cast<size_t>(s_.nage);
    // The age class's place among the tables of its group, at a period.
    auto age = [&](int32_t period) -> size_t {
      return s_.nage == 1 ? group_base
                          : group_base + static_cast<size_t>(steps_.At(rec.iage, first, period) - 1);
    };
    uint64_t* bt = tally.bt.data();
    for (size_t k = 0; k < last; ++k) {
      const Capture& at = captures[k];
      const Capture& next = captures[k + 1];
      bt[age(at.period) * age_block_ + to_at_[static_cast<size_t>(next.stratum)] +
         from_at_[static_cast<size_t>(at.stratum)] +
         pair_at_[static_cast<size_t>(at.period) * pair_stride_ + static_cast<size_t>(next.period)]] +=
          freq;
    }
    if (!NotReleasedAtLast(rec)) {
      const Capture& at = captures[last];
      tally.last[(age(at.period) * static_cast<size_t>(s_.nstrata) + static_cast<size_t>(at.stratum - 1)) *
                     static_cast<size_t>(s_.nyrs) +
                 static_cast<size_t>(at.period - 1)] += freq;
    }
  }
  bool Derive(const std::vector<PartTally>& tallies);

  // Parts of a bt offset, so that counting a pair takes additions alone: the pair's place
  // (pair_at_[i * pair_stride_ + j] = ij - 1), the origin's (from_at_[s]) and the
  // destination's (to_at_[s2]); an age class and group take age_block_ each.
  std::vector<size_t> pair_at_;
  size_t pair_stride_;
  std::vector<size_t> from_at_;
  std::vector<size_t> to_at_;
  size_t age_block_;
};

}  // namespace haplovex

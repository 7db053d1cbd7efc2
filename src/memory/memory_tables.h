// The memory converter's tables: releases and next captures counted by the stratum the animal
// was caught in at the period before, every record once, each weighted by its frequency.
//
//   n    (period i, previous q, stratum r, age a, group g)           released at i in r, caught
//                                                                     at i-1 in q
//   bt   (pair ij(i,j), previous q, stratum r, next t, age a, group g)  of those, next caught at
//                                                                     j in t
//   btot (next t, stratum r, age a, group g)                          bt summed over pairs and q
//
// A release counts only when the period just before it is a capture too ("memory release"):
// the first capture of a record never counts, nor a capture after a period not caught.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runctl/run_files.h"
#include "runctl/settings.h"
#include "tabulate/record.h"
#include "tabulate/tabulation.h"

namespace haplovex {

// An age code that is not among the age codes stops the run when its record is read; an age
// position above nage counts in the oldest class, to which the age step of the first capture
// lowers it before any memory release.
class MemoryTables : public Tabulation<MemoryTables> {
 public:
  // Allocates n, bt, ch and btot, in this order, all zero; a table that cannot be had stops
  // the run naming it.
  explicit MemoryTables(const ConversionSettings& s);
  // Counts one decoded record; `record` is its number in messages. REQUIRES: rec's captures
  // are those of its ch (as the decoder or CollectCaptures leave them), 1 <= rec.igrp <=
  // ngroups, rec.iage >= 1.
  void Count(const DecodedRecord& rec, int64_t record);

  int32_t n(int32_t i, int32_t q, int32_t r, int32_t a, int32_t g) const;
  int32_t bt(int64_t ij, int32_t q, int32_t r, int32_t t, int32_t a, int32_t g) const;
  int32_t btot(int32_t t, int32_t r, int32_t a, int32_t g) const;
  size_t bt_entries() const { return bt_.size(); }

 private:
  friend class Tabulation<MemoryTables>;
  // Counted late: bt for every memory release with a next capture, and the release at the
  // last capture of an animal released there; n and btot follow from them (Derive).
  template <typename Captures>
  void CountLate(Captures captures, const DecodedRecord& rec, PartTally& tally) const {
    // A window of three captures: the one before, the one counted, and the next.
    int32_t before_period, before, period, stratum;
    if (!captures.Next(before_period, before) || !captures.Next(period, stratum)) return;
    const int32_t first = before_period;
    const auto freq = static_cast<uint32_t>(rec.freq);
    bool wrapped = false;
    for (;;) {
      int32_t next_period = 0;
      int32_t next = 0;
      const bool more = captures.Next(next_period, next);
      // A memory release needs a capture in the period just before.
      if (before_period == period - 1) {
        const int32_t age = steps_.At(rec.iage, first, period);
        if (more) {
          AddTo(tally.bt[BtOffset(PairIndex(period, next_period, s_.nyrs), before, stratum, next,
                                  age, rec.igrp)],
                freq, wrapped);
        } else if (!NotReleasedAtLast(rec)) {
          AddTo(tally.last[NOffset(period, before, stratum, age, rec.igrp)], freq, wrapped);
        }
      }
      if (!more) break;
      before_period = period;
      before = stratum;
      period = next_period;
      stratum = next;
    }
    tally.wrapped |= wrapped;
  }
  bool Derive(const std::vector<PartTally>& tallies);

  size_t NOffset(int64_t i, int64_t q, int64_t r, int64_t a, int64_t g) const {
    const int64_t S = s_.nstrata;
    return static_cast<size_t>(((((g - 1) * s_.nage + (a - 1)) * S + (r - 1)) * S + (q - 1)) *
                                   s_.nyrs +
                               (i - 1));
  }
  size_t BtOffset(int64_t ij, int64_t q, int64_t r, int64_t t, int64_t a, int64_t g) const {
    const int64_t S = s_.nstrata;
    return static_cast<size_t>(
        (((((g - 1) * s_.nage + (a - 1)) * S + (t - 1)) * S + (r - 1)) * S + (q - 1)) * npairs_ +
        (ij - 1));
  }
  size_t BtotOffset(int64_t t, int64_t r, int64_t a, int64_t g) const {
    const int64_t S = s_.nstrata;
    return static_cast<size_t>((((g - 1) * s_.nage + (a - 1)) * S + (r - 1)) * S + (t - 1));
  }
};

}  // namespace haplovex

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
#include <type_traits>
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
  template <typename Captures>
  [[gnu::always_inline]] void CountLate(Captures captures, const DecodedRecord& rec,
                                        PartTally& tally) const {
    int32_t period;
    int32_t stratum;
    if (!captures.Next(period, stratum)) return;
    // Everything the counting reads is copied into locals first: a store to a count could
    // otherwise be taken to change the settings or the record, and have them read again
    // after every one.
    const int32_t nage = s_.nage;
    const auto strata = static_cast<size_t>(s_.nstrata);
    const auto periods = static_cast<size_t>(s_.nyrs);
    const int32_t iage = rec.iage;
    const int32_t first = period;
    const auto freq = static_cast<uint32_t>(rec.freq);
    const bool released = !NotReleasedAtLast(rec);
    const size_t group_base = static_cast<size_t>(rec.igrp - 1) * static_cast<size_t>(nage);
    // The record's age class at a period, counted among the classes of all groups.
    auto age = [&](int32_t at) __attribute__((always_inline)) -> size_t {
      return nage == 1 ? group_base : group_base + static_cast<size_t>(steps_.At(iage, first, at) - 1);
    };
    uint32_t* const bt = tally.bt.data();
    uint32_t* const last = tally.last.data();
    const size_t* const pairs = pair_at_.data();
    const size_t* const from = from_at_.data();
    const size_t* const to = to_at_.data();
    const size_t stride = pair_stride_;
    const size_t age_block = age_block_;
    const size_t spare = spare_;
    bool wrapped = false;
    size_t base = age(period) * age_block;
    int32_t next_period;
    int32_t next_stratum;
    if constexpr (std::is_same_v<Captures, CaptureBits>) {
      // Half the animals are caught once: the first pair is counted with no branch to guess,
      // a record with none adding nothing to a spare count after the table.
      const bool more = captures.Peek(next_period, next_stratum);
      const size_t x = base + to[next_stratum] + from[stratum] +
                       pairs[static_cast<size_t>(period) * stride + static_cast<size_t>(next_period)];
      AddTo(bt[more ? x : spare], more ? freq : 0, wrapped);
      captures.Skip();
      period = more ? next_period : period;
      stratum = more ? next_stratum : stratum;
      if (nage > 1) base = age(period) * age_block;
    }
    while (captures.Next(next_period, next_stratum)) {
      AddTo(bt[base + to[next_stratum] + from[stratum] +
               pairs[static_cast<size_t>(period) * stride + static_cast<size_t>(next_period)]],
            freq, wrapped);
      period = next_period;
      stratum = next_stratum;
      if (nage > 1) base = age(period) * age_block;
    }
    // Nearly every animal is released: counted with no branch, the others adding nothing.
    AddTo(last[(age(period) * strata + static_cast<size_t>(stratum - 1)) * periods +
               static_cast<size_t>(period - 1)],
          released ? freq : 0, wrapped);
    tally.wrapped |= wrapped;
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
  size_t spare_;  // the count after bt in a part's tally, which only ever has 0 added
};

}  // namespace haplovex

// The movement-only converter's cohort tables: releases and first recaptures, counted from
// every record once, each animal weighted by its frequency.
//
//   n    (period i, stratum s, age a, group g)            released at i in s
//   bt   (pair ij(i,j), stratum s, next s2, age a, group g)  of those, next caught at j in s2
//   btot (next s2, stratum s, age a, group g)              bt summed over all pairs
//
// Each is read as n(i, s, a, g), bt(ij, s, s2, a, g), btot(s2, s, a, g). The tables only
// count; the model writer, the run summary and the tidy tables lay them out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "runctl/settings.h"
#include "tabulate/tabulation.h"

namespace haplovex {

// The movement-only converter's n, bt and btot.
using CohortCounts = CountTables<4, 5, 4>;

// The tables laid out for `s`, allocated (n, bt, btot), all zero; a table that cannot be had
// stops the run naming it.
CohortCounts CohortCountsFor(const ConversionSettings& s);

// The age class at the first capture indexes the tables directly, so a record whose age code
// is not among the age classes stops the run when it is read.
class CohortTables : public Tabulation<CohortTables, CohortCounts> {
 public:
  explicit CohortTables(const ConversionSettings& s);

  // As a sink of the record path (see RecordSink and Tabulation): one record, the plain way.
  void Count(const DecodedRecord& rec, int64_t record);
  // Counted late, into one part's tally: bt for every capture with a next one, and the last
  // capture in `last` where the animal was released there; n and btot follow from them
  // (Derive). Made once a part, with every table and count it needs at hand, so that counting
  // a record reads nothing of the tables' owners. `kAging`: the age class may change between
  // captures (else it is the class at the first).
  template <bool kAging>
  struct LateCounts : LatePlaces {
    ptrdiff_t spare;  // the first of the spare counts after bt

    // The release at the last capture (key `at`, at `period`), counted when the animals were
    // released there; else 0 added, with no branch.
    [[gnu::always_inline]] void CountLast(const LateRecord& rec, int32_t shift, int32_t period, size_t at) const {
      const int32_t age = kAging ? shift + raises[period] : rec.iage;
      last[(rec.igrp - 1) * group_n + n_age[age] + release[at]] += rec.freq & (0u - rec.released);
    }

    template <typename Captures>
    [[gnu::always_inline]] void operator()(Captures captures, const LateRecord& rec) const {
      int32_t period;
      int32_t stratum;
      if (!captures.Next(period, stratum)) return;
      const uint32_t freq = rec.freq;
      const ptrdiff_t group = (rec.igrp - 1) * group_bt;
      const int32_t fixed_age = bt_age[rec.iage];
      // The record's age class at a period is its class at the first capture raised by the
      // intervals marked since then: shift + raises[period] indexes bt_age and n_age.
      const int32_t shift = rec.iage - raises[period];
      auto age_at = [&](int32_t p) { return kAging ? bt_age[shift + raises[p]] : fixed_age; };
      size_t at = CaptureKey(period, stratum);
      // The offset in bt of a pair that starts at this capture, but for where it leads.
      ptrdiff_t out = group + from[at] + age_at(period);
      int32_t next_period;
      int32_t next_stratum;
      if constexpr (std::is_same_v<Captures, CaptureBits>) {
        // Half the animals are caught once: the first pair is counted with no branch to
        // guess, a record with none adding nothing to a spare count after the table.
        const bool more = captures.Peek(next_period, next_stratum);
        const size_t next = CaptureKey(next_period, next_stratum);
        const ptrdiff_t pair = out + to[next];
        AddToFirst(freq, bt + spare + (pair & static_cast<ptrdiff_t>(kSpareCounts - 1)),
                   CountWhen{more, bt + pair});
        captures.Skip();
        const auto all = Opaque(-static_cast<int32_t>(more));
        at += (next - at) & static_cast<size_t>(static_cast<int64_t>(all));
        period += (next_period - period) & all;
        out = group + from[at] + age_at(period);
      }
      while (captures.Next(next_period, next_stratum)) {
        const size_t next = CaptureKey(next_period, next_stratum);
        bt[out + to[next]] += freq;
        at = next;
        period = next_period;
        out = group + from[at] + age_at(period);
      }
      CountLast(rec, shift, period, at);
    }

    // A batch read whole, in the rounds every sink shares: the last capture of each record, then
    // its pairs, each with the record's group and, with fixed classes, its age class in bt
    // (base), and with classes that change, what finds them (shift, as in operator()). (Of 32
    // bits: a part's tally of bt has at most kMostPartCounts counts, and the rounds copy the
    // entries often.)
    struct Entry {
      int32_t base;
      int32_t shift;
    };
    [[gnu::always_inline]] Entry Last(const BatchRecord& r) const {
      const LateRecord& rec = r.rec;
      const int32_t shift = rec.iage - raises[__builtin_ctzll(r.bits) + 1];
      const auto final = static_cast<int32_t>(r.last) + 1;
      CountLast(rec, shift, final, CaptureKey(final, r.last_stratum));
      return {static_cast<int32_t>((rec.igrp - 1) * group_bt + (kAging ? 0 : bt_age[rec.iage])), shift};
    }
    [[gnu::always_inline]] void Pair(Entry& entry, const BatchPair& pair) const {
      const auto i = static_cast<int32_t>(pair.i);
      const auto j = static_cast<int32_t>(pair.j);
      const int32_t age = kAging ? bt_age[entry.shift + raises[i + 1]] : 0;
      bt[entry.base + age + from[CaptureKey(i + 1, pair.from)] + to[CaptureKey(j + 1, pair.to)]] += pair.freq;
    }
  };
  template <bool kAging>
  LateCounts<kAging> LateInto(Tally& tally) const {
    return {PlacesIn(tally), spare_};
  }

 private:
  ptrdiff_t spare_;  // the first of the spare counts after bt in a part's tally
};

static_assert(RecordSink<CohortTables>);

}  // namespace haplovex

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
#include <span>
#include <type_traits>
#include <vector>

#include "runctl/settings.h"
#include "tabulate/fit_tables.h"
#include "tabulate/record.h"
#include "tabulate/table_layout.h"
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
  // Allocates n, bt, btot and ch, in this order, all zero.
  explicit CohortTables(const ConversionSettings& s);

  // The tabulation's hooks (see TabulationHooks).
  void Count(const DecodedRecord& rec, int64_t record);
  // Counted late, into one part's tally: bt for every capture with a next one, and the last
  // capture, in last where the animal was released there and in lost where not; n and btot
  // follow from them (Derive), and the report's chart of captures (CapturesFromPairs). Made
  // once a part, with every table and count it needs at hand, so that counting a record
  // reads nothing of the tables' owners. `kAging`: the age class may change between captures
  // (else it is the class at the first).
  template <bool kAging>
  struct LateCounts {
    const int32_t* from;
    const int32_t* to;
    const int32_t* bt_age;
    const int32_t* raises;
    const int32_t* last_age;
    const int32_t* last_key;
    uint32_t* bt;
    uint32_t* last;
    uint32_t* lost;
    ptrdiff_t spare;
    ptrdiff_t group_bt;
    ptrdiff_t group_last;
    gof::FitTables* fit;  // the groups' tables of the fit tests, counted in a batch; or none

    template <typename Captures>
    [[gnu::always_inline]] void operator()(Captures captures, const LateRecord& rec) const {
      int32_t period;
      int32_t stratum;
      if (!captures.Next(period, stratum)) return;
      const uint32_t freq = rec.freq;
      const ptrdiff_t group = (rec.igrp - 1) * group_bt;
      const int32_t fixed_age = bt_age[rec.iage];
      // The record's age class at a period is its class at the first capture raised by the
      // intervals marked since then: shift + raises[period] indexes bt_age and last_age.
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
      // The last capture: a release there, or animals lost on capture.
      const int32_t age = kAging ? shift + raises[period] : rec.iage;
      const ptrdiff_t release = (rec.igrp - 1) * group_last + last_age[age] + last_key[at];
      (rec.released != 0 ? last : lost)[release] += freq;
    }
    // Every record of a batch read whole: first each record's last capture, then, in rounds
    // (InRounds), the next pair of every record that has one left; with the tables of the fit
    // tests, each capture counted there too on the same way through the record.
    [[gnu::always_inline]] void Batch(const CaptureBatch& batch) const {
      if (fit != nullptr) {
        BatchCounted<true>(batch);
      } else {
        BatchCounted<false>(batch);
      }
    }
    template <bool kFit>
    [[gnu::always_inline]] void BatchCounted(const CaptureBatch& batch) const {
      struct Pending {
        uint64_t bits;  // the captures left, the first of them where the next pair starts
        const unsigned char* history;
        ptrdiff_t base;  // the record's group and, with fixed classes, its age class in bt
        int32_t shift;   // with classes that change: as in operator()
        uint32_t freq;
      };
      // With the fit tests: also the record's group's tables, and the stratum of the capture
      // before the next pair (0: none).
      struct PendingFit : Pending {
        uint32_t* counts;
        size_t before;
      };
      using Entry = std::conditional_t<kFit, PendingFit, Pending>;
      Entry pending[CaptureBatch::kMost];
      const std::array<int8_t, 256>& code_class = batch.code_class;
      const gof::FitTables::Layout layout = kFit ? fit[0].layout() : gof::FitTables::Layout{};
      size_t waiting = 0;
      for (size_t k = 0; k < batch.size; ++k) {
        const uint64_t bits = batch.captured[k];
        const unsigned char* const history = batch.histories[k];
        const LateRecord& rec = batch.records[k];
        const auto first = static_cast<int32_t>(__builtin_ctzll(bits)) + 1;
        const auto final = 64 - static_cast<int32_t>(__builtin_clzll(bits));
        const int32_t shift = rec.iage - raises[first];
        const int32_t final_stratum = code_class[history[final - 1]];
        const size_t at = CaptureKey(final, final_stratum);
        const int32_t age = kAging ? shift + raises[final] : rec.iage;
        const ptrdiff_t release = (rec.igrp - 1) * group_last + last_age[age] + last_key[at];
        (rec.released != 0 ? last : lost)[release] += rec.freq;
        const ptrdiff_t base = (rec.igrp - 1) * group_bt + (kAging ? 0 : bt_age[rec.iage]);
        if constexpr (kFit) {
          uint32_t* const counts = fit[rec.igrp - 1].counts();
          counts[layout.Last(static_cast<size_t>(final - 1), static_cast<size_t>(final_stratum),
                             StratumBeforeLast(bits, history, code_class), rec.released != 0)] += rec.freq;
          pending[waiting] = Entry{{bits, history, base, shift, rec.freq}, counts, 0};
        } else {
          pending[waiting] = Entry{bits, history, base, shift, rec.freq};
        }
        waiting += (bits & (bits - 1)) != 0 ? 1 : 0;
      }
      InRounds(pending, waiting, [&](Entry& p) __attribute__((always_inline)) {
        const auto i = static_cast<int32_t>(__builtin_ctzll(p.bits));
        p.bits &= p.bits - 1;
        const auto j = static_cast<int32_t>(__builtin_ctzll(p.bits));
        const int32_t from_stratum = code_class[p.history[i]];
        const int32_t to_stratum = code_class[p.history[j]];
        const size_t from_at = CaptureKey(i + 1, from_stratum);
        const size_t to_at = CaptureKey(j + 1, to_stratum);
        const int32_t age = kAging ? bt_age[p.shift + raises[i + 1]] : 0;
        bt[p.base + age + from[from_at] + to[to_at]] += p.freq;
        if constexpr (kFit) {
          p.counts[layout.Pair(static_cast<size_t>(i), static_cast<size_t>(from_stratum), p.before,
                               static_cast<size_t>(j), static_cast<size_t>(to_stratum))] += p.freq;
          p.before = static_cast<size_t>(from_stratum);
        }
        return (p.bits & (p.bits - 1)) != 0;
      });
    }
  };
  template <bool kAging>
  LateCounts<kAging> LateCountsInto(PartTally& tally) const {
    return {from_key_.data(),
            to_key_.data(),
            bt_age_.data(),
            steps_.RaisesBefore(),
            last_age_.data(),
            last_key_.data(),
            tally.bt.data(),
            tally.last.data(),
            tally.lost.data(),
            spare_,
            group_bt_,
            group_last_,
            tally.fit.empty() ? nullptr : tally.fit.data()};
  }
  // Every capture but an animal's last starts a pair; so the captures by period and stratum
  // are the pairs by where they start, and the last captures.
  static constexpr bool kCapturesFromPairs = true;
  // A batch's records are counted in the tables of the fit tests by Batch itself.
  static constexpr bool kBatchCountsFit = true;
  std::vector<int64_t> CapturesFromPairs(const std::vector<PartTally>& tallies) const;

 private:
  // Parts of the offsets of a count, so that counting takes additions alone. In bt, a pair
  // from capture a to capture b stands at from_key_[a] + to_key_[b], plus its age class
  // (bt_age_) and group (group_bt_); a release at capture a in last at last_key_[a], plus
  // last_age_ and group_last_. The age tables are indexed by the class before it is capped
  // at the oldest.
  std::vector<int32_t> from_key_;
  std::vector<int32_t> to_key_;
  std::vector<int32_t> last_key_;
  std::vector<int32_t> bt_age_;
  std::vector<int32_t> last_age_;
  ptrdiff_t group_bt_;
  ptrdiff_t group_last_;
  ptrdiff_t spare_;  // the first of the spare counts after bt in a part's tally
};

static_assert(TabulationHooks<CohortTables>);

}  // namespace haplovex

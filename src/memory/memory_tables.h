// The memory converter's tables: releases and next captures counted by the stratum the animal
// was caught in at the period before, every record once, each weighted by its frequency.
//
//   n    (period i, previous q, stratum r, age a, group g)           released at i in r, caught
//                                                                     at i-1 in q
//   bt   (pair ij(i,j), previous q, stratum r, next t, age a, group g)  of those, next caught at
//                                                                     j in t
//   btot (next t, stratum r, age a, group g)                          bt summed over pairs and q
//
// Each is read as n(i, q, r, a, g), bt(ij, q, r, t, a, g), btot(t, r, a, g). A release counts
// only when the period just before it is a capture too ("memory release"): the first capture
// of a record never counts, nor a capture after a period not caught.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "runctl/settings.h"
#include "tabulate/tabulation.h"

namespace haplovex {

// The memory converter's n, bt and btot.
using MemoryCounts = CountTables<5, 6, 4>;

// The tables laid out for `s`, allocated (n, bt, btot), all zero; a table that cannot be had
// stops the run naming it.
MemoryCounts MemoryCountsFor(const ConversionSettings& s);

// An age code that is not among the age codes stops the run when its record is read; an age
// position above nage counts in the oldest class, to which the age step of the first capture
// lowers it before any memory release.
class MemoryTables : public Tabulation<MemoryTables, MemoryCounts> {
 public:
  explicit MemoryTables(const ConversionSettings& s);
  size_t bt_entries() const { return bt.counts().size(); }

  // As a sink of the record path (see RecordSink and Tabulation): counts one decoded record;
  // `record` is its number in messages. REQUIRES: rec's captures are those of its ch (as the
  // decoder or CollectCaptures leave them), 1 <= rec.igrp <= ngroups, rec.iage >= 1.
  void Count(const DecodedRecord& rec, int64_t record);
  // Counted late, into one part's tally: bt for every memory release with a next capture, and
  // the release at the last capture of an animal released there; n and btot follow from them
  // (Derive). Made once a part, with every table and count it needs at hand. `kAging`: the
  // age class may change between captures (else it is the class at the first).
  template <bool kAging>
  struct LateCounts : LatePlaces {
    // What the capture before a memory release adds, in bt and in n.
    const int32_t* bt_before;
    const int32_t* n_before;
    ptrdiff_t n_spare;  // the first spare count after last

    template <typename Captures>
    [[gnu::always_inline]] void operator()(Captures captures, const LateRecord& rec) const {
      if constexpr (std::is_same_v<Captures, CaptureBits>) {
        // From the bits themselves: a memory release is a capture with a capture in the
        // period just before, so most records, which have none, cost one test.
        const uint64_t bits = captures.bits();
        for (uint64_t releases = bits & (bits << 1); releases != 0; releases &= releases - 1) {
          CountRelease(static_cast<unsigned>(__builtin_ctzll(releases)), bits, captures.history(),
                       captures.code_class(), rec);
        }
      } else {
        const uint32_t freq = rec.freq;
        const ptrdiff_t group_bt_at = (rec.igrp - 1) * group_bt;
        const ptrdiff_t group_n_at = (rec.igrp - 1) * group_n;
        // A window of three captures: the one before, the one counted, and the next.
        int32_t before_period, before, period, stratum;
        if (!captures.Next(before_period, before) || !captures.Next(period, stratum)) return;
        const int32_t shift = rec.iage - raises[before_period];
        auto age = [&](int32_t p) { return kAging ? shift + raises[p] : rec.iage; };
        size_t before_key = CaptureKey(before_period, before);
        size_t key = CaptureKey(period, stratum);
        int32_t next_period;
        int32_t next;
        for (;;) {
          const bool more = captures.Next(next_period, next);
          // A memory release needs a capture in the period just before.
          if (before_period == period - 1) {
            if (more) {
              bt[group_bt_at + bt_age[age(period)] + bt_before[before_key] + from[key] +
                 to[CaptureKey(next_period, next)]] += freq;
            } else if (rec.released) {
              last[group_n_at + n_age[age(period)] + n_before[before_key] + release[key]] += freq;
            }
          }
          if (!more) break;
          before_period = period;
          before_key = key;
          period = next_period;
          key = CaptureKey(next_period, next);
        }
      }
    }
    // Every record of a batch read whole, by a walk of its own (few records have a memory
    // release): the records with one are picked out, then, in rounds (InRounds), the next memory
    // release of every one is counted.
    [[gnu::always_inline]] void Batch(const CaptureBatch& batch) const {
      struct Pending {
        uint64_t releases;  // the memory releases left to count
        size_t k;           // of the record
      };
      Pending pending[CaptureBatch::kMost];
      size_t waiting = 0;
      for (size_t k = 0; k < batch.size; ++k) {
        const uint64_t bits = batch.captured[k];
        const uint64_t releases = bits & (bits << 1);
        pending[waiting] = Pending{releases, k};
        waiting += releases != 0 ? 1 : 0;
      }
      InRounds(pending, waiting, [&](Pending& p) __attribute__((always_inline)) {
        CountRelease(static_cast<unsigned>(__builtin_ctzll(p.releases)), batch.captured[p.k],
                     batch.histories[p.k], batch.code_class, batch.records[p.k]);
        p.releases &= p.releases - 1;
        return p.releases != 0;
      });
    }
    // Counts the memory release at bit i of a record's captures `bits` (a capture with one in
    // the period just before) once: in bt when there is a next capture, else in last when the
    // animals were released there, else (adding nothing) in a spare count after last.
    [[gnu::always_inline]] void CountRelease(unsigned i, uint64_t bits, const unsigned char* history,
                                             const std::array<int8_t, 256>& code_class,
                                             const LateRecord& rec) const {
      const auto period = static_cast<int32_t>(i + 1);
      const size_t before_key = CaptureKey(period - 1, code_class[history[i - 1]]);
      const size_t key = CaptureKey(period, code_class[history[i]]);
      const int32_t age =
          kAging ? rec.iage - raises[__builtin_ctzll(bits) + 1] + raises[period] : rec.iage;
      // The next capture; with none, the lookups read this capture again, and the count in bt
      // is not made.
      const uint64_t later = bits & ~((uint64_t{2} << i) - 1);
      const uint64_t next_bit = Opaque(later != 0 ? later : uint64_t{1} << i);
      const auto j = static_cast<unsigned>(__builtin_ctzll(next_bit));
      const size_t next_key = CaptureKey(static_cast<int32_t>(j + 1), code_class[history[j]]);
      uint32_t* const to_bt =
          bt + (rec.igrp - 1) * group_bt + bt_age[age] + bt_before[before_key] + from[key] + to[next_key];
      uint32_t* const to_last =
          last + (rec.igrp - 1) * group_n + n_age[age] + n_before[before_key] + release[key];
      uint32_t* const nowhere = last + n_spare + static_cast<ptrdiff_t>(key & (kSpareCounts - 1));
      AddToFirst(rec.freq, nowhere, CountWhen{later != 0, to_bt},
                 CountWhen{rec.released != 0, to_last});
    }
  };
  template <bool kAging>
  LateCounts<kAging> LateInto(Tally& tally) const {
    return {PlacesIn(tally), bt_before_.data(), n_before_.data(), n_spare_};
  }

 private:
  // In bt, the count of a memory release at capture b after capture a, next caught at capture
  // c, stands at bt_before_[a] + from[b] + to[c] (LatePlaces), plus its age class and group; in
  // n (for the releases at the last capture), at n_before_[a] + release[b], plus the same.
  std::vector<int32_t> bt_before_;
  std::vector<int32_t> n_before_;
  ptrdiff_t n_spare_;  // the first spare count after last in a part's tally, which only add 0
};

static_assert(RecordSink<MemoryTables>);

}  // namespace haplovex

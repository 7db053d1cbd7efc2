// The quick way through the records, for both converters: the file is split at line ends
// into parts that threads read at once, in blocks; the histories of up to kBatch records at a
// time are turned into capture masks with vector instructions; and each record is counted
// late: one count per pair of captures and one per release at a last capture, from which the
// converter derives its tables once every part is read. A batch whose records are all clean
// (every field there and simply written, a capture, nothing odd, nothing to warn of) is read
// whole, its fields looked up with no branch a record; any other batch is read with care,
// record by record.
//
// The quick way only ever gives the tables, counters and record checks the plain way (the
// record stream, one record at a time) gives. Whatever the plain way would stop the run for
// (a bad group code, age code or frequency, a count past its limit, a read error), and
// whatever it alone can report exactly, makes a part give up; the converter then reads the
// records the plain way from the start, which stops the run with exactly its own message.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_file.h"
#include "runctl/settings.h"
#include "tabulate/capture_mask.h"
#include "tabulate/decoder.h"
#include "tabulate/fit_tables.h"
#include "tabulate/kernels/portable.h"
#include "tabulate/record.h"
#include "tabulate/record_checks.h"
#include "tabulate/record_screen.h"

namespace haplovex {

// What reading a part, or a piece of one, comes to: read; or left to the plain way, which alone
// stops the run with its own message, and reports exactly what only it can.
enum class [[nodiscard]] PartRead { kRead, kPlainWay };

// What one thread counts of its part of the file. A record adds to a count at most once (its
// pairs of captures are pairs of different periods), so no count of a part exceeds the part's
// animals; a part whose animals pass 32 bits passes the run's limit on animals too, and the
// run then reads the records the plain way. The counts therefore never wrap.
struct PartTally {
  std::vector<uint32_t> bt;    // next captures, by pair, as the converter lays them out
  std::vector<uint32_t> last;  // releases at the last capture, laid out as its table n
  int64_t nrec = 0;            // records read
  int64_t nanim = 0;           // animals read
  RecordChecks checks;         // record numbers counted from the part's first record
  std::vector<uint64_t> caught;  // for a report: animals caught by period and stratum
  // Where the converter tells the report's captures from its pairs: the last captures of
  // animals not released there, laid out as `last` (which, with them, holds every last
  // capture).
  std::vector<uint32_t> lost;
  // For the goodness-of-fit tests: each group's tables (group g at g - 1), when counted.
  std::vector<gof::FitTables> fit;
  PartRead read = PartRead::kRead;  // kPlainWay: the plain way must read the records instead
};

// Counts after bt in a part's tally, to which counting with no branch adds nothing: many,
// so that records one after the other seldom add to the same one and wait for each other.
inline constexpr size_t kSpareCounts = 64;

// A capture's place in a converter's tables of offsets: kKeyStride places a period, one a
// stratum (there are at most 26). kMaskKeys covers the periods of any capture mask and the
// key of no capture that CaptureBits::Peek gives.
inline constexpr size_t kKeyStride = 32;
inline constexpr size_t kMaskKeys = 66 * kKeyStride;
[[gnu::always_inline]] inline size_t CaptureKey(int32_t period, int32_t stratum) {
  return static_cast<size_t>(period) * kKeyStride + static_cast<size_t>(stratum);
}

// What late counting needs of a record besides its captures.
struct LateRecord {
  int32_t iage;   // age class at the first capture
  int32_t igrp;   // group
  uint32_t freq;  // animals
  // 1 when released at the last capture, else 0. (Not a bool: a store of one may be taken to
  // change anything, and would have the compiler read the settings again after each record.)
  uint32_t released;
};

inline LateRecord LateOf(const DecodedRecord& rec) {
  return {rec.iage, rec.igrp, static_cast<uint32_t>(rec.freq), NotReleasedAtLast(rec) ? 0u : 1u};
}

// The records of a batch read whole, for a converter's late counting: record k's captures
// are the bits captured[k] (period i + 1 is bit i) of the history at histories[k], and
// code_class gives the stratum of each byte. Every record has a capture and no odd byte.
struct CaptureBatch {
  static constexpr size_t kMost = 128;  // records a batch may hold
  const uint64_t* captured;
  const unsigned char* const* histories;
  const LateRecord* records;
  size_t size;
  const std::array<int8_t, 256>& code_class;
};

// `value`, hidden from the compiler's reasoning: a mask made of a condition stays a mask,
// and is not turned back into a branch that records with and without the condition would
// mispredict.
template <typename T>
[[gnu::always_inline]] inline T Opaque(T value) {
#if defined(__GNUC__)
  asm("" : "+r"(value));
#endif
  return value;
}

// A count of a part's tally, to add to when `when` holds.
struct CountWhen {
  bool when;
  uint32_t* count;
};

// The address of the first of `choices` whose condition holds, else `otherwise`; `any`
// gathers a mask of every condition.
[[gnu::always_inline]] inline uintptr_t FirstChosen(uintptr_t& /*any*/, uintptr_t otherwise) { return otherwise; }
template <typename... Rest>
[[gnu::always_inline]] inline uintptr_t FirstChosen(uintptr_t& any, uintptr_t otherwise, CountWhen first,
                                                    Rest... rest) {
  const uintptr_t mask = Opaque(uintptr_t{0} - static_cast<uintptr_t>(first.when));
  any |= mask;
  return (reinterpret_cast<uintptr_t>(first.count) & mask) | (FirstChosen(any, otherwise, rest...) & ~mask);
}

// Adds `freq` to the count of the first of `choices` whose condition holds, and when none
// does, 0 to `spare` (one of the spare counts after a part's table, which only ever add 0):
// chosen with masks, not branches, so that records with and without cost no mispredicted
// branch. Both converters' late counting counts so where records differ most.
template <typename... Choices>
[[gnu::always_inline]] inline void AddToFirst(uint32_t freq, uint32_t* spare, Choices... choices) {
  uintptr_t any = 0;
  const uintptr_t at = FirstChosen(any, reinterpret_cast<uintptr_t>(spare), choices...);
  *reinterpret_cast<uint32_t*>(at) += freq & static_cast<uint32_t>(any);
}

// A record's captures one at a time, period and stratum, for a converter's late counting:
// from a list of captures, or from a capture mask and the history it was found in.
class CaptureList {
 public:
  explicit CaptureList(std::span<const Capture> captures)
      : at_(captures.data()), end_(captures.data() + captures.size()) {}
  [[gnu::always_inline]] bool Next(int32_t& period, int32_t& stratum) {
    if (at_ == end_) return false;
    period = at_->period;
    stratum = at_->stratum;
    ++at_;
    return true;
  }

 private:
  const Capture* at_;
  const Capture* end_;
};

class CaptureBits {
 public:
  CaptureBits(uint64_t bits, const unsigned char* history, const std::array<int8_t, 256>& code_class)
      : bits_(bits), history_(history), code_class_(code_class) {}
  // The next capture without a branch: true and it when there is one. When there is none,
  // false with period 64 and the class of the history's 64th byte as the stratum (from -2 to
  // 26), not to be counted: a caller's tables must take such a capture's key (CaptureKey
  // from 64 * kKeyStride - 2 to 64 * kKeyStride + 26).
  [[gnu::always_inline]] bool Peek(int32_t& period, int32_t& stratum) const {
    const auto i = static_cast<size_t>(__builtin_ctzll(bits_ | uint64_t{1} << 63));
    period = static_cast<int32_t>(i + 1);
    stratum = code_class_[history_[i]];
    return bits_ != 0;
  }
  // The captures not yet given, as bits (period i + 1 is bit i), the history and the class
  // of every byte, for counting that works on the bits themselves.
  uint64_t bits() const { return bits_; }
  const unsigned char* history() const { return history_; }
  const std::array<int8_t, 256>& code_class() const { return code_class_; }
  // Goes past the capture Peek gave, when there was one.
  [[gnu::always_inline]] void Skip() { bits_ &= bits_ - 1; }
  [[gnu::always_inline]] bool Next(int32_t& period, int32_t& stratum) {
    if (bits_ == 0) return false;
    const auto i = static_cast<size_t>(__builtin_ctzll(bits_));
    bits_ &= bits_ - 1;
    period = static_cast<int32_t>(i + 1);
    stratum = code_class_[history_[i]];
    return true;
  }

 private:
  uint64_t bits_;
  const unsigned char* history_;
  const std::array<int8_t, 256>& code_class_;
};

// Captures handed on one at a time, each counted by period and stratum on the way: for the
// report's chart of captures. caught[(period - 1) * strata + (stratum - 1)].
template <typename Captures>
class CountedCaptures {
 public:
  CountedCaptures(Captures captures, uint64_t* caught, int32_t strata, uint32_t freq)
      : captures_(captures), caught_(caught), strata_(strata), freq_(freq) {}
  [[gnu::always_inline]] bool Next(int32_t& period, int32_t& stratum) {
    if (!captures_.Next(period, stratum)) return false;
    caught_[static_cast<size_t>((period - 1) * strata_ + (stratum - 1))] += freq_;
    return true;
  }

 private:
  Captures captures_;
  uint64_t* caught_;
  int32_t strata_;
  uint32_t freq_;
};

// Work on the records of a batch read whole, in rounds: `step(entry)` does one piece of an
// entry's work, updates the entry, and says whether work is left; each round takes every
// entry with work left. A round is a loop of known length with no branch an entry, so that
// records with different amounts of work (captures, pairs, memory releases) cost no
// mispredicted branches, and no record waits for the one before it.
template <typename Entry, typename Step>
[[gnu::always_inline]] inline void InRounds(Entry* entries, size_t waiting, Step step) {
  while (waiting != 0) {
    size_t still = 0;
    for (size_t w = 0; w < waiting; ++w) {
      Entry entry = entries[w];
      const bool more = step(entry);
      entries[still] = entry;
      still += more ? 1 : 0;
    }
    waiting = still;
  }
}

// Adds the animals of every capture of a batch read whole to the report's chart of captures,
// caught[(period - 1) * strata + (stratum - 1)]: in rounds, the first capture left of every
// record in each.
[[gnu::always_inline]] inline void ChartCaptures(const CaptureBatch& batch, uint64_t* caught,
                                                 int32_t strata) {
  struct Pending {
    uint64_t bits;  // the captures left
    size_t k;       // of the record
  };
  Pending pending[CaptureBatch::kMost];
  for (size_t k = 0; k < batch.size; ++k) pending[k] = Pending{batch.captured[k], k};
  // Every record of the batch has a capture.
  InRounds(pending, batch.size, [&](Pending& p) __attribute__((always_inline)) {
    const auto i = static_cast<int32_t>(__builtin_ctzll(p.bits));
    const int32_t stratum = batch.code_class[batch.histories[p.k][i]];
    caught[static_cast<size_t>(i * strata + (stratum - 1))] += batch.records[p.k].freq;
    p.bits &= p.bits - 1;
    return p.bits != 0;
  });
}

// A record's captures counted in its group's tables of the goodness-of-fit tests (`fit`, group
// g at g - 1). `captures` is a copy: the converter's counting goes on with its own.
template <typename Captures>
[[gnu::always_inline]] inline void FitCaptures(Captures captures, const LateRecord& rec,
                                               gof::FitTables* fit) {
  gof::FitTables& tables = fit[rec.igrp - 1];
  gof::FitTables::Feed feed = tables.Start();
  int32_t period;
  int32_t stratum;
  while (captures.Next(period, stratum)) tables.Capture(feed, period, stratum, rec.freq);
  tables.Finish(feed, rec.freq, rec.released != 0);
}

// The stratum of a record's capture before its last one (0: none), from its captures as bits
// and its history, with no branch.
[[gnu::always_inline]] inline size_t StratumBeforeLast(uint64_t bits, const unsigned char* history,
                                                       const std::array<int8_t, 256>& code_class) {
  const uint64_t rest = bits & ~(uint64_t{1} << (63 - __builtin_clzll(bits)));
  const auto second = static_cast<size_t>(63 - __builtin_clzll(rest | 1));
  return static_cast<size_t>(code_class[history[second]]) & (rest != 0 ? ~size_t{0} : 0);
}

// The records of a batch read whole, counted in their groups' tables of the fit tests, for a
// converter whose own batch counting does not count them: first each record's last capture,
// then, in rounds (InRounds), the next pair of captures of every record that has one left, in
// the row of the stratum before the pair's first capture.
inline void FitBatch(const CaptureBatch& batch, gof::FitTables* fit) {
  struct Pending {
    uint64_t bits;  // the captures left, the first of them where the next pair starts
    const unsigned char* history;
    uint32_t* counts;  // of the record's group
    size_t before;     // the stratum of the capture before the next pair (0: none)
    uint32_t freq;
  };
  Pending pending[CaptureBatch::kMost];
  const std::array<int8_t, 256>& code_class = batch.code_class;
  const gof::FitTables::Layout layout = fit[0].layout();
  size_t waiting = 0;
  for (size_t k = 0; k < batch.size; ++k) {
    const uint64_t bits = batch.captured[k];
    const unsigned char* const history = batch.histories[k];
    const LateRecord& rec = batch.records[k];
    uint32_t* const counts = fit[rec.igrp - 1].counts();
    // Every record of the batch has a capture.
    const auto last = static_cast<size_t>(63 - __builtin_clzll(bits));
    counts[layout.Last(last, static_cast<size_t>(code_class[history[last]]),
                       StratumBeforeLast(bits, history, code_class), rec.released != 0)] += rec.freq;
    pending[waiting] = Pending{bits, history, counts, 0, rec.freq};
    waiting += (bits & (bits - 1)) != 0 ? 1 : 0;
  }
  InRounds(pending, waiting, [&](Pending& p) __attribute__((always_inline)) {
    const auto i = static_cast<size_t>(__builtin_ctzll(p.bits));
    p.bits &= p.bits - 1;
    const auto j = static_cast<size_t>(__builtin_ctzll(p.bits));
    const auto l = static_cast<size_t>(code_class[p.history[i]]);
    p.counts[layout.Pair(i, l, p.before, j, static_cast<size_t>(code_class[p.history[j]]))] += p.freq;
    p.before = l;
    return (p.bits & (p.bits - 1)) != 0;
  });
}

// What every part reads with, made once a run.
struct FastReading {
  FastReading(const ConversionSettings& s, const InputFile& input, int64_t highest_age);

  const ConversionSettings& s;
  const InputFile& input;
  RecordDecoder decoder;
  RecordScreen screen;
  CaptureMasks masks;
  bool use_masks;  // the histories stand in consecutive columns and fit a mask
  int64_t highest_age;

  // For batches read whole (see PartReader), a table for every field, looked up with no
  // branch: a byte's age class (0 where the careful reading must take the record: no age
  // code, or one above the highest taken), its group (0: none), and whether a fate mark leaves
  // the animals released. A field that is not read looks at the first byte, whose table gives
  // every byte the same value; a fate column past the end of a line reads as a blank.
  // `quick`: batches may be read whole.
  bool quick;
  std::array<int8_t, 256> quick_age{};
  std::array<int8_t, 256> quick_group{};
  std::array<uint8_t, 256> quick_released{};
  std::array<uint8_t, 256> quick_lead{};  // 1 for the first bytes of comments and empty lines
  size_t age_at;    // 0-based offsets of the fields looked at
  size_t group_at;
  size_t fate_at;
  bool frequency;   // the records have a frequency field
  size_t frequency_at;
  size_t frequency_width;
};

// Splits the file into up to `parts` byte ranges that begin at the start of a line; fewer
// when the file has fewer lines. Each is [begin, end); the last one reads on to the end of the
// file, however long it has become.
std::vector<std::pair<uint64_t, uint64_t>> SplitAtLines(const InputFile& input, int parts);

// The number of parts for `threads` (0: as many as help on this machine) and a file of
// `bytes`: one for a small file, unless `threads` asks for more.
int PartsFor(int threads, uint64_t bytes);

}  // namespace haplovex

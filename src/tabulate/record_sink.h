// What the record path hands to whatever counts the records, and how: a sink (the converter's
// tables, the report's chart of captures, the tables of the fit tests, ...) is fed every record's
// captures, its pairs of captures and its last capture, on every way of reading the records,
// and never learns which way that was; the readers never learn who counts.
//
// A sink S (RecordSink) brings:
// - the plain way: Plain() starts its counts over at zero, Count(rec, record) counts one decoded
//   record (`record`, its number in messages);
// - the quick way, for each part of the file: a Tally of its own (EmptyTally(); PartCounts(),
//   the counts it copies, which the quick way keeps below a limit), and a late counter
//   LateInto<kAging>(tally) (LateCounter: `kAging`, the age class may change between captures),
//   which counts one record at a time from its captures, and a batch read whole either by a
//   walk of its own (Batch) or, as a PairWalker, in the rounds every sink shares (CountBatch):
//   the last capture of each record, then each pair of consecutive captures;
// - Merge(tallies), once every part is read: the counts of the parts together; false when a
//   count passed its limit, and the plain way then reads the records again;
// - on(), when the sink may be switched off (Switched): it is on or off by the run's options, as
//   it decides; a sink switched off counts nothing and costs no record anything.
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "tabulate/record.h"

namespace haplovex {

// What late counting needs of a record besides its captures. No count of a part's tally exceeds
// the part's animals (a record adds to a count at most once a capture, and its captures are at
// different periods); a part whose animals pass 32 bits passes the run's limit on animals too,
// and the run then reads the records the plain way: counts of 32 bits never wrap.
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

// Counts after a part's table, to which counting with no branch adds nothing: many, so that
// records one after the other seldom add to the same one and wait for each other.
inline constexpr size_t kSpareCounts = 64;

// A capture's place in a sink's tables of offsets: kKeyStride places a period, one a stratum
// (there are at most 26). kMaskKeys covers the periods of any capture mask and the key of no
// capture that CaptureBits::Peek gives.
inline constexpr size_t kKeyStride = 32;
inline constexpr size_t kMaskKeys = 66 * kKeyStride;
[[gnu::always_inline]] inline size_t CaptureKey(int32_t period, int32_t stratum) {
  return static_cast<size_t>(period) * kKeyStride + static_cast<size_t>(stratum);
}

// The records of a batch read whole: record k's captures are the bits captured[k] (period i + 1
// is bit i) of the history at histories[k], and code_class gives the stratum of each byte.
// Every record has a capture and no odd byte.
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

// A record's captures one at a time, period and stratum, for a sink's late counting: from a
// list of captures, or from a capture mask and the history it was found in.
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

// The stratum of a record's capture before its last one (0: none), from its captures as bits
// and its history, with no branch.
[[gnu::always_inline]] inline size_t StratumBeforeLast(uint64_t bits, const unsigned char* history,
                                                       const std::array<int8_t, 256>& code_class) {
  const uint64_t rest = bits & ~(uint64_t{1} << (63 - __builtin_clzll(bits)));
  const auto second = static_cast<size_t>(63 - __builtin_clzll(rest | 1));
  return static_cast<size_t>(code_class[history[second]]) & (rest != 0 ? ~size_t{0} : 0);
}

// What a PairWalker is handed of a record of a batch read whole, first: its captures and
// history, what else counting needs of it, and its last capture (period `last` + 1, from 0).
struct BatchRecord {
  uint64_t bits;
  const unsigned char* history;
  const std::array<int8_t, 256>& code_class;
  const LateRecord& rec;
  size_t last;
  int32_t last_stratum;
};

// Then each pair of the record's consecutive captures: at periods i + 1 < j + 1 (from 0), in
// strata `from` and `to`, of `freq` animals.
struct BatchPair {
  size_t i;
  size_t j;
  int32_t from;
  int32_t to;
  uint32_t freq;
};

// A late counter with a walk of its own through a batch read whole.
template <typename L>
concept OwnBatch = requires(const L late, const CaptureBatch& batch) { late.Batch(batch); };

// A late counter that counts a batch read whole in the shared rounds: Last(record) counts the
// record's last capture and gives what its pairs then need (an Entry), and Pair(entry, pair)
// counts each pair in turn.
template <typename L>
concept PairWalker = requires(const L late, const BatchRecord& record, typename L::Entry& entry,
                              const BatchPair& pair) {
  { late.Last(record) } -> std::same_as<typename L::Entry>;
  late.Pair(entry, pair);
};

// What counts a part's records late, on the quick way: called with one record's captures (a
// CaptureList, or CaptureBits from its capture mask) and what else counting needs of it; or a
// batch read whole. It is made once a part, with everything it counts into at hand.
template <typename L>
concept LateCounter = std::copy_constructible<L> &&
                      requires(const L late, CaptureList list, CaptureBits bits, const LateRecord& rec) {
                        late(list, rec);
                        late(bits, rec);
                      } && (OwnBatch<L> || PairWalker<L>);

// A sink that the run's options may switch off.
template <typename S>
concept Switched = requires(const S& sink) {
  { sink.on() } -> std::convertible_to<bool>;
};

template <typename S>
concept RecordSink =
    requires(S& sink, const S& reading, const DecodedRecord& rec, int64_t record, typename S::Tally& tally,
             std::vector<typename S::Tally>& tallies) {
      sink.Plain();
      sink.Count(rec, record);
      { reading.EmptyTally() } -> std::same_as<typename S::Tally>;
      { reading.PartCounts() } -> std::convertible_to<size_t>;
      { reading.template LateInto<true>(tally) } -> LateCounter;
      { reading.template LateInto<false>(tally) } -> LateCounter;
      { sink.Merge(tallies) } -> std::same_as<bool>;
    };

namespace sink_detail {

struct NoEntry {};
template <typename L>
struct EntryOf {
  using type = NoEntry;
};
template <PairWalker L>
struct EntryOf<L> {
  using type = typename L::Entry;
};

template <typename L>
[[gnu::always_inline]] inline typename EntryOf<L>::type LastOf(const L& late, const BatchRecord& record) {
  if constexpr (PairWalker<L>) {
    return late.Last(record);
  } else {
    return {};
  }
}

// The entries of the walkers of a record, one after the other: trivial to make and to copy,
// as std::tuple is not, for the rounds copy them often.
template <typename... E>
struct Entries {};
template <typename E, typename... Rest>
struct Entries<E, Rest...> {
  [[no_unique_address]] E head;
  [[no_unique_address]] Entries<Rest...> tail;
};
[[gnu::always_inline]] inline Entries<> EntriesOf() { return {}; }
template <typename E, typename... Rest>
[[gnu::always_inline]] inline Entries<E, Rest...> EntriesOf(E head, Rest... tail) {
  return {head, EntriesOf(tail...)};
}

// Each walker's Pair, with its entry.
template <typename Late, typename... Lates, typename E, typename... Rest>
[[gnu::always_inline]] inline void PairOf(Entries<E, Rest...>& entries, const BatchPair& pair, const Late& late,
                                          const Lates&... lates) {
  if constexpr (PairWalker<Late>) late.Pair(entries.head, pair);
  if constexpr (sizeof...(Lates) > 0) PairOf(entries.tail, pair, lates...);
}

// Every record of a batch read whole to the PairWalkers among `lates`: first each record's last
// capture, then, in rounds (InRounds), the next pair of captures of every record that has one
// left. What every walker needs of a capture (its period and stratum) is found once.
template <typename... Lates>
[[gnu::always_inline]] inline void WalkPairs(const CaptureBatch& batch, const Lates&... lates) {
  struct Pending {
    uint64_t bits;  // the captures left, the first of them where the next pair starts
    const unsigned char* history;
    uint32_t freq;
    Entries<typename EntryOf<Lates>::type...> own;
  };
  Pending pending[CaptureBatch::kMost];
  const std::array<int8_t, 256>& code_class = batch.code_class;
  size_t waiting = 0;
  for (size_t k = 0; k < batch.size; ++k) {
    const uint64_t bits = batch.captured[k];
    const unsigned char* const history = batch.histories[k];
    const LateRecord& rec = batch.records[k];
    // Every record of the batch has a capture.
    const auto last = static_cast<size_t>(63 - __builtin_clzll(bits));
    const BatchRecord record{bits, history, code_class, rec, last, code_class[history[last]]};
    pending[waiting] = Pending{bits, history, rec.freq, EntriesOf(LastOf(lates, record)...)};
    waiting += (bits & (bits - 1)) != 0 ? 1 : 0;
  }
  InRounds(pending, waiting, [&](Pending& p) __attribute__((always_inline)) {
    const auto i = static_cast<size_t>(__builtin_ctzll(p.bits));
    p.bits &= p.bits - 1;
    const auto j = static_cast<size_t>(__builtin_ctzll(p.bits));
    const BatchPair pair{i, j, code_class[p.history[i]], code_class[p.history[j]], p.freq};
    PairOf(p.own, pair, lates...);
    return (p.bits & (p.bits - 1)) != 0;
  });
}

}  // namespace sink_detail

// Every record of a batch read whole, to each of `lates`: those with a walk of their own take
// the batch whole; the PairWalkers share one walk.
template <typename... Lates>
[[gnu::always_inline]] inline void CountBatch(const CaptureBatch& batch, const Lates&... lates) {
  auto own = [&batch](const auto& late) __attribute__((always_inline)) {
    if constexpr (OwnBatch<std::remove_cvref_t<decltype(late)>>) late.Batch(batch);
  };
  (own(lates), ...);
  if constexpr ((PairWalker<Lates> || ...)) sink_detail::WalkPairs(batch, lates...);
}

// The late counters of one part, one for each sink, those of sinks switched off left out: what
// a part reader counts with (count(captures, rec) and Batch(batch)). `kSwitched`: the sink may
// be switched off, `on`: it is on. A batch is counted by the counters that are on alone, each
// choice compiled apart.
template <typename Switches, typename... Lates>
class PartCounting;
template <bool... kSwitched, typename... Lates>
class PartCounting<std::integer_sequence<bool, kSwitched...>, Lates...> {
 public:
  static constexpr size_t kSinks = sizeof...(Lates);
  PartCounting(std::tuple<Lates...> lates, std::array<bool, kSinks> on) : lates_(lates), on_(on) {
    for (size_t k = 0; k < kSinks; ++k) any_switched_on_ = any_switched_on_ || (kMaySwitch[k] && on_[k]);
  }

  template <typename Captures>
  [[gnu::always_inline]] void operator()(Captures captures, const LateRecord& rec) const {
    ForEach(std::index_sequence_for<Lates...>{}, [&](const auto& late) __attribute__((always_inline)) {
      late(captures, rec);
    });
  }
  [[gnu::always_inline]] void Batch(const CaptureBatch& batch) const {
    auto count = [&batch](const auto&... on) __attribute__((always_inline)) { CountBatch(batch, on...); };
    // The usual run's counters, those that are never switched off, come first: on a run with no
    // other, the part reader's layout is theirs.
    if (!any_switched_on_) {
      WithOn<0, false>(count);
    } else {
      WithOn<0, true>(count);
    }
  }

 private:
  static constexpr std::array<bool, kSinks> kMaySwitch = {kSwitched...};

  template <size_t... I, typename F>
  [[gnu::always_inline]] void ForEach(std::index_sequence<I...>, F f) const {
    ((!kMaySwitch[I] || on_[I] ? f(std::get<I>(lates_)) : void()), ...);
  }
  // Calls f with the counters that are on: with kSwitchedOn, some that may be switched off are
  // on, else none.
  template <size_t I, bool kSwitchedOn, bool kSome = false, typename F, typename... Chosen>
  [[gnu::always_inline]] void WithOn(F& f, const Chosen&... chosen) const {
    if constexpr (I == kSinks) {
      if constexpr (kSome == kSwitchedOn) f(chosen...);
    } else if constexpr (!kMaySwitch[I]) {
      WithOn<I + 1, kSwitchedOn, kSome>(f, chosen..., std::get<I>(lates_));
    } else if (kSwitchedOn && on_[I]) {
      WithOn<I + 1, kSwitchedOn, true>(f, chosen..., std::get<I>(lates_));
    } else {
      WithOn<I + 1, kSwitchedOn, kSome>(f, chosen...);
    }
  }

  std::tuple<Lates...> lates_;
  std::array<bool, kSinks> on_;
  bool any_switched_on_ = false;
};

// Whether `sink` counts: the run's options may switch it off.
template <typename S>
bool SinkOn(const S& sink) {
  if constexpr (Switched<S>) {
    return sink.on();
  } else {
    return true;
  }
}

// The results of the sinks of a list, each found by its sink's type: results.Of<ChartCounts>().
template <typename... Sinks>
class SinkResults {
 public:
  SinkResults() = default;
  explicit SinkResults(std::tuple<typename Sinks::Result...> results) : results_(std::move(results)) {}
  template <typename Sink>
  const auto& Of() const {
    return std::get<Index<Sink>()>(results_);
  }

 private:
  template <typename Sink>
  static constexpr size_t Index() {
    constexpr std::array<bool, sizeof...(Sinks)> same = {std::is_same_v<Sink, Sinks>...};
    size_t k = 0;
    while (k < same.size() && !same[k]) ++k;
    return k;
  }
  std::tuple<typename Sinks::Result...> results_;
};

// Sinks made together for a reading, each from the settings and the run's options (which
// switch it on or off), and their results once read.
template <typename... Sinks>
class SinkList {
 public:
  using Results = SinkResults<Sinks...>;
  template <typename Settings, typename Options>
  SinkList(const Settings& s, const Options& options) : sinks_(Sinks(s, options)...) {}
  // Calls f(sinks...).
  template <typename F>
  decltype(auto) Apply(F f) {
    return std::apply([&f](Sinks&... sinks) -> decltype(auto) { return f(sinks...); }, sinks_);
  }
  Results TakeResults() && {
    return Results(
        std::apply([](Sinks&... sinks) { return std::tuple{std::move(sinks).TakeResult()...}; }, sinks_));
  }

 private:
  std::tuple<Sinks...> sinks_;
};

}  // namespace haplovex

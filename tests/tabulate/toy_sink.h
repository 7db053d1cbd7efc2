// A toy sink of the record path, as a counter added to the sink list would be written: the
// animals caught at each period, by their age class at the first capture. `Batch` says how it
// counts a batch read whole: in the rounds every sink shares (InPairs: its last capture, then
// its pairs), or by a walk of its own (OwnWalk). With a switch (`switched`), the run's options
// may leave it off.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tabulate/record.h"
#include "tabulate/record_sink.h"

namespace haplovex::testing {

// counts[iage * kRow + period], iage 1 to 26, period 1 to 250.
inline constexpr size_t kRow = 251;

struct AgeLate {
  uint32_t* counts;
  template <typename Captures>
  void operator()(Captures captures, const LateRecord& rec) const {
    int32_t period;
    int32_t stratum;
    while (captures.Next(period, stratum))
      counts[static_cast<size_t>(rec.iage) * kRow + period] += rec.freq;
  }
};
struct InPairs : AgeLate {
  struct Entry {
    uint32_t* row;
  };
  Entry Last(const BatchRecord& r) const {
    uint32_t* const row = counts + static_cast<size_t>(r.rec.iage) * kRow + 1;
    row[r.last] += r.rec.freq;
    return {row};
  }
  void Pair(Entry& entry, const BatchPair& pair) const { entry.row[pair.i] += pair.freq; }
};
struct OwnWalk : AgeLate {
  void Batch(const CaptureBatch& batch) const {
    for (size_t k = 0; k < batch.size; ++k) {
      (*this)(CaptureBits(batch.captured[k], batch.histories[k], batch.code_class),
              batch.records[k]);
    }
  }
};

template <typename Late>
class AgeClassCaptures {
 public:
  using Tally = std::vector<uint32_t>;
  using Result = std::vector<int64_t>;

  void Plain() { counts_.assign(kCells, 0); }
  void Count(const DecodedRecord& rec, int64_t /*record*/) {
    for (const Capture& c : rec.Captures())
      counts_[static_cast<size_t>(rec.iage) * kRow + c.period] += rec.freq;
  }
  Tally EmptyTally() const { return Tally(kCells, 0); }
  size_t PartCounts() const { return kCells; }
  template <bool kAging>
  Late LateInto(Tally& tally) const {
    Late late;
    late.counts = tally.data();
    return late;
  }
  bool Merge(std::vector<Tally>& tallies) {
    counts_.assign(kCells, 0);
    for (const Tally& tally : tallies) {
      for (size_t x = 0; x < kCells; ++x) counts_[x] += tally[x];
    }
    return true;
  }
  const Result& counts() const { return counts_; }

 private:
  static constexpr size_t kCells = 27 * kRow;
  Result counts_;
};

// The same, switched on or off.
template <typename Late>
class SwitchedAgeClassCaptures : public AgeClassCaptures<Late> {
 public:
  explicit SwitchedAgeClassCaptures(bool on) : on_(on) {}
  bool on() const { return on_; }

 private:
  bool on_;
};

static_assert(RecordSink<AgeClassCaptures<InPairs>> && RecordSink<AgeClassCaptures<OwnWalk>>);
static_assert(PairWalker<InPairs> && OwnBatch<OwnWalk> &&
              Switched<SwitchedAgeClassCaptures<InPairs>>);

}  // namespace haplovex::testing

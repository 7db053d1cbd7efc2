// The report's chart of captures, a sink of the record path (record_sink.h): the animals caught
// at each period in each stratum, by group. Every capture of a record is the first of a pair of
// its consecutive captures, or its last, so a batch read whole is counted in the rounds every
// sink shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runctl/settings.h"
#include "tabulate/read_options.h"
#include "tabulate/record.h"
#include "tabulate/record_sink.h"

namespace haplovex {

class ChartCounts {
 public:
  // What the report reads: by_group[(group - 1) * periods * strata + (period - 1) * strata +
  // (stratum - 1)], the animals of the group caught at the period in the stratum, and caught,
  // the same of every group together (caught[(period - 1) * strata + (stratum - 1)]). Empty
  // when the run writes no report.
  struct Result {
    std::vector<int64_t> caught;
    std::vector<int64_t> by_group;
  };
  // A part's counts: for each group, the captures by CaptureKey(period, stratum), where the
  // converter's counting finds them too.
  using Tally = std::vector<uint32_t>;

  // On when the run writes its report.
  ChartCounts(const ConversionSettings& s, const ReadOptions& options);
  bool on() const { return on_; }

  void Plain() { by_group_.assign(cells_, 0); }
  void Count(const DecodedRecord& rec, int64_t record);

  Tally EmptyTally() const { return Tally(static_cast<size_t>(groups_) * KeysOfGroup(), 0); }
  size_t PartCounts() const { return static_cast<size_t>(groups_) * KeysOfGroup(); }

  // The late counter of a part: each capture counted where its group and key put it.
  struct Late {
    uint32_t* caught;
    size_t group_keys;

    template <typename Captures>
    [[gnu::always_inline]] void operator()(Captures captures, const LateRecord& rec) const {
      uint32_t* const group = caught + static_cast<size_t>(rec.igrp - 1) * group_keys;
      int32_t period;
      int32_t stratum;
      while (captures.Next(period, stratum)) group[CaptureKey(period, stratum)] += rec.freq;
    }
    struct Entry {
      uint32_t* group;
    };
    [[gnu::always_inline]] Entry Last(const BatchRecord& r) const {
      uint32_t* const group = caught + static_cast<size_t>(r.rec.igrp - 1) * group_keys;
      group[CaptureKey(static_cast<int32_t>(r.last) + 1, r.last_stratum)] += r.rec.freq;
      return {group};
    }
    [[gnu::always_inline]] void Pair(Entry& entry, const BatchPair& pair) const {
      entry.group[CaptureKey(static_cast<int32_t>(pair.i) + 1, pair.from)] += pair.freq;
    }
  };
  template <bool kAging>
  Late LateInto(Tally& tally) const {
    return {tally.data(), KeysOfGroup()};
  }

  bool Merge(const std::vector<Tally>& tallies);
  Result TakeResult() &&;

 private:
  bool on_;
  int32_t periods_;
  int32_t strata_;
  int32_t groups_;
  size_t KeysOfGroup() const { return static_cast<size_t>(periods_ + 1) * kKeyStride; }

  size_t cells_;                   // groups x periods x strata
  std::vector<int64_t> by_group_;  // as Result::by_group
};

static_assert(RecordSink<ChartCounts>);

}  // namespace haplovex

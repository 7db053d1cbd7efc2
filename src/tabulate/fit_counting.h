// The tables of the goodness-of-fit tests, a sink of the record path (record_sink.h): each
// group's FitTables, counted where FitTables::Layout puts a record, its pairs of consecutive
// captures and its last capture, on every way of reading; a batch read whole in the rounds
// every sink shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runctl/settings.h"
#include "tabulate/fit_tables.h"
#include "tabulate/read_options.h"
#include "tabulate/record.h"
#include "tabulate/record_sink.h"

namespace haplovex {

class FitCounting {
 public:
  // The tables of each group (group g at g - 1), the age classes pooled; none when the run does
  // not test the fit.
  using Result = std::vector<gof::FitTables>;
  using Tally = std::vector<gof::FitTables>;

  // On when the run tests the fit (--gof).
  FitCounting(const ConversionSettings& s, const ReadOptions& options);
  bool on() const { return on_; }

  void Plain() { tables_ = EmptyTally(); }
  void Count(const DecodedRecord& rec, int64_t /*record*/) {
    LateInto<false>(tables_)(CaptureList(rec.Captures()), LateOf(rec));
  }

  // Every group's tables, all zero, each made in its place: a table copied from one made first
  // would hold a table more for a moment, which the run's memory limit for the tests does not
  // allow for.
  Tally EmptyTally() const;
  // None that the quick way need allow for: the run has checked what the tables of every part
  // take (a run whose tables would be too large is refused before it reads).
  size_t PartCounts() const { return 0; }

  struct Late {
    gof::FitTables* tables;  // of group g at g - 1
    gof::FitTables::Layout layout;

    template <typename Captures>
    [[gnu::always_inline]] void operator()(Captures captures, const LateRecord& rec) const {
      layout.Record(tables[rec.igrp - 1].counts(), captures, rec.freq, rec.released != 0);
    }
    // The record's group's counts, and the stratum of the capture before the next pair (0: none).
    struct Entry {
      uint32_t* counts;
      size_t before;
    };
    [[gnu::always_inline]] Entry Last(const BatchRecord& r) const {
      uint32_t* const counts = tables[r.rec.igrp - 1].counts();
      counts[layout.Last(r.last, static_cast<size_t>(r.last_stratum),
                         StratumBeforeLast(r.bits, r.history, r.code_class),
                         r.rec.released != 0)] += r.rec.freq;
      return {counts, 0};
    }
    [[gnu::always_inline]] void Pair(Entry& entry, const BatchPair& pair) const {
      const auto from = static_cast<size_t>(pair.from);
      entry.counts[layout.Pair(pair.i, from, entry.before, pair.j, static_cast<size_t>(pair.to))] +=
          pair.freq;
      entry.before = from;
    }
  };
  template <bool kAging>
  Late LateInto(Tally& tally) const {
    return {tally.data(), tally.empty() ? gof::FitTables::Layout{} : tally.front().layout()};
  }

  // The parts' tables summed into the first part's.
  bool Merge(std::vector<Tally>& tallies);
  Result TakeResult() && { return on_ ? std::move(tables_) : Result{}; }

 private:
  bool on_;
  int32_t periods_;
  int32_t strata_;
  int32_t groups_;
  Result tables_;
};

static_assert(RecordSink<FitCounting>);

}  // namespace haplovex

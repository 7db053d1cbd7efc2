// What both converters' tabulations share: the age steps, the packed period pairs, the hooks a
// converter's tables give, and the loop that reads every record once and hands it to the
// converter's own counting.
#pragma once

#include <concepts>
#include <cstdint>
#include <exception>
#include <functional>
#include <type_traits>
#include <utility>
#include <vector>

#include "runctl/settings.h"
#include "tabulate/conversion.h"
#include "tabulate/count_table.h"
#include "tabulate/fast_tabulation.h"
#include "tabulate/inp_part_reader.h"
#include "tabulate/inp_stream.h"
#include "tabulate/part_reader.h"
#include "tabulate/record.h"
#include "tabulate/record_stream.h"
#include "tabulate/table_layout.h"

namespace haplovex {

// Copies `counts` into `table`; false, copying nothing, when one passes kMaxCount.
bool FillChecked(CountTable& table, const std::vector<uint64_t>& counts);

// Runs part(0) .. part(count - 1), as many at once as there are parts; a part whose thread
// cannot be had runs here, after the others have started.
void RunParts(size_t count, const std::function<void(size_t)>& part);

// Packed index of the period pair i < j: (1,2) -> 1, (1,3) -> 2, ..., (nyrs-1,nyrs) -> last.
inline int64_t PairIndex(int64_t i, int64_t j, int64_t nyrs) {
  return (i - 1) * nyrs - (i - 1) * i / 2 + (j - i);
}
// PairIndex(i, j, nyrs) - 1 is PairStart(i, nyrs) + j: where the pairs from period i stand,
// less j, so that a pair's place is a sum of a part for each period.
inline int64_t PairStart(int64_t i, int64_t nyrs) { return (i - 1) * nyrs - (i - 1) * i / 2 - i - 1; }
// Number of period pairs i < j.
inline int64_t PairCount(int64_t nyrs) { return nyrs * (nyrs - 1) / 2; }

// The age class of an animal at each period it is caught, from its class at the first capture:
// every interval from the first capture on whose ageinc character is "1" raises the class by
// one (ageinc has 40 characters; later intervals leave it), and the oldest class absorbs the
// rest. The raises are counted once per run, so a record's ages cost no walk over its periods.
class AgeSteps {
 public:
  explicit AgeSteps(const ConversionSettings& s);
  // Class at `period` of an animal caught first at `first` in class `iage`; never above nage.
  // Intervals marked "1" before `period`: the class at a period is the class at the first
  // capture plus the raises between them.
  // [period], for periods 0..nyrs.
  const int32_t* RaisesBefore() const { return raises_before_.data(); }
  // Some interval raises the class.
  bool Raises() const { return nage_ > 1 && raises_before_.back() != 0; }
  int32_t At(int32_t iage, int32_t first, int32_t period) const {
    const int64_t age = int64_t{iage} + raises_before_[static_cast<size_t>(period)] -
                        raises_before_[static_cast<size_t>(first)];
    return age < nage_ ? static_cast<int32_t>(age) : nage_;
  }

 private:
  int32_t nage_;
  std::vector<int32_t> raises_before_;  // [p]: intervals 1..p-1 marked "1"
};

// For late counting: the offset of every age class, `block` counts apart, indexed by the class
// before it is capped at the oldest (nage): from 1 to the highest age code (26) plus one raise
// a period.
std::vector<int32_t> AgeOffsets(int32_t nage, int32_t nyrs, int64_t block);

// A record that holds one stratum position and one capture per period; its ch is the table the
// allocation stop calls "ch".
DecodedRecord RecordOfPeriods(int32_t nyrs);

// Adds a part's record checks to those of the parts before it, which hold `records_before`
// records: counts add up, and the first sighting in file order stays first.
void MergeChecks(RecordChecks& into, const RecordChecks& part, int64_t records_before);

// Most counts of bt and last one part of the quick way may copy: larger tables are read the
// plain way, with no copy.
inline constexpr size_t kMostPartCounts = size_t{8} << 20;

// What counts a part's records late, on the quick way: called with one record's captures,
// handed one at a time (a CaptureList, or CaptureBits from its capture mask), and what else
// counting needs of the record; or with a batch read whole, by Batch. It is made once a part,
// with everything it counts into at hand. The converter's counts are one; the report's chart
// of captures is counted beside them, and so could any other kind of counts of the records.
template <typename C>
concept LateCounter =
    std::copy_constructible<C> && requires(const C counter, CaptureList list, CaptureBits bits,
                                           const LateRecord& rec, const CaptureBatch& batch) {
      counter(list, rec);
      counter(bits, rec);
      counter.Batch(batch);
    };

// The hooks a converter's tables give the tabulation (Tabulation<Counts, Tables>):
// - Count(rec, record): counts one decoded record in the tables, the plain way, which the
//   quick way is held to;
// - LateCountsInto<aging>(tally): the LateCounter of one part of the quick way, counting into
//   its tally by the tables' layouts (`aging`: the age class may change between captures);
// - kCapturesFromPairs: the report's chart of captures follows from the pairs and the last
//   captures (every capture but the last starts a pair), given by CapturesFromPairs(tallies);
//   the part's LateCounter then also counts the last captures of animals not released there
//   in the tally's `lost`. Otherwise the chart is counted capture by capture.
template <typename C>
concept TabulationHooks =
    requires(C& tables, const C& reading, const DecodedRecord& rec, int64_t record, PartTally& tally) {
      tables.Count(rec, record);
      { reading.template LateCountsInto<true>(tally) } -> LateCounter;
      { reading.template LateCountsInto<false>(tally) } -> LateCounter;
      { C::kCapturesFromPairs } -> std::convertible_to<bool>;
      { C::kBatchCountsFit } -> std::convertible_to<bool>;
    } &&
    (!C::kCapturesFromPairs || requires(const C& reading, const std::vector<PartTally>& tallies) {
      { reading.CapturesFromPairs(tallies) } -> std::same_as<std::vector<int64_t>>;
    });

// The tables of a converter (`Tables`, three LaidOutTables n, bt and btot as CountTables has
// them) and the reading of every record into them. `Counts` derives from Tabulation<Counts,
// Tables> and gives the hooks of TabulationHooks; for the quick way (see fast_tabulation.h)
// each part's records are counted late into a tally, and the tables derived from the tallies
// of every part once all are read (Derive).
template <typename Counts, typename Tables>
class Tabulation : public Tables {
 public:
  // Reads every record of `input` from its start, with the console diagnostics, and counts it.
  // An age position below 1, or above the highest the converter takes, stops the run with the
  // age-code error before the record is counted. A file of summarised histories (s.inp) is
  // read by its own readers (inp_stream.h, inp_part_reader.h).
  RecordsRead ReadAll(InputFile& input, Console& console, const ReadOptions& options) {
    RecordsRead read;
    const bool plain_only = options.plain_only || !input.is_open() || s_.listdata;
    if (s_.inp) {
      if (plain_only || !ReadInpQuickly(input, options, read)) {
        ReadPlainly<InpStream>(input, console, options, read);
      }
    } else if (plain_only || !ReadQuickly(input, options, read)) {
      ReadPlainly<RecordStream>(input, console, options, read);
    }
    return read;
  }

  // The tables once read, for the run's result.
  Tables TakeTables() && { return std::move(static_cast<Tables&>(*this)); }

 protected:
  // Allocates, with `tables` (n, bt and btot), the table the allocation stop calls "ch". A
  // record whose age position at its first capture is above `highest_age` is refused.
  Tabulation(const ConversionSettings& s, Tables tables, int64_t highest_age)
      : Tables(std::move(tables)),
        s_(s),
        steps_(s),
        npairs_(PairCount(s.nyrs)),
        rec_(RecordOfPeriods(s.nyrs)),
        highest_age_(highest_age) {}

  const ConversionSettings& s_;
  AgeSteps steps_;
  int64_t npairs_;
  DecodedRecord rec_;  // the record being counted

 private:
  CountTable& NTable() { return this->n.counts(); }
  CountTable& BtTable() { return this->bt.counts(); }
  CountTable& BtotTable() { return this->btot.counts(); }
  size_t NSize() const { return this->n.counts().size(); }
  size_t BtSize() const { return this->bt.counts().size(); }

  void ClearTables() {
    NTable().Clear();
    BtTable().Clear();
    BtotTable().Clear();
  }

  // Fills the tables from the parts' tallies: bt as their sum, n from bt and the releases at
  // last captures, btot from bt. bt is a run of pairs (pairs fastest) for each block of the
  // other axes; a block's releases add to n, and its moves to btot, where the layouts put the
  // block's positions along their axes. False when a count passes its limit.
  bool Derive(const std::vector<PartTally>& tallies) {
    const auto& n_layout = this->n.layout();
    const auto& bt_layout = this->bt.layout();
    const auto& btot_layout = this->btot.layout();
    std::vector<uint64_t> n(NSize(), 0);
    std::vector<uint64_t> btot(BtotTable().size(), 0);
    for (const PartTally& tally : tallies) {
      for (size_t x = 0; x < n.size(); ++x) n[x] += tally.last[x];
    }
    int32_t* bt = BtTable().data();
    const int64_t blocks = npairs_ > 0 ? static_cast<int64_t>(BtSize()) / npairs_ : 0;
    const int64_t period_stride = n_layout.stride(Axis::kPeriod);
    for (int64_t block = 0; block < blocks; ++block) {
      const int64_t first = block * npairs_;
      const int64_t n_at = n_layout.Across(bt_layout, first);
      uint64_t moved = 0;
      int64_t ij = 0;
      for (int64_t i = 1; i < s_.nyrs; ++i) {
        uint64_t released = 0;
        for (int64_t j = i + 1; j <= s_.nyrs; ++j, ++ij) {
          const auto x = static_cast<size_t>(first + ij);
          uint64_t count = 0;
          for (const PartTally& tally : tallies) count += tally.bt[x];
          if (count > static_cast<uint64_t>(kMaxCount)) return false;
          bt[x] = static_cast<int32_t>(count);
          released += count;
        }
        n[static_cast<size_t>(n_at + (i - 1) * period_stride)] += released;
        moved += released;
      }
      btot[static_cast<size_t>(btot_layout.Across(bt_layout, first))] += moved;
    }
    return FillChecked(NTable(), n) && FillChecked(BtotTable(), btot);
  }

  // The plain way: one record at a time, with the record echo, stopping at the first record
  // the run cannot take, with its message.
  template <typename Stream>
  void ReadPlainly(InputFile& input, Console& console, const ReadOptions& options, RecordsRead& read) {
    ClearTables();
    read = RecordsRead{};
    std::vector<int64_t>& caught = read.caught;
    // (Only where the quick way tells the captures of each group too: see FinishParts.)
    std::vector<int64_t>& by_group = read.caught_by_group;
    if (options.chart) {
      caught.assign(CaughtSize(), 0);
      if (Counts::kCapturesFromPairs) {
        by_group.assign(CaughtSize() * static_cast<size_t>(s_.ngroups), 0);
      }
    }
    if (options.fit) read.fit = EmptyFitTables();
    Stream records(s_, input, console, read.checks);
    while (records.Next(rec_)) {
      // (Summarised histories are all of age class 1.)
      if constexpr (std::is_same_v<Stream, RecordStream>) {
        if (rec_.iage <= 0 || rec_.iage > highest_age_) records.AgeCodeError(rec_);
      }
      static_cast<Counts*>(this)->Count(rec_, records.nrec());
      if (options.chart) {
        const size_t group = static_cast<size_t>(rec_.igrp - 1) * CaughtSize();
        for (const Capture& c : rec_.Captures()) {
          const auto at = static_cast<size_t>((c.period - 1) * s_.nstrata + (c.stratum - 1));
          caught[at] += rec_.freq;
          if (Counts::kCapturesFromPairs) by_group[group + at] += rec_.freq;
        }
      }
      if (options.fit) FitCaptures(CaptureList(rec_.Captures()), LateOf(rec_), read.fit.data());
    }
    read.records = records.nrec();
    read.animals = records.nanim();
    read.checks.no_releases = NTable().AllZero();
  }

  // The quick way: parts read by threads at once, counted late. False when a part gave up, or
  // a count passed its limit; the tables are then as they were.
  bool ReadQuickly(const InputFile& input, const ReadOptions& options, RecordsRead& read) {
    if (BtSize() + NSize() > kMostPartCounts) return false;
    const FastReading reading(s_, input, highest_age_);
    const std::vector<std::pair<uint64_t, uint64_t>> ranges =
        SplitAtLines(input, PartsFor(options.threads, input.size()));
    std::vector<PartTally> tallies = EmptyTallies(ranges.size(), options);
    // Counting is compiled twice: with age classes that change from period to period, and
    // with none that do (no age increments), where a record's class is fixed.
    if (steps_.Raises()) {
      ReadParts<true>(reading, ranges, options.kernels, tallies);
    } else {
      ReadParts<false>(reading, ranges, options.kernels, tallies);
    }
    return MergeParts(tallies, options, read);
  }

  // The quick way through summarised histories: every part read at once, assuming it starts
  // between records, then joined in order, a part whose assumption was wrong read again (see
  // inp_part_reader.h). False, the tables as they were, when the plain way must read the file.
  bool ReadInpQuickly(const InputFile& input, const ReadOptions& options, RecordsRead& read) {
    if (BtSize() + NSize() > kMostPartCounts) return false;
    const FastReading reading(s_, input, highest_age_);
    const std::vector<std::pair<uint64_t, uint64_t>> ranges =
        SplitAtLines(input, PartsFor(options.threads, input.size()));
    std::vector<PartTally> tallies = EmptyTallies(ranges.size(), options);
    std::vector<InpPart> parts(ranges.size());
    // One age class: no class changes between captures.
    auto read_part = [&](size_t k, uint64_t begin) {
      const auto [count, count_batch] = LateCounting<false>(tallies[k]);
      tallies[k].read = ReadInpPart(options.kernels, reading, begin, ranges[k].second, tallies[k], parts[k],
                                    count, count_batch);
    };
    RunPartsCarried(ranges.size(), [&](size_t k) { read_part(k, ranges[k].first); });
    RecordChecks checks;
    int64_t nrec = 0;
    int64_t nanim = 0;
    auto reread = [&](size_t k, uint64_t begin) {
      tallies[k] = std::move(EmptyTallies(1, options).front());
      parts[k] = InpPart{};
      read_part(k, begin);
    };
    return JoinInpParts(ranges, tallies, parts, reread, checks, nrec, nanim) &&
           FinishParts(tallies, options, checks, nrec, nanim, read);
  }

  // A tally for each of `parts`, all zero. The report's chart of captures is told from the pairs
  // and last captures where the converter can (Counts::kCapturesFromPairs), else counted capture
  // by capture.
  std::vector<PartTally> EmptyTallies(size_t parts, const ReadOptions& options) const {
    const bool chart = options.chart;
    std::vector<PartTally> tallies(parts);
    for (PartTally& tally : tallies) {
      if (options.fit) tally.fit = EmptyFitTables();
      tally.bt.assign(BtSize() + kSpareCounts, 0);  // and spare counts, that only ever add 0
      tally.last.assign(NSize() + kSpareCounts, 0);  // and spare counts too
      if (Counts::kCapturesFromPairs) {
        tally.lost.assign(NSize(), 0);
      } else if (chart) {
        tally.caught.assign(CaughtSize(), 0);
      }
    }
    return tallies;
  }

  // The tables of the goodness-of-fit tests of every group, all zero, each made in its place:
  // a table copied from one made first would hold a table more for a moment, which the run's
  // memory limit for the tests does not allow for.
  std::vector<gof::FitTables> EmptyFitTables() const {
    std::vector<gof::FitTables> tables;
    tables.reserve(static_cast<size_t>(s_.ngroups));
    for (int32_t g = 0; g < s_.ngroups; ++g) tables.emplace_back(s_.nyrs, s_.nstrata);
    return tables;
  }

  size_t CaughtSize() const { return static_cast<size_t>(s_.nyrs) * static_cast<size_t>(s_.nstrata); }

  // Runs part(k) for every part, as many at once as there are parts. What a part's thread
  // throws is carried back and thrown again here once every part is done.
  template <typename Part>
  static void RunPartsCarried(size_t count, Part part) {
    std::vector<std::exception_ptr> failures(count);
    RunParts(count, [&](size_t k) {
      try {
        part(k);
      } catch (...) {
        failures[k] = std::current_exception();
      }
    });
    for (const std::exception_ptr& failure : failures) {
      if (failure) std::rethrow_exception(failure);
    }
  }

  // Reads every part into its tally, as many at once as there are parts.
  template <bool kAging>
  void ReadParts(const FastReading& reading, const std::vector<std::pair<uint64_t, uint64_t>>& ranges,
                 KernelSet kernels, std::vector<PartTally>& tallies) const {
    RunPartsCarried(tallies.size(), [&](size_t k) {
      tallies[k].read = ReadPartCounted<kAging>(reading, ranges[k], kernels, tallies[k]);
    });
  }

  // How a part's records are counted late by the converter, and capture by capture for the
  // report's chart where the tally has one: count(captures, const LateRecord&) and
  // count_batch(const CaptureBatch&), for a part reader.
  template <bool kAging>
  auto LateCounting(PartTally& tally) const {
    const auto counts = static_cast<const Counts&>(*this).template LateCountsInto<kAging>(tally);
    uint64_t* const caught = tally.caught.empty() ? nullptr : tally.caught.data();
    gof::FitTables* const fit = tally.fit.empty() ? nullptr : tally.fit.data();
    const int32_t strata = s_.nstrata;
    return std::pair{
        [counts, caught, strata, fit](auto captures, const LateRecord& rec) __attribute__((always_inline)) {
          if (fit != nullptr) FitCaptures(captures, rec, fit);
          if (caught == nullptr) {
            counts(captures, rec);
          } else {
            counts(CountedCaptures(captures, caught, strata, rec.freq), rec);
          }
        },
        [counts, caught, strata, fit](const CaptureBatch& batch) __attribute__((always_inline)) {
          counts.Batch(batch);
          if (caught != nullptr) ChartCaptures(batch, caught, strata);
          if constexpr (!Counts::kBatchCountsFit) {
            if (fit != nullptr) FitBatch(batch, fit);
          }
        }};
  }

  // One part of a fixed-column file, counted late.
  template <bool kAging>
  PartRead ReadPartCounted(const FastReading& reading, std::pair<uint64_t, uint64_t> range,
                           KernelSet kernels, PartTally& tally) const {
    const auto [count, count_batch] = LateCounting<kAging>(tally);
    return ReadPart(kernels, reading, range.first, range.second, tally, count, count_batch);
  }

  // The tables, counters, checks and chart from the parts' tallies; false (the tables as they
  // were) when a part gave up or a count passed its limit.
  bool MergeParts(const std::vector<PartTally>& tallies, const ReadOptions& options, RecordsRead& read) {
    RecordChecks checks;
    int64_t nrec = 0;
    int64_t nanim = 0;
    for (const PartTally& tally : tallies) {
      if (tally.read == PartRead::kPlainWay) return false;
      MergeChecks(checks, tally.checks, nrec);
      nrec += tally.nrec;
      nanim += tally.nanim;
    }
    return FinishParts(tallies, options, checks, nrec, nanim, read);
  }

  // The tables, counters, checks and chart from the parts' tallies, once every part was read,
  // with the parts' checks, records and animals merged; false (the tables as they were) when a
  // count passed its limit.
  bool FinishParts(const std::vector<PartTally>& tallies, const ReadOptions& options, RecordChecks checks,
                   int64_t nrec, int64_t nanim, RecordsRead& read) {
    if (nanim > kMaxCount || !Derive(tallies)) {
      ClearTables();
      return false;
    }
    if (options.chart) {
      std::vector<int64_t>& caught = read.caught;
      if constexpr (Counts::kCapturesFromPairs) {
        caught = static_cast<const Counts&>(*this).CapturesFromPairs(tallies);
        read.caught_by_group = CapturesByGroupFromReleases(tallies);
      } else {
        caught.assign(CaughtSize(), 0);
        for (const PartTally& tally : tallies) {
          for (size_t x = 0; x < caught.size(); ++x) caught[x] += static_cast<int64_t>(tally.caught[x]);
        }
      }
    }
    if (options.fit) {
      read.fit = EmptyFitTables();
      for (const PartTally& tally : tallies) {
        for (size_t g = 0; g < read.fit.size(); ++g) read.fit[g].Merge(tally.fit[g]);
      }
    }
    read.records = nrec;
    read.animals = static_cast<int32_t>(nanim);
    checks.no_releases = NTable().AllZero();
    read.checks = std::move(checks);
    return true;
  }

  // Where the chart follows from the pairs, the captures of each group by period and stratum
  // (as RecordsRead::caught_by_group), once n is derived: every capture is a release, in n, or
  // the last capture of animals not released there, in the tallies' `lost` (laid out as n).
  std::vector<int64_t> CapturesByGroupFromReleases(const std::vector<PartTally>& tallies) const {
    const auto& layout = this->n.layout();
    const CountTable& n = this->n.counts();
    std::vector<int64_t> by_group(CaughtSize() * static_cast<size_t>(s_.ngroups), 0);
    for (size_t x = 0; x < n.size(); ++x) {
      int64_t count = n.at(x);
      for (const PartTally& tally : tallies) count += tally.lost[x];
      const auto offset = static_cast<int64_t>(x);
      const int64_t at = (layout.Position(offset, Axis::kGroup) * s_.nyrs +
                          layout.Position(offset, Axis::kPeriod)) *
                             s_.nstrata +
                         layout.Position(offset, Axis::kStratum);
      by_group[static_cast<size_t>(at)] += count;
    }
    return by_group;
  }

  int64_t highest_age_;
};

}  // namespace haplovex

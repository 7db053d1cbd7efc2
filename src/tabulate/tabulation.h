// What both converters' tabulations share: the age steps, the packed period pairs, the four
// tables allocated in the order their stops name them (n, bt, ch, btot), and the loop that
// reads every record once and hands it to the converter's own counting.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <type_traits>
#include <utility>
#include <vector>

#include "runctl/run_files.h"
#include "runctl/settings.h"
#include "tabulate/count_table.h"
#include "tabulate/fast_tabulation.h"
#include "tabulate/inp_part_reader.h"
#include "tabulate/inp_stream.h"
#include "tabulate/part_reader.h"
#include "tabulate/record.h"
#include "tabulate/record_stream.h"

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

// The tables of a converter whose class `Counts` derives from Tabulation<Counts> and counts one
// decoded record in them with Count(const DecodedRecord&, int64_t record). For the quick way
// (see fast_tabulation.h) it also counts a record late, in a part's tally, with the object
// LateCountsInto<aging>(PartTally&) const gives, called as counts(captures, const
// LateRecord&) (the captures one at a time: a CaptureList or a CaptureBits) and, for the
// records of a batch read whole, as counts.Batch(const CaptureBatch&), and fills its
// tables from the tallies of every part with Derive(const std::vector<PartTally>&), false
// when a count passes its limit. Where kCapturesFromPairs, it also counts the last captures of
// animals not released there in a part's `lost`, and gives the report's chart of captures with
// CapturesFromPairs(const std::vector<PartTally>&).
template <typename Counts>
class Tabulation {
 public:
  // Reads every record of `files.input` from its start, with the console diagnostics, and
  // counts it. An age position below 1, or above the highest the converter takes, stops the
  // run with the age-code error before the record is counted. A file of summarised histories
  // (s.inp) is read by its own readers (inp_stream.h, inp_part_reader.h).
  void ReadAll(RunFiles& files) {
    const bool plain_only = files.threads < 0 || !files.input.is_open() || s_.listdata;
    if (s_.inp) {
      if (plain_only || !ReadInpQuickly(files)) ReadPlainly<InpStream>(files);
    } else if (plain_only || !ReadQuickly(files)) {
      ReadPlainly<RecordStream>(files);
    }
  }

  int64_t nrec() const { return nrec_; }
  int32_t nanim() const { return nanim_; }

 protected:
  // Allocates n, bt, ch and btot with the given extents, in this order, all zero; a table
  // that cannot be had stops the run naming it. A record whose age position at its first
  // capture is above `highest_age` is refused.
  Tabulation(const ConversionSettings& s, std::initializer_list<int64_t> n_extents,
             std::initializer_list<int64_t> bt_extents, std::initializer_list<int64_t> btot_extents,
             int64_t highest_age)
      : s_(s),
        steps_(s),
        npairs_(PairCount(s.nyrs)),
        n_("n", n_extents),
        bt_("bt", bt_extents),
        rec_(RecordOfPeriods(s.nyrs)),
        btot_("btot", btot_extents),
        highest_age_(highest_age) {}

  // Fills the tables from the parts' tallies: bt as their sum, n from bt and the releases at
  // last captures, btot from bt. bt is a run of pairs (pairs fastest) for each of `blocks`
  // blocks; `n_at(block)` is where the block's releases of period 1 stand in n (the periods
  // follow one by one) and `btot_at(block)` where its moves stand in btot. False when a count
  // passes its limit.
  template <typename NAt, typename BtotAt>
  bool DeriveFrom(const std::vector<PartTally>& tallies, int64_t blocks, NAt n_at, BtotAt btot_at) {
    std::vector<uint64_t> n(n_.size(), 0);
    std::vector<uint64_t> btot(btot_.size(), 0);
    for (const PartTally& tally : tallies) {
      for (size_t x = 0; x < n.size(); ++x) n[x] += tally.last[x];
    }
    int32_t* bt = bt_.data();
    for (int64_t block = 0; block < blocks; ++block) {
      uint64_t moved = 0;
      int64_t ij = 0;
      for (int64_t i = 1; i < s_.nyrs; ++i) {
        uint64_t released = 0;
        for (int64_t j = i + 1; j <= s_.nyrs; ++j, ++ij) {
          const auto x = static_cast<size_t>(block * npairs_ + ij);
          uint64_t count = 0;
          for (const PartTally& tally : tallies) count += tally.bt[x];
          if (count > static_cast<uint64_t>(kMaxCount)) return false;
          bt[x] = static_cast<int32_t>(count);
          released += count;
        }
        n[static_cast<size_t>(n_at(block) + (i - 1))] += released;
        moved += released;
      }
      btot[static_cast<size_t>(btot_at(block))] += moved;
    }
    return FillChecked(n_, n) && FillChecked(btot_, btot);
  }

  const ConversionSettings& s_;
  AgeSteps steps_;
  int64_t npairs_;
  CountTable n_;
  CountTable bt_;
  DecodedRecord rec_;  // the record being counted
  CountTable btot_;

 private:
  // The plain way: one record at a time, with the record echo, stopping at the first record
  // the run cannot take, with its message.
  template <typename Stream>
  void ReadPlainly(RunFiles& files) {
    n_.Clear();
    bt_.Clear();
    btot_.Clear();
    files.checks = RecordChecks{};
    std::vector<int64_t>& caught = files.digest.caught;
    if (files.want_digest) caught.assign(static_cast<size_t>(s_.nyrs) * static_cast<size_t>(s_.nstrata), 0);
    Stream records(s_, files);
    while (records.Next(rec_)) {
      nrec_ = records.nrec();
      nanim_ = records.nanim();
      // (Summarised histories are all of age class 1.)
      if constexpr (std::is_same_v<Stream, RecordStream>) {
        if (rec_.iage <= 0 || rec_.iage > highest_age_) records.AgeCodeError(rec_);
      }
      static_cast<Counts*>(this)->Count(rec_, nrec_);
      if (files.want_digest) {
        for (const Capture& c : rec_.Captures()) {
          caught[static_cast<size_t>((c.period - 1) * s_.nstrata + (c.stratum - 1))] += rec_.freq;
        }
      }
    }
    nrec_ = records.nrec();
    nanim_ = records.nanim();
    files.checks.no_releases = n_.AllZero();
  }

  // The quick way: parts read by threads at once, counted late. False when a part gave up, or
  // a count passed its limit; the tables are then as they were.
  bool ReadQuickly(RunFiles& files) {
    if (bt_.size() + n_.size() > kMostPartCounts) return false;
    const FastReading reading(s_, files.input, highest_age_);
    const std::vector<std::pair<uint64_t, uint64_t>> ranges =
        SplitAtLines(files.input, PartsFor(files.threads, files.input.size()));
    std::vector<PartTally> tallies = EmptyTallies(ranges.size(), files.want_digest);
    // Counting is compiled twice: with age classes that change from period to period, and
    // with none that do (no age increments), where a record's class is fixed.
    if (steps_.Raises()) {
      ReadParts<true>(reading, ranges, files.kernels, tallies);
    } else {
      ReadParts<false>(reading, ranges, files.kernels, tallies);
    }
    return MergeParts(tallies, files);
  }

  // The quick way through summarised histories: every part read at once, assuming it starts
  // between records, then joined in order, a part whose assumption was wrong read again (see
  // inp_part_reader.h). False, the tables as they were, when the plain way must read the file.
  bool ReadInpQuickly(RunFiles& files) {
    if (bt_.size() + n_.size() > kMostPartCounts) return false;
    const FastReading reading(s_, files.input, highest_age_);
    const std::vector<std::pair<uint64_t, uint64_t>> ranges =
        SplitAtLines(files.input, PartsFor(files.threads, files.input.size()));
    std::vector<PartTally> tallies = EmptyTallies(ranges.size(), files.want_digest);
    std::vector<InpPart> parts(ranges.size());
    // One age class: no class changes between captures.
    auto read = [&](size_t k, uint64_t begin) {
      const auto [count, count_batch] = LateCounting<false>(tallies[k]);
      tallies[k].read = ReadInpPart(files.kernels, reading, begin, ranges[k].second, tallies[k], parts[k],
                                    count, count_batch);
    };
    RunPartsCarried(ranges.size(), [&](size_t k) { read(k, ranges[k].first); });
    RecordChecks checks;
    int64_t nrec = 0;
    int64_t nanim = 0;
    auto reread = [&](size_t k, uint64_t begin) {
      tallies[k] = std::move(EmptyTallies(1, files.want_digest).front());
      parts[k] = InpPart{};
      read(k, begin);
    };
    return JoinInpParts(ranges, tallies, parts, reread, checks, nrec, nanim) &&
           FinishParts(tallies, files, checks, nrec, nanim);
  }

  // A tally for each of `parts`, all zero. The report's chart of captures is told from the pairs
  // and last captures where the converter can (Counts::kCapturesFromPairs), else counted capture
  // by capture.
  std::vector<PartTally> EmptyTallies(size_t parts, bool want_digest) const {
    std::vector<PartTally> tallies(parts);
    for (PartTally& tally : tallies) {
      tally.bt.assign(bt_.size() + kSpareCounts, 0);  // and spare counts, that only ever add 0
      tally.last.assign(n_.size() + kSpareCounts, 0);  // and spare counts too
      if (Counts::kCapturesFromPairs) {
        tally.lost.assign(n_.size(), 0);
      } else if (want_digest) {
        tally.caught.assign(CaughtSize(), 0);
      }
    }
    return tallies;
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
    const int32_t strata = s_.nstrata;
    return std::pair{
        [counts, caught, strata](auto captures, const LateRecord& rec) __attribute__((always_inline)) {
          if (caught == nullptr) {
            counts(captures, rec);
          } else {
            counts(CountedCaptures(captures, caught, strata, rec.freq), rec);
          }
        },
        [counts, caught, strata](const CaptureBatch& batch) __attribute__((always_inline)) {
          counts.Batch(batch);
          if (caught != nullptr) ChartCaptures(batch, caught, strata);
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
  bool MergeParts(const std::vector<PartTally>& tallies, RunFiles& files) {
    RecordChecks checks;
    int64_t nrec = 0;
    int64_t nanim = 0;
    for (const PartTally& tally : tallies) {
      if (tally.read == PartRead::kPlainWay) return false;
      MergeChecks(checks, tally.checks, nrec);
      nrec += tally.nrec;
      nanim += tally.nanim;
    }
    return FinishParts(tallies, files, checks, nrec, nanim);
  }

  // The tables, counters, checks and chart from the parts' tallies, once every part was read,
  // with the parts' checks, records and animals merged; false (the tables as they were) when a
  // count passed its limit.
  bool FinishParts(const std::vector<PartTally>& tallies, RunFiles& files, RecordChecks checks,
                   int64_t nrec, int64_t nanim) {
    Counts& self = static_cast<Counts&>(*this);
    if (nanim > kMaxCount || !self.Derive(tallies)) {
      n_.Clear();
      bt_.Clear();
      btot_.Clear();
      return false;
    }
    if (files.want_digest) {
      std::vector<int64_t>& caught = files.digest.caught;
      if constexpr (Counts::kCapturesFromPairs) {
        caught = self.CapturesFromPairs(tallies);
      } else {
        caught.assign(CaughtSize(), 0);
        for (const PartTally& tally : tallies) {
          for (size_t x = 0; x < caught.size(); ++x) caught[x] += static_cast<int64_t>(tally.caught[x]);
        }
      }
    }
    nrec_ = nrec;
    nanim_ = static_cast<int32_t>(nanim);
    checks.no_releases = n_.AllZero();
    checks.npar = files.checks.npar;
    checks.npar_digits = files.checks.npar_digits;
    files.checks = checks;
    return true;
  }

  int64_t highest_age_;
  int64_t nrec_ = 0;
  int32_t nanim_ = 0;
};

}  // namespace haplovex

// What both converters' tables share: the age steps, the packed period pairs, and the counting
// base that makes a converter's tables a sink of the record path (record_sink.h) and reads every
// record into them, and into the run's other sinks (record_sinks.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "runctl/settings.h"
#include "tabulate/conversion.h"
#include "tabulate/count_table.h"
#include "tabulate/record.h"
#include "tabulate/record_reader.h"
#include "tabulate/record_sink.h"
#include "tabulate/record_sinks.h"
#include "tabulate/table_layout.h"

namespace haplovex {

// Copies `counts` into `table`; false, copying nothing, when one passes kMaxCount.
bool FillChecked(CountTable& table, const std::vector<uint64_t>& counts);

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

// The layout of a converter's table along `axes`, the fastest first, each as long as the
// settings make it (periods, pairs of periods, strata, age classes, groups).
int64_t ExtentOf(const ConversionSettings& s, Axis axis);
template <size_t N>
TableLayout<N> LaidOut(const ConversionSettings& s, const std::array<Axis, N>& axes) {
  std::array<typename TableLayout<N>::Dimension, N> dimensions;
  for (size_t k = 0; k < N; ++k) dimensions[k] = {axes[k], ExtentOf(s, axes[k])};
  return TableLayout<N>(dimensions);
}

// Parts of the offsets of a table's counts, so that late counting takes additions alone: what
// each capture adds (by its CaptureKey: part(period, stratum) for every period and stratum, 0
// for every other key of `keys`), and what the age class and the group add.
template <typename Part>
std::vector<int32_t> ByCapture(const ConversionSettings& s, size_t keys, Part part) {
  std::vector<int32_t> offsets(keys, 0);
  for (int32_t p = 1; p <= s.nyrs; ++p) {
    for (int32_t k = 1; k <= s.nstrata; ++k) offsets[CaptureKey(p, k)] = static_cast<int32_t>(part(p, k));
  }
  return offsets;
}
// What a capture adds to a count's offset in bt as the first of a pair (its stratum, and where
// the pairs from its period stand: PairIndex(i, j) - 1 = PairStart(i) + j along bt's pairs,
// which run fastest) and as the second (its stratum as the next, and its period j), and in n
// as a release (its period and stratum), whatever other axes the tables have.
struct PairKeys {
  std::vector<int32_t> from;
  std::vector<int32_t> to;
  std::vector<int32_t> release;
};
template <size_t Nn, size_t Nbt>
PairKeys PairKeysOf(const ConversionSettings& s, const TableLayout<Nn>& n, const TableLayout<Nbt>& bt, size_t keys) {
  const int64_t T = s.nyrs;
  return {ByCapture(s, keys, [&](int64_t p, int64_t k) { return bt.Part(Axis::kStratum, k) + PairStart(p, T); }),
          ByCapture(s, keys, [&](int64_t p, int64_t k) { return bt.Part(Axis::kNext, k) + p; }),
          ByCapture(s, keys, [&](int64_t p, int64_t k) { return n.Part(Axis::kStratum, k) + n.Part(Axis::kPeriod, p); })};
}
struct AgeAndGroup {
  std::vector<int32_t> age;  // AgeOffsets along the table's age axis
  ptrdiff_t group;           // the stride of its groups
};
template <size_t N>
AgeAndGroup AgeAndGroupOf(const ConversionSettings& s, const TableLayout<N>& layout) {
  return {AgeOffsets(s.nage, s.nyrs, layout.stride(Axis::kAge)), static_cast<ptrdiff_t>(layout.stride(Axis::kGroup))};
}

// A record that holds one stratum position and one capture per period; its ch is the table the
// allocation stop calls "ch".
DecodedRecord RecordOfPeriods(int32_t nyrs);

// The tables of a converter (`Tables`, three LaidOutTables n, bt and btot as CountTables has
// them), a sink of the record path, and the reading of every record into them. `Counts` derives
// from Tabulation<Counts, Tables> and gives the rest of what a sink brings: Count, the plain way,
// which the quick way is held to, and LateInto<kAging>(tally), the late counter of one part of
// the quick way, counting into its tally by the tables' layouts: bt, and the releases at last
// captures laid out as n, from which n and btot follow when the parts are merged (Derive).
template <typename Counts, typename Tables>
class Tabulation : public Tables {
 public:
  // Reads every record of `input` from its start, with the console diagnostics, and counts it
  // in these tables, in the run's other sinks (those its options switch on), and in `more`
  // sinks, if any. An age position below 1, or above the highest the converter takes, stops
  // the run with the age-code error before the record is counted.
  template <typename... More>
  RecordsRead ReadAll(InputFile& input, Console& console, const ReadOptions& options, More&... more) {
    OtherSinks others(s_, options);
    const RecordReading reading{s_, highest_age_, steps_.Raises(), rec_};
    RecordsRead read = others.Apply([&](auto&... other) {
      return ReadRecords(reading, input, console, options, static_cast<Counts&>(*this), other..., more...);
    });
    read.counted = std::move(others).TakeResults();
    read.checks.no_releases = this->n.counts().AllZero();
    return read;
  }

  // The tables once read, for the run's result.
  Tables TakeTables() && { return std::move(static_cast<Tables&>(*this)); }

  // What a part of the quick way counts: next captures, by pair, as bt is laid out; releases at
  // the last capture, laid out as n; and after each, spare counts that only ever add 0.
  struct Tally {
    std::vector<uint32_t> bt;
    std::vector<uint32_t> last;
  };
  void Plain() { ClearTables(); }
  Tally EmptyTally() const {
    return {std::vector<uint32_t>(BtSize() + kSpareCounts, 0), std::vector<uint32_t>(NSize() + kSpareCounts, 0)};
  }
  size_t PartCounts() const { return BtSize() + NSize(); }
  // The tables from the parts' tallies; false, the tables all zero, when a count passes its limit.
  bool Merge(const std::vector<Tally>& tallies) {
    if (Derive(tallies)) return true;
    ClearTables();
    return false;
  }

 protected:
  // Allocates, after `tables` (n, bt and btot, all zero), the table the allocation stop calls
  // "ch"; a table that cannot be had stops the run naming it. A record whose age position at
  // its first capture is above `highest_age` is refused. Late counting looks up `keys`
  // capture keys (CaptureKey).
  Tabulation(const ConversionSettings& s, Tables tables, int64_t highest_age, size_t keys)
      : Tables(std::move(tables)),
        s_(s),
        steps_(s),
        npairs_(PairCount(s.nyrs)),
        keys_(PairKeysOf(s, this->n.layout(), this->bt.layout(), keys)),
        bt_place_(AgeAndGroupOf(s, this->bt.layout())),
        n_place_(AgeAndGroupOf(s, this->n.layout())),
        rec_(RecordOfPeriods(s.nyrs)),
        highest_age_(highest_age) {}

  // What every late counter of the tables holds of them, so that counting a record reads
  // nothing of the tables' owners and takes additions alone: what a capture adds to the offset
  // of a count in bt as the first of a pair (from) and as the second (to), and in n as a
  // release (release); what its age class adds (bt_age, n_age, indexed by the class before it
  // is capped at the oldest, the class at a period found with `raises`, AgeSteps) and its group
  // (group_bt, group_n); and the part's tally (bt, and last laid out as n).
  struct LatePlaces {
    const int32_t* raises;
    const int32_t* from;
    const int32_t* to;
    const int32_t* release;
    const int32_t* bt_age;
    const int32_t* n_age;
    ptrdiff_t group_bt;
    ptrdiff_t group_n;
    uint32_t* bt;
    uint32_t* last;
  };
  LatePlaces PlacesIn(Tally& tally) const {
    return {steps_.RaisesBefore(), keys_.from.data(),   keys_.to.data(),  keys_.release.data(),
            bt_place_.age.data(),  n_place_.age.data(), bt_place_.group, n_place_.group,
            tally.bt.data(),       tally.last.data()};
  }

  const ConversionSettings& s_;
  AgeSteps steps_;
  int64_t npairs_;
  PairKeys keys_;
  AgeAndGroup bt_place_;
  AgeAndGroup n_place_;

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
  bool Derive(const std::vector<Tally>& tallies) {
    const auto& n_layout = this->n.layout();
    const auto& bt_layout = this->bt.layout();
    const auto& btot_layout = this->btot.layout();
    std::vector<uint64_t> n(NSize(), 0);
    std::vector<uint64_t> btot(BtotTable().size(), 0);
    for (const Tally& tally : tallies) {
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
          for (const Tally& tally : tallies) count += tally.bt[x];
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

  DecodedRecord rec_;  // the record the plain way decodes into
  int64_t highest_age_;
};

}  // namespace haplovex

// What both converters' tabulations share: the age steps, the packed period pairs, the four
// tables allocated in the order their stops name them (n, bt, ch, btot), and the loop that
// reads every record once and hands it to the converter's own counting.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "runctl/run_files.h"
#include "runctl/settings.h"
#include "tabulate/count_table.h"
#include "tabulate/record.h"
#include "tabulate/record_stream.h"

namespace haplovex {

// Packed index of the period pair i < j: (1,2) -> 1, (1,3) -> 2, ..., (nyrs-1,nyrs) -> last.
inline int64_t PairIndex(int64_t i, int64_t j, int64_t nyrs) {
  return (i - 1) * nyrs - (i - 1) * i / 2 + (j - i);
}
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
  int32_t At(int32_t iage, int32_t first, int32_t period) const {
    const int64_t age = int64_t{iage} + raises_before_[static_cast<size_t>(period)] -
                        raises_before_[static_cast<size_t>(first)];
    return age < nage_ ? static_cast<int32_t>(age) : nage_;
  }

 private:
  int32_t nage_;
  std::vector<int32_t> raises_before_;  // [p]: intervals 1..p-1 marked "1"
};

// A record that holds one stratum position and one capture per period; its ch is the table the
// allocation stop calls "ch".
DecodedRecord RecordOfPeriods(int32_t nyrs);

// The tables of a converter whose class `Counts` derives from Tabulation<Counts> and counts one
// decoded record in them with Count(const DecodedRecord&, int64_t record).
template <typename Counts>
class Tabulation {
 public:
  // Reads every record of `files.input` from its start, with the console diagnostics, and
  // counts it. An age position below 1, or above the highest the converter takes, stops the
  // run with the age-code error before the record is counted.
  void ReadAll(RunFiles& files) {
    RecordStream records(s_, files);
    while (records.Next(rec_)) {
      nrec_ = records.nrec();
      nanim_ = records.nanim();
      if (rec_.iage <= 0 || rec_.iage > highest_age_) records.AgeCodeError(rec_);
      static_cast<Counts*>(this)->Count(rec_, nrec_);
    }
    files.checks.no_releases = n_.AllZero();
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

  const ConversionSettings& s_;
  AgeSteps steps_;
  int64_t npairs_;
  CountTable n_;
  CountTable bt_;
  DecodedRecord rec_;  // the record being counted
  CountTable btot_;

 private:
  int64_t highest_age_;
  int64_t nrec_ = 0;
  int32_t nanim_ = 0;
};

}  // namespace haplovex

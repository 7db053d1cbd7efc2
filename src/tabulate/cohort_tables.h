// The movement-only converter's cohort tables: releases and first recaptures, counted from
// every record once, each animal weighted by its frequency.
//
//   n    (period i, stratum s, age a, group g)            released at i in s
//   bt   (pair ij(i,j), from s, to s2, age a, group g)     of those, next caught at j in s2
//   btot (to s2, from s, age a, group g)                   bt summed over all pairs
//
// The tables only count; the model writer and the run summary lay them out.
#pragma once

#include <cstdint>

#include "runctl/run_files.h"
#include "runctl/settings.h"
#include "tabulate/count_table.h"
#include "tabulate/record.h"

namespace haplovex {

// Packed index of the period pair i < j: (1,2) -> 1, (1,3) -> 2, ..., (nyrs-1,nyrs) -> last.
inline int64_t PairIndex(int64_t i, int64_t j, int64_t nyrs) {
  return (i - 1) * nyrs - (i - 1) * i / 2 + (j - i);
}

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

class CohortTables {
 public:
  // Allocates n, bt, ch and btot, in this order, all zero.
  explicit CohortTables(const ConversionSettings& s);

  // Reads every record of `files.input` from its start, with the console diagnostics, and
  // counts it. An age code that is not among the age classes stops the run.
  void ReadAll(RunFiles& files);

  int32_t n(int32_t i, int32_t s, int32_t a, int32_t g) const;
  int32_t bt(int64_t ij, int32_t s, int32_t s2, int32_t a, int32_t g) const;
  int32_t btot(int32_t s2, int32_t s, int32_t a, int32_t g) const;
  int64_t nrec() const { return nrec_; }
  int32_t nanim() const { return nanim_; }

  // Frees the tables once they have been written.
  void Release();

 private:
  void Count(const DecodedRecord& rec);

  const ConversionSettings& s_;
  AgeSteps steps_;
  int64_t npairs_;
  CountTable n_;
  CountTable bt_;
  DecodedRecord rec_;  // holds ch and the captures
  CountTable btot_;
  int64_t nrec_ = 0;
  int32_t nanim_ = 0;
};

}  // namespace haplovex

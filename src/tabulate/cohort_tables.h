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

// Age class at each captured period, given the class at the first capture: the age step of
// every period from the first capture on raises it by one where ageinc holds "1" (periods
// beyond the 40 characters of ageinc leave it), and the oldest class absorbs the rest.
class AgeSteps {
 public:
  explicit AgeSteps(const ConversionSettings& s) : s_(s) {}
  // True when the interval from period i to i+1 raises the age.
  bool Raises(int32_t i) const {
    return i >= 1 && static_cast<size_t>(i) <= s_.ageinc.size() &&
           s_.ageinc[static_cast<size_t>(i - 1)] == '1';
  }

 private:
  const ConversionSettings& s_;
};

// First and last captured periods of a record (1 <= ch <= nstrata); 0 and -1 without capture.
struct CaptureSpan {
  int32_t ifirst = 0;
  int32_t ilast = -1;
};
CaptureSpan FindCaptureSpan(const DecodedRecord& rec, int32_t nstrata);

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
  void Count(const DecodedRecord& rec, const CaptureSpan& span);

  const ConversionSettings& s_;
  int64_t npairs_;
  CountTable n_;
  CountTable bt_;
  DecodedRecord rec_;  // holds ch
  CountTable btot_;
  int64_t nrec_ = 0;
  int32_t nanim_ = 0;
};

}  // namespace haplovex

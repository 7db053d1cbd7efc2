// The memory converter's tables: releases and next captures counted by the stratum the animal
// was caught in at the period before, every record once, each weighted by its frequency.
//
//   n    (period i, previous q, stratum r, age a, group g)           released at i in r, caught
//                                                                     at i-1 in q
//   bt   (pair ij(i,j), previous q, stratum r, next t, age a, group g)  of those, next caught at
//                                                                     j in t
//   btot (next t, stratum r, age a, group g)                          bt summed over pairs and q
//
// A release counts only when the period just before it is a capture too ("memory release"):
// the first capture of a record never counts, nor a capture after a period not caught.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runctl/run_files.h"
#include "runctl/settings.h"
#include "tabulate/cohort_tables.h"
#include "tabulate/count_table.h"
#include "tabulate/record.h"

namespace haplovex {

class MemoryTables {
 public:
  // Allocates n, bt, ch and btot, in this order, all zero; a table that cannot be had stops
  // the run naming it.
  explicit MemoryTables(const ConversionSettings& s);

  // Reads every record of `files.input` from its start and counts it. An age code that is not
  // among the age codes stops the run; an age position above nage counts in the oldest class.
  void ReadAll(RunFiles& files);
  // Counts one decoded record; `record` is its number in messages. REQUIRES: rec's captures
  // are those of its ch (as the decoder or CollectCaptures leave them), 1 <= rec.igrp <=
  // ngroups, rec.iage >= 1.
  void Count(const DecodedRecord& rec, int64_t record);

  int32_t n(int32_t i, int32_t q, int32_t r, int32_t a, int32_t g) const;
  int32_t bt(int64_t ij, int32_t q, int32_t r, int32_t t, int32_t a, int32_t g) const;
  int32_t btot(int32_t t, int32_t r, int32_t a, int32_t g) const;
  int64_t nrec() const { return nrec_; }
  int32_t nanim() const { return nanim_; }
  size_t bt_entries() const { return bt_.size(); }

  // Frees the tables once they have been written.
  void Release();

 private:
  size_t NOffset(int64_t i, int64_t q, int64_t r, int64_t a, int64_t g) const;
  size_t BtOffset(int64_t ij, int64_t q, int64_t r, int64_t t, int64_t a, int64_t g) const;
  size_t BtotOffset(int64_t t, int64_t r, int64_t a, int64_t g) const;

  const ConversionSettings& s_;
  AgeSteps steps_;
  int64_t npairs_;
  CountTable n_;
  CountTable bt_;
  DecodedRecord rec_;  // holds ch
  CountTable btot_;
  int64_t nrec_ = 0;
  int32_t nanim_ = 0;
};

}  // namespace haplovex

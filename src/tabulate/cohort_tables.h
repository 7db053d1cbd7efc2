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
#include "tabulate/record.h"
#include "tabulate/tabulation.h"

namespace haplovex {

// The age class at the first capture indexes the tables directly, so a record whose age code
// is not among the age classes stops the run when it is read.
class CohortTables : public Tabulation<CohortTables> {
 public:
  // Allocates n, bt, ch and btot, in this order, all zero.
  explicit CohortTables(const ConversionSettings& s);

  int32_t n(int32_t i, int32_t s, int32_t a, int32_t g) const;
  int32_t bt(int64_t ij, int32_t s, int32_t s2, int32_t a, int32_t g) const;
  int32_t btot(int32_t s2, int32_t s, int32_t a, int32_t g) const;

 private:
  friend class Tabulation<CohortTables>;
  void Count(const DecodedRecord& rec, int64_t record);
};

}  // namespace haplovex

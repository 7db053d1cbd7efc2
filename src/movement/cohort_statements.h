// The model statement and the data cells of the movement-only model.
//
//   PROC MODEL NPAR=0012 ADDCELL NAGE=1 NYRS=03 STRATA=2 NGROUPS=1
//     ;                                  (model set 4: "  PHIMISS=03;")
//   COHORT=2;0:;1:;1:;0:;                one statement per release period, stratum, age, group
//
// Statements run by group, age class, release period 1..nyrs-1 and stratum, outermost first.
#pragma once

#include <cstdint>

#include "common/text_file.h"
#include "runctl/settings.h"
#include "tabulate/cohort_tables.h"

namespace haplovex {

// REQUIRES: `tables` were built for `s` and hold every record.
void WriteMovementModel(const ConversionSettings& s, int64_t npar, const CohortCounts& tables,
                        OutputFile& out);

}  // namespace haplovex

// The model statement and the data cells of the movement-only model.
//
//   PROC MODEL NPAR=0012 ADDCELL NAGE=1 NYRS=03 STRATA=2 NGROUPS=1
//     ;                                  (model set 4: "  PHIMISS=03;")
//   COHORT=2;0:;1:;1:;0:;                one statement per release period, stratum, age, group
//
// A cohort statement holds the number released, then for every later period and destination
// stratum the number next caught there; statements longer than 250 columns continue on
// further lines as the line builders decide.
#pragma once

#include <cstdint>

#include "common/text_file.h"
#include "runctl/settings.h"
#include "tabulate/cohort_tables.h"

namespace haplovex {

void WriteMovementModelStatement(const ConversionSettings& s, int64_t npar, OutputFile& out);
void WriteMovementCohorts(const ConversionSettings& s, const CohortTables& tables, OutputFile& out);

}  // namespace haplovex

// The run summary of the movement-only converter: for every group and age class, a square
// table of how often an animal caught in one stratum (row) was next caught in each stratum
// (column), on the console and in HAPLOVEX.SUM.
//
//    Test run                                                          <- file only: the title
//    MOVEMENT TRANSITIONS:
//    GROUP            1 AGE            1
//        1     1                                                       <- from A: to A, to B
//        0     1
//                                                                      <- empty line
#pragma once

#include "runctl/run_files.h"
#include "runctl/settings.h"
#include "tabulate/cohort_tables.h"

namespace haplovex {

void WriteMovementSummary(const ConversionSettings& s, const CohortTables& tables, RunFiles& files);

}  // namespace haplovex

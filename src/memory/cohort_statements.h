// The model statement and the data cells of the memory model.
//
//   PROC MODEL NPAR=00020 ADDCELL MEMORY NAGE=1 NYRS=03 STRATA=2 NGROUPS=2
//     ;                                  (model set 3: "  PHIMISS=00;")
//                                        an empty line before each release period's block
//   COHORT=1;0:;1:;                      one statement per previous stratum q, stratum r
//
// Blocks run by group, age class and release period 2..T-1. A statement holds the number
// released at i in r after a capture in q, then for every later period and next stratum the
// number next caught there; statements longer than 250 columns continue on further lines as
// the line builders decide.
#pragma once

#include <cstdint>

#include "common/text_file.h"
#include "memory/memory_tables.h"
#include "runctl/settings.h"

namespace haplovex {

// REQUIRES: `tables` were built for `s` and hold every record; nyrs >= 3.
void WriteMemoryModel(const ConversionSettings& s, int64_t npar, const MemoryCounts& tables,
                      OutputFile& out);

}  // namespace haplovex

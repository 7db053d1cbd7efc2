// The model statement and the data cells of HAPLOVEX.OUT, one cohort statement for each
// release cohort of the converter's tables, in the order of release_cohorts.h:
//
//   PROC MODEL NPAR=0012 ADDCELL NAGE=1 NYRS=03 STRATA=2 NGROUPS=1
//     ;                                  (model set 4: "  PHIMISS=03;")
//   COHORT=2;0:;1:;1:;0:;                movement-only: a statement per release period 1..T-1
//                                        and stratum, within age class and group
//
//   PROC MODEL NPAR=00020 ADDCELL MEMORY NAGE=1 NYRS=03 STRATA=2 NGROUPS=2
//     ;                                  (model set 3: "  PHIMISS=00;")
//                                        memory: an empty line before each release period's
//   COHORT=1;0:;1:;                      block (2..T-1), a statement per previous stratum q
//                                        and stratum r
//
// A statement holds the number released at period i (in r after a capture in q), then for
// every later period j and every stratum the number whose next capture was at j in that
// stratum, by period first. A statement longer than a line (250 columns) continues on further
// lines as the line builders decide.
#pragma once

#include <cstdint>

#include "common/text_file.h"
#include "prnt/labels.h"
#include "prnt/model_statement.h"
#include "prnt/prnt.h"
#include "runctl/settings.h"
#include "tabulate/release_cohorts.h"
#include "tabulate/tabulation.h"

namespace haplovex {

// `next_caught(ij, s2)` is the count of the cohort's animals next caught in stratum s2 at the
// period j of the pair ij = PairIndex(i, j, nyrs).
template <typename NextCaught>
void WriteCohortStatement(OutputLine& line, int32_t released, int32_t i, int32_t nyrs,
                          int32_t nstrata, NextCaught next_caught) {
  line.PRNTA("COHORT=");
  line.PRNTI(released);
  line.PRNTA(";");
  for (int32_t j = i + 1; j <= nyrs; ++j) {
    const int64_t ij = PairIndex(i, j, nyrs);
    for (int32_t s2 = 1; s2 <= nstrata; ++s2) {
      line.PRNTI(next_caught(ij, s2));
      line.PRNTA(":;");
    }
  }
  line.EndLine();
}

// The model statement (NPAR in the digits of `layout`) and the cohort statements of every
// release cohort of `tables` (CountTables), in the order of ForEachCohort; `period_blocks`: an
// empty line before each release period's statements. REQUIRES: `tables` were built for `s`
// and hold every record.
template <typename Tables>
void WriteModel(const ConversionSettings& s, int64_t npar, const ParameterLayout& layout,
                const Tables& tables, bool period_blocks, OutputFile& out) {
  WriteModelStatement(s, npar, layout, out);
  OutputLine line(out);
  const CohortStrides bt(tables.bt.layout());
  ForEachCohort(s, tables, [&](const ReleaseCohort& c) {
    if (period_blocks && c.previous <= 1 && c.stratum == 1) out.WriteLine("");
    WriteCohortStatement(line, static_cast<int32_t>(c.released), c.period, s.nyrs, s.nstrata,
                         NextCaptures(tables.bt.counts(), bt, c));
  });
}

}  // namespace haplovex

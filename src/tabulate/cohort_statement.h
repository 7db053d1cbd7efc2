// One cohort statement, the data cell both model writers give each release cohort:
//
//   COHORT=2;0:;1:;1:;0:;
//
// the number released at period i, then for every later period j and every stratum the
// number whose next capture was at j in that stratum, by period first. A statement longer
// than a line continues on further lines as the line builders decide.
#pragma once

#include <cstdint>

#include "prnt/prnt.h"
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

}  // namespace haplovex
